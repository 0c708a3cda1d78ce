#include "protocol/Url.h"

#include <gtest/gtest.h>

namespace tarvo::protocol {
namespace {

TEST(Url, ParsedPartsFollowTheEngine) {
  const auto a = Url::parse("HTTP://Us%40er:pw@%31%32%37.0.0.1:0007810/x");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->scheme(), "http");
  EXPECT_TRUE(a->isWeb());
  EXPECT_EQ(a->host(), "127.0.0.1");
  EXPECT_EQ(a->port(), 7810);
  EXPECT_EQ(a->effectivePort(), 7810);
  EXPECT_TRUE(a->twoSlashes());

  const auto b = Url::parse("https://Example.COM");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->host(), "example.com");
  EXPECT_FALSE(b->port());
  EXPECT_EQ(b->effectivePort(), 443);
  EXPECT_EQ(Url::parse("http://example.com")->effectivePort(), 80);

  const auto c = Url::parse("mailto:someone@127.0.0.1:7810");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->scheme(), "mailto");
  EXPECT_FALSE(c->isWeb());
  EXPECT_EQ(c->host(), "");

  EXPECT_FALSE(Url::parse("http:/127.0.0.1:7810/")->twoSlashes());
  EXPECT_FALSE(Url::parse("/runs/4"));
  EXPECT_FALSE(Url::parse("http://127.0.0.1:65536/"));
}

} // namespace
} // namespace tarvo::protocol

TEST(UrlSendable, OnlyWebAddressesWithoutSpacesOrControls) {
  EXPECT_TRUE(tarvo::protocol::Url::isSendable("http://127.0.0.1:7810/#t=tok-\u00e9n%41"));
  EXPECT_TRUE(tarvo::protocol::Url::isSendable("http://127.0.0.1:7810/api/ping"));
  EXPECT_FALSE(tarvo::protocol::Url::isSendable("http://127.0.0.1:7810/#t=has space"));
  EXPECT_FALSE(tarvo::protocol::Url::isSendable("http://127.0.0.1:7810/#t=a\tb"));
  EXPECT_FALSE(tarvo::protocol::Url::isSendable("http://127.0.0.1:7810/\x7f"));
  EXPECT_FALSE(tarvo::protocol::Url::isSendable("http://:7810/"));
  EXPECT_FALSE(tarvo::protocol::Url::isSendable("file:///etc/passwd"));
  EXPECT_FALSE(tarvo::protocol::Url::isSendable(""));
}
