// The health ping against real servers on 127.0.0.1:7810.
#include "ProtocolRig.h"
#include "protocol/HttpSession.h"

#include <gtest/gtest.h>

#include <future>

namespace tarvo::test {
namespace {

using protocol::HttpReply;
using protocol::HttpRequest;

struct PingCase {
  const char* label;
  std::string raw;
  std::optional<std::string> name;
};

class PingReplies : public ::testing::TestWithParam<PingCase> {};

TEST_P(PingReplies, GiveTheNameOrNothing) {
  ProtocolRig rig;
  rig.writeToken("secret\n");
  TestServer server(GetParam().raw);
  ASSERT_TRUE(server.listening());

  EXPECT_EQ(rig.service->pingName(), GetParam().name);

  ASSERT_EQ(server.requestCount(), 1U);
  const SeenRequest request = server.requests().front();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/api/ping");
  EXPECT_EQ(request.header("X-Studio-Token"), std::nullopt); // the ping carries no token
  EXPECT_EQ(request.body, "");
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PingReplies,
    ::testing::Values(
        PingCase{"rightNameWithStatus500", TestServer::reply(500, R"({"name":"tarvo-studio"})"),
                 "tarvo-studio"},
        PingCase{"htmlPage", TestServer::reply(200, "<html><body>Hello</body></html>", "text/html"),
                 std::nullopt},
        PingCase{"bareJsonString", TestServer::reply(200, R"("tarvo-studio")"), std::nullopt},
        PingCase{"jsonArray", TestServer::reply(200, R"([{"name":"tarvo-studio"}])"), std::nullopt},
        PingCase{"numericName", TestServer::reply(200, R"({"name":7})"), std::nullopt},
        PingCase{"emptyName", TestServer::reply(200, R"({"name":""})"), ""},
        PingCase{"otherLetterCase", TestServer::reply(200, R"({"name":"Tarvo-Studio"})"),
                 "Tarvo-Studio"},
        PingCase{"noContentLength",
                 "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n{\"name\":\"tarvo-studio\"}",
                 "tarvo-studio"}),
    [](const auto& testCase) { return testCase.param.label; });

TEST(Ping, NothingListeningAnswersAtOnce) {
  ProtocolRig rig;
  std::optional<std::string> name;
  const double spent = secondsSpent([&] { name = rig.service->pingName(1.2); });
  EXPECT_EQ(name, std::nullopt);
  EXPECT_LT(spent, 0.6);
  EXPECT_FALSE(rig.service->isAlive());
  EXPECT_FALSE(rig.service->isMine());
}

TEST(Ping, SilentServerGivesNothingWithinTheDeadline) {
  ProtocolRig rig;
  TestServer server(TestServer::silent);
  ASSERT_TRUE(server.listening());
  std::optional<std::string> name = "unset";
  const double spent = secondsSpent([&] { name = rig.service->pingName(1.2); });
  EXPECT_EQ(name, std::nullopt);
  EXPECT_GE(spent, 1.1);
  EXPECT_LE(spent, 1.7 + 0.3); // the deadline plus scheduling slack
  // The request has failed by its own time-out; answering now reaches no one.
  server.answerHeld(TestServer::reply(200, R"({"name":"tarvo-studio"})"));
  EXPECT_EQ(server.requestCount(), 1U);
}

// The session thread is kept busy so that the ping's answer can only be read
// after its waiter has given up: the waiter returns nothing, and the late
// completion then fills a slot that nobody reads any more.
TEST(Ping, AnswerAfterTheDeadlineChangesNothing) {
  ProtocolRig rig;
  TestServer server(TestServer::reply(200, R"({"name":"tarvo-studio"})"));
  ASSERT_TRUE(server.listening());
  std::promise<void> release;
  std::promise<void> blocking;
  std::promise<void> lateDone;
  rig.service->session().send(HttpRequest{"GET", Service::base() + "/other", {}, {}, 5},
                              [&, wait = release.get_future().share()](const HttpReply&) {
                                blocking.set_value();
                                wait.wait();
                              });
  blocking.get_future().wait();

  std::optional<std::string> name = "unset";
  const double spent = secondsSpent([&] { name = rig.service->pingName(0.3); });
  EXPECT_EQ(name, std::nullopt);
  EXPECT_GE(spent, 0.75);
  EXPECT_LT(spent, 1.5);

  // Once free, the session sends the ping and reads its answer; a marker
  // request queued after it shows when that has happened.
  rig.service->session().send(HttpRequest{"GET", Service::base() + "/marker", {}, {}, 5},
                              [&](const HttpReply&) { lateDone.set_value(); });
  release.set_value();
  EXPECT_EQ(lateDone.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(server.waitForRequests(3, std::chrono::seconds(5)));
  EXPECT_EQ(rig.service->pingName(), "tarvo-studio"); // the session is sound afterwards
}

TEST(Ping, OnTheSessionThreadGivesNothingAtOnce) {
  ProtocolRig rig;
  TestServer server(TestServer::reply(200, R"({"name":"tarvo-studio"})"));
  ASSERT_TRUE(server.listening());
  std::promise<std::pair<std::optional<std::string>, double>> result;
  rig.service->session().send(
      HttpRequest{"GET", Service::base() + "/x", {}, {}, 5}, [&](const HttpReply&) {
        std::optional<std::string> name = "unset";
        const double spent = secondsSpent([&] { name = rig.service->pingName(5); });
        result.set_value({name, spent});
      });
  auto future = result.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto [name, spent] = future.get();
  EXPECT_EQ(name, std::nullopt);
  EXPECT_LT(spent, 0.5);
}

TEST(Ownership, WithoutAChildNothingIsMineAndNoRequestIsSent) {
  ProtocolRig rig;
  TestServer server(TestServer::reply(200, R"({"name":"tarvo-studio"})"));
  ASSERT_TRUE(server.listening());
  EXPECT_FALSE(rig.service->isMine());
  EXPECT_FALSE(rig.service->isAlive());
  EXPECT_FALSE(server.waitForRequests(1, std::chrono::milliseconds(200)));
}

} // namespace
} // namespace tarvo::test
