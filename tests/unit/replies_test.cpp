// How the replies of the ping, the busy query and the routed calls are read.
#include "protocol/Replies.h"

#include <gtest/gtest.h>

namespace tarvo::protocol {
namespace {

HttpReply replyWith(long status, std::optional<std::string> body,
                    std::optional<std::string> error = std::nullopt) {
  return HttpReply{status, std::move(body), std::move(error)};
}

struct PingCase {
  const char* label;
  HttpReply reply;
  std::optional<std::string> name;
};

class PingReading : public ::testing::TestWithParam<PingCase> {};

TEST_P(PingReading, FollowsTheRules) {
  EXPECT_EQ(readPing(GetParam().reply), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PingReading,
    ::testing::Values(
        PingCase{"name", replyWith(200, R"({"name":"tarvo-studio","v":1})"), "tarvo-studio"},
        PingCase{"statusIgnored", replyWith(500, R"({"name":"tarvo-studio"})"), "tarvo-studio"},
        PingCase{"emptyName", replyWith(200, R"({"name":""})"), ""},
        PingCase{"noBody", replyWith(0, std::nullopt, "Couldn't connect"), std::nullopt},
        PingCase{"emptyBody", replyWith(200, ""), std::nullopt},
        PingCase{"html", replyWith(200, "<html><body>hi</body></html>"), std::nullopt},
        PingCase{"bareString", replyWith(200, R"("tarvo-studio")"), std::nullopt},
        PingCase{"array", replyWith(200, R"([{"name":"tarvo-studio"}])"), std::nullopt},
        PingCase{"numericName", replyWith(200, R"({"name":7})"), std::nullopt},
        PingCase{"nullName", replyWith(200, R"({"name":null})"), std::nullopt},
        PingCase{"emptyObject", replyWith(200, "{}"), std::nullopt},
        PingCase{"truncated", replyWith(200, R"({"name":"tarvo-studio")"), std::nullopt},
        PingCase{"invalidUtf8", replyWith(200, "{\"name\":\"tarvo\xff\"}"), std::nullopt}),
    [](const auto& testCase) { return testCase.param.label; });

struct BusyCase {
  const char* label;
  HttpReply reply;
  std::optional<Busy> busy;
};

class BusyReading : public ::testing::TestWithParam<BusyCase> {};

TEST_P(BusyReading, FollowsTheRules) {
  const std::optional<Busy> busy = readBusy(GetParam().reply);
  ASSERT_EQ(busy.has_value(), GetParam().busy.has_value());
  if (busy) {
    EXPECT_EQ(busy->running, GetParam().busy->running);
    EXPECT_EQ(busy->pending, GetParam().busy->pending);
    EXPECT_EQ(busy->chats, GetParam().busy->chats);
    EXPECT_EQ(busy->names, GetParam().busy->names);
  }
}

using Names = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Replies, BusyReading,
    ::testing::Values(
        BusyCase{"emptyObject", replyWith(200, "{}"), Busy{0, 0, 0, {}}},
        BusyCase{"namesInOrderWithDuplicates",
                 replyWith(200, R"({"running":[{"tool":"a"},{"tool":"b"}],"pending":[{"tool":"a"}],
                                 "chats":3,"other":true})"),
                 Busy{2, 1, 3, Names{"a", "b", "a"}}},
        BusyCase{"nonObjectEntryEmptiesTheList",
                 replyWith(200, R"({"running":[{"tool":"a"},5],"pending":[{"tool":"p"}]})"),
                 Busy{0, 1, 0, Names{"p"}}},
        BusyCase{"pendingWithoutToolOrNumericTool",
                 replyWith(200, R"({"pending":[{},{"tool":4},{"tool":""}]})"),
                 Busy{0, 3, 0, Names{""}}},
        BusyCase{"listsOfTheWrongKind",
                 replyWith(200, R"({"running":{"tool":"a"},"pending":null})"), Busy{0, 0, 0, {}}},
        BusyCase{"chatsIntegralFloat", replyWith(200, R"({"chats":2.0})"), Busy{0, 0, 2, {}}},
        BusyCase{"chatsNegative", replyWith(200, R"({"chats":-4})"), Busy{0, 0, -4, {}}},
        BusyCase{"chatsFraction", replyWith(200, R"({"chats":2.5})"), Busy{0, 0, 0, {}}},
        BusyCase{"chatsString", replyWith(200, R"({"chats":"2"})"), Busy{0, 0, 0, {}}},
        BusyCase{"chatsBoolean", replyWith(200, R"({"chats":true})"), Busy{0, 0, 0, {}}},
        BusyCase{"chatsPastInt64", replyWith(200, R"({"chats":9223372036854775808})"),
                 Busy{0, 0, 0, {}}},
        BusyCase{"chatsHugeFloat", replyWith(200, R"({"chats":1e300})"), Busy{0, 0, 0, {}}},
        BusyCase{"chatsLargestInt64", replyWith(200, R"({"chats":9223372036854775807})"),
                 Busy{0, 0, INT64_MAX, {}}},
        BusyCase{"topLevelList", replyWith(200, "[]"), std::nullopt},
        BusyCase{"notJson", replyWith(200, "busy"), std::nullopt},
        BusyCase{"emptyBody", replyWith(200, ""), std::nullopt},
        BusyCase{"noBody", replyWith(200, std::nullopt), std::nullopt},
        BusyCase{"unauthorised", replyWith(401, "{}"), std::nullopt},
        BusyCase{"serverError", replyWith(500, R"({"running":[]})"), std::nullopt},
        BusyCase{"created", replyWith(201, "{}"), std::nullopt},
        BusyCase{"noResponse", replyWith(0, std::nullopt, "refused"), std::nullopt}),
    [](const auto& testCase) { return testCase.param.label; });

struct PostCase {
  const char* label;
  HttpReply reply;
  bool ok;
  std::optional<std::string> message;
};

class PostReading : public ::testing::TestWithParam<PostCase> {};

TEST_P(PostReading, FollowsThePrecedence) {
  const PostOutcome outcome = outcomeOf(readPost(GetParam().reply));
  EXPECT_EQ(outcome.ok, GetParam().ok);
  EXPECT_EQ(outcome.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PostReading,
    ::testing::Values(
        PostCase{"okWithError", replyWith(200, R"({"error":"ignored"})"), true, std::nullopt},
        PostCase{"okEmpty", replyWith(200, ""), true, std::nullopt},
        PostCase{"noContent", replyWith(204, ""), false, "the service did not answer"},
        PostCase{"created", replyWith(201, "{}"), false, "the service did not answer"},
        PostCase{"detail", replyWith(403, R"({"detail":"bad token"})"), false, "bad token"},
        PostCase{"detailList", replyWith(422, R"({"detail":[{"msg":"x"}]})"), false,
                 "the service did not answer"},
        PostCase{"numericErrorTextDetail", replyWith(500, R"({"error":5,"detail":"d"})"), false,
                 "d"},
        PostCase{"bothTexts", replyWith(500, R"({"error":"e","detail":"d"})"), false, "e"},
        PostCase{"emptyErrorText", replyWith(500, R"({"error":""})"), false, ""},
        PostCase{"transportError", replyWith(0, std::nullopt, "Couldn't connect to server"), false,
                 "Couldn't connect to server"},
        PostCase{"bodyBeatsTransport", replyWith(502, R"({"error":"e"})", "cut off"), false, "e"},
        PostCase{"arrayKeepsTransport", replyWith(500, R"(["error"])", "cut off"), false,
                 "cut off"},
        PostCase{"html", replyWith(500, "<h1>oops</h1>"), false, "the service did not answer"}),
    [](const auto& testCase) { return testCase.param.label; });

} // namespace
} // namespace tarvo::protocol
