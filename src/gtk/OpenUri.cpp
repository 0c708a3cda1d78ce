#include "gtk/OpenUri.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

namespace tarvo::platform::gtk {

namespace {

void launched(GObject* /*source*/, GAsyncResult* result, gpointer /*data*/) {
  GError* error = nullptr;
  g_app_info_launch_default_for_uri_finish(result, &error);
  g_clear_error(&error); // nothing is shown when it fails
}

} // namespace

void openUri(const std::string& target) {
  if (target.empty()) {
    return;
  }
  gchar* uri = nullptr;
  if (g_path_is_absolute(target.c_str())) {
    uri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
  } else {
    uri = g_strdup(target.c_str());
  }
  if (uri == nullptr) {
    return;
  }
  GAppLaunchContext* context = nullptr;
  if (GdkDisplay* display = gdk_display_get_default()) {
    context = G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display));
  }
  g_app_info_launch_default_for_uri_async(uri, context, nullptr, launched, nullptr);
  if (context != nullptr) {
    g_object_unref(context);
  }
  g_free(uri);
}

} // namespace tarvo::platform::gtk
