#include "gtk/SameDocument.h"

#include <glib.h>

#include <memory>

namespace tarvo::platform::gtk {

namespace {

struct UriFree {
  void operator()(GUri* uri) const { g_uri_unref(uri); }
};
using Uri = std::unique_ptr<GUri, UriFree>;

// The address without its fragment, in GLib's normal form (so
// "http://127.0.0.1:7810" and "http://127.0.0.1:7810/" compare equal);
// empty when it does not parse.
std::string withoutFragment(const std::string& text) {
  Uri uri(g_uri_parse(text.c_str(), GUriFlags(G_URI_FLAGS_ENCODED | G_URI_FLAGS_SCHEME_NORMALIZE),
                      nullptr));
  if (!uri) {
    return {};
  }
  gchar* joined =
      g_uri_join(G_URI_FLAGS_ENCODED, g_uri_get_scheme(uri.get()), g_uri_get_userinfo(uri.get()),
                 g_uri_get_host(uri.get()), g_uri_get_port(uri.get()), g_uri_get_path(uri.get()),
                 g_uri_get_query(uri.get()), nullptr);
  std::string result = joined != nullptr ? joined : "";
  g_free(joined);
  return result;
}

} // namespace

bool sameDocument(const std::string& shown, const std::string& wanted) {
  const auto a = withoutFragment(shown);
  return !a.empty() && a == withoutFragment(wanted);
}

} // namespace tarvo::platform::gtk
