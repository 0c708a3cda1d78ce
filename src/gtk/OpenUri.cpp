#include "gtk/OpenUri.h"

#include "gtk/GObjectPtr.h"
#include "gtk/GlibLog.h"
#include "gtk/GlibPtr.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

namespace tarvo::gtk {

namespace {

// What the warning names: a file by its path; a web address only by its
// scheme, as it may carry what is not ours to write down.
GCharPtr describe(const char* uri) {
  if (GCharPtr path{g_filename_from_uri(uri, nullptr, nullptr)}) {
    return path;
  }
  GCharPtr scheme{g_uri_parse_scheme(uri)};
  return GCharPtr(g_strdup_printf("an address of scheme %s", scheme ? scheme.get() : "(none)"));
}

void launched(GObject* /*source*/, GAsyncResult* result, gpointer data) {
  const GCharPtr uri(static_cast<char*>(data));
  GErrorPtr error;
  if (!g_app_info_launch_default_for_uri_finish(result, OutPtr(error))) {
    const GCharPtr what = describe(uri.get());
    g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "could not open %s: %s", what.get(),
          error ? error->message : "no reason given");
  }
}

} // namespace

void openUri(const std::string& target) {
  if (target.empty()) {
    return;
  }
  GCharPtr uri(g_path_is_absolute(target.c_str())
                   ? g_filename_to_uri(target.c_str(), nullptr, nullptr)
                   : g_strdup(target.c_str()));
  if (!uri) {
    g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "could not open %s: not a usable path",
          target.c_str());
    return;
  }
  GObjectPtr<GAppLaunchContext> context;
  if (GdkDisplay* display = gdk_display_get_default()) {
    context = GObjectPtr<GAppLaunchContext>::adopt(
        G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display)));
  }
  char* owned = g_strdup(uri.get());
  g_app_info_launch_default_for_uri_async(uri.get(), context.get(), nullptr, launched, owned);
}

} // namespace tarvo::gtk
