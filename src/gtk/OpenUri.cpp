#include "gtk/OpenUri.h"

#include "gtk/GObjectPtr.h"
#include "gtk/GlibPtr.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

namespace tarvo::gtk {

namespace {

void launched(GObject* /*source*/, GAsyncResult* result, gpointer /*data*/) {
  GErrorPtr error; // nothing is shown when it fails
  g_app_info_launch_default_for_uri_finish(result, OutPtr(error));
}

} // namespace

void openUri(const std::string& target) {
  if (target.empty()) {
    return;
  }
  const GCharPtr uri(g_path_is_absolute(target.c_str())
                         ? g_filename_to_uri(target.c_str(), nullptr, nullptr)
                         : g_strdup(target.c_str()));
  if (!uri) {
    return;
  }
  GObjectPtr<GAppLaunchContext> context;
  if (GdkDisplay* display = gdk_display_get_default()) {
    context = GObjectPtr<GAppLaunchContext>::adopt(
        G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display)));
  }
  g_app_info_launch_default_for_uri_async(uri.get(), context.get(), nullptr, launched, nullptr);
}

} // namespace tarvo::gtk
