#include "gtk/WebsiteData.h"

#include "gtk/GlibLog.h"
#include "gtk/Leftovers.h"

#include <cerrno>
#include <system_error>

namespace tarvo::gtk {
namespace {

constexpr const char* prefix = "website-data-";

} // namespace

WebsiteData::WebsiteData() {
  const std::filesystem::path parent =
      std::filesystem::path(g_get_user_runtime_dir()) / TARVO_APP_ID;
  if (g_mkdir_with_parents(parent.c_str(), 0700) == 0) {
    clearLeftovers(parent, prefix);
    const std::filesystem::path folder = parent / runName(prefix);
    if (g_mkdir_with_parents(folder.c_str(), 0700) == 0) {
      folder_ = folder;
    }
  }
  if (folder_.empty()) {
    g_log(GlibLog::domain, G_LOG_LEVEL_WARNING,
          "no folder for the page's data under %s (%s): it is kept in memory, and the page's "
          "notifications are refused",
          parent.c_str(), std::error_code(errno, std::generic_category()).message().c_str());
    manager_ =
        GObjectPtr<WebKitWebsiteDataManager>::adopt(webkit_website_data_manager_new_ephemeral());
    return;
  }
  manager_ = GObjectPtr<WebKitWebsiteDataManager>::adopt(webkit_website_data_manager_new(
      "base-data-directory", folder_.c_str(), "base-cache-directory", folder_.c_str(), nullptr));
}

WebsiteData::~WebsiteData() {
  manager_.reset();
  if (!folder_.empty()) {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
    if (error) {
      g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "could not remove %s: %s", folder_.c_str(),
            error.message().c_str());
    }
  }
}

} // namespace tarvo::gtk
