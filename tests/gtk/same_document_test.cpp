// When a load would only scroll: the same address apart from its fragment.
#include "gtk/SameDocument.h"

#include <gtest/gtest.h>

namespace tarvo::platform::gtk {
namespace {

TEST(SameDocument, OnlyTheFragmentMayDiffer) {
  EXPECT_TRUE(sameDocument("http://127.0.0.1:7810/#t=old", "http://127.0.0.1:7810/#t=new"));
  EXPECT_TRUE(sameDocument("http://127.0.0.1:7810/", "http://127.0.0.1:7810/#t=new"));
  EXPECT_TRUE(sameDocument("http://127.0.0.1:7810/a?b=1#x", "http://127.0.0.1:7810/a?b=1"));
  EXPECT_TRUE(sameDocument("HTTP://127.0.0.1:7810/#x", "http://127.0.0.1:7810/#y"));

  EXPECT_FALSE(sameDocument("http://127.0.0.1:7810/other#t", "http://127.0.0.1:7810/#t"));
  EXPECT_FALSE(sameDocument("http://127.0.0.1:7810/?q=1#t", "http://127.0.0.1:7810/#t"));
  EXPECT_FALSE(sameDocument("http://127.0.0.1:7811/#t", "http://127.0.0.1:7810/#t"));
  EXPECT_FALSE(sameDocument("http://localhost:7810/#t", "http://127.0.0.1:7810/#t"));
  EXPECT_FALSE(sameDocument("https://127.0.0.1:7810/#t", "http://127.0.0.1:7810/#t"));
}

TEST(SameDocument, NothingUnreadableCountsAsTheSame) {
  EXPECT_FALSE(sameDocument("", ""));
  EXPECT_FALSE(sameDocument("about:blank", "http://127.0.0.1:7810/"));
  EXPECT_FALSE(sameDocument("not a url", "not a url"));
}

} // namespace
} // namespace tarvo::platform::gtk
