// The owners of GLib values, and the wire between the web extension and the
// view. (Leaks and double frees show under the address sanitizer build.)
#include "gtk/ExtensionWire.h"
#include "gtk/GlibPtr.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvo::gtk {
namespace {

TEST(GlibPtr, OutPtrHandsTheErrorToItsOwner) {
  GKeyFilePtr file(g_key_file_new());
  GErrorPtr error;
  EXPECT_FALSE(g_key_file_load_from_file(file.get(), "/nonexistent/tarvo/window.ini",
                                         G_KEY_FILE_NONE, OutPtr(error)));
  ASSERT_TRUE(error);
  EXPECT_TRUE(g_error_matches(error.get(), G_FILE_ERROR, G_FILE_ERROR_NOENT));

  // A second call gets a fresh out-parameter; the owner takes its answer.
  EXPECT_FALSE(
      g_key_file_load_from_data(file.get(), "not a key file", -1, G_KEY_FILE_NONE, OutPtr(error)));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, G_KEY_FILE_ERROR);

  // A call that succeeds leaves the owner empty.
  EXPECT_TRUE(
      g_key_file_load_from_data(file.get(), "[a]\nb=1\n", -1, G_KEY_FILE_NONE, OutPtr(error)));
  EXPECT_FALSE(error);
}

TEST(GlibPtr, StringsAreOwned) {
  const GCharPtr text(g_strdup_printf("%s-%d", "frame", 7));
  ASSERT_TRUE(text);
  EXPECT_EQ(std::string(text.get()), "frame-7");
}

// What the extension builds, the view reads.
TEST(ExtensionWire, TheViewReadsWhatTheExtensionSends) {
  GVariant* sent = g_variant_ref_sink(g_variant_new(
      ExtensionWire::messageType, TRUE, "http://127.0.0.1:7810/", R"({"kind":"openLog"})"));
  ASSERT_TRUE(g_variant_is_of_type(sent, G_VARIANT_TYPE(ExtensionWire::messageType)));
  gboolean mainFrame = FALSE;
  const char* frameURL = nullptr;
  const char* body = nullptr;
  g_variant_get(sent, ExtensionWire::messageFields, &mainFrame, &frameURL, &body);
  EXPECT_TRUE(mainFrame);
  EXPECT_STREQ(frameURL, "http://127.0.0.1:7810/");
  EXPECT_STREQ(body, R"({"kind":"openLog"})");
  g_variant_unref(sent);
  EXPECT_STREQ(ExtensionWire::handlerName, "studio");
}

} // namespace
} // namespace tarvo::gtk
