// The busy query against real servers on 127.0.0.1:7810.
#include "ProtocolRig.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

using Names = std::vector<std::string>;

struct BusyCase {
  const char* label;
  std::string raw;
  std::optional<Service::Busy> busy;
};

class BusyReplies : public ::testing::TestWithParam<BusyCase> {};

TEST_P(BusyReplies, AreReadByTheRules) {
  ProtocolRig rig;
  rig.writeToken("  tok-123\r\n");
  TestServer server(GetParam().raw);
  ASSERT_TRUE(server.listening());

  const std::optional<Service::Busy> busy = rig.service->busy();

  ASSERT_EQ(busy.has_value(), GetParam().busy.has_value());
  if (busy) {
    EXPECT_EQ(busy->running, GetParam().busy->running);
    EXPECT_EQ(busy->pending, GetParam().busy->pending);
    EXPECT_EQ(busy->chats, GetParam().busy->chats);
    EXPECT_EQ(busy->names, GetParam().busy->names);
  }
  ASSERT_EQ(server.requestCount(), 1U);
  const SeenRequest request = server.requests().front();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/api/busy");
  EXPECT_EQ(request.header("X-Studio-Token"), "tok-123");
  EXPECT_EQ(request.body, "");
}

INSTANTIATE_TEST_SUITE_P(
    Servers, BusyReplies,
    ::testing::Values(
        BusyCase{"emptyObject", TestServer::reply(200, "{}"), Service::Busy{0, 0, 0, {}}},
        BusyCase{"namesInReplyOrder",
                 TestServer::reply(200, R"({"running":[{"tool":"a"},{"tool":"b"}],
                                            "pending":[{"tool":"a"}],"chats":1})"),
                 Service::Busy{2, 1, 1, Names{"a", "b", "a"}}},
        BusyCase{"runningWithANumber",
                 TestServer::reply(200, R"({"running":[{"tool":"a"},3],"chats":2.0})"),
                 Service::Busy{0, 0, 2, {}}},
        BusyCase{"pendingWithoutUsableTool",
                 TestServer::reply(200, R"({"pending":[{"id":1},{"tool":9}],"chats":"4"})"),
                 Service::Busy{0, 2, 0, {}}},
        BusyCase{"fractionalChats", TestServer::reply(200, R"({"chats":2.5})"),
                 Service::Busy{0, 0, 0, {}}},
        BusyCase{"topLevelList", TestServer::reply(200, "[]"), std::nullopt},
        BusyCase{"notJson", TestServer::reply(200, "<p>busy</p>", "text/html"), std::nullopt},
        BusyCase{"unauthorised", TestServer::reply(401, "{}"), std::nullopt},
        BusyCase{"serverError", TestServer::reply(500, R"({"running":[]})"), std::nullopt},
        BusyCase{"noContent", "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n",
                 std::nullopt}),
    [](const auto& testCase) { return testCase.param.label; });

TEST(Busy, WithoutATokenSendsNothing) {
  ProtocolRig rig;
  TestServer server(TestServer::reply(200, "{}"));
  ASSERT_TRUE(server.listening());
  for (const char* token : {static_cast<const char*>(nullptr), " \n", "a\nb"}) {
    if (token != nullptr) {
      rig.writeToken(token);
    }
    std::optional<Service::Busy> busy;
    EXPECT_LT(secondsSpent([&] { busy = rig.service->busy(); }), 0.2);
    EXPECT_FALSE(busy.has_value());
  }
  EXPECT_FALSE(server.waitForRequests(1, std::chrono::milliseconds(200)));
}

TEST(Busy, SilentServerGivesNoAnswerWithinTheDeadline) {
  ProtocolRig rig;
  rig.writeToken("tok");
  TestServer server(TestServer::silent);
  ASSERT_TRUE(server.listening());
  std::optional<Service::Busy> busy;
  const double spent = secondsSpent([&] { busy = rig.service->busy(1.0); });
  EXPECT_FALSE(busy.has_value());
  EXPECT_GE(spent, 0.9);
  EXPECT_LE(spent, 1.5 + 0.3);
  server.answerHeld(TestServer::reply(200, "{}"));
  EXPECT_EQ(server.requestCount(), 1U);
}

TEST(Busy, NothingListeningGivesNoAnswerAtOnce) {
  ProtocolRig rig;
  rig.writeToken("tok");
  std::optional<Service::Busy> busy;
  EXPECT_LT(secondsSpent([&] { busy = rig.service->busy(); }), 0.6);
  EXPECT_FALSE(busy.has_value());
}

} // namespace
} // namespace tarvo::test
