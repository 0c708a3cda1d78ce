// Routed calls against real servers on 127.0.0.1:7810.
#include "ProtocolRig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

namespace tarvo::test {
namespace {

// What `done` was told, how often, and on which thread.
struct Calls {
  int count = 0;
  bool ok = false;
  std::optional<std::string> message;
  std::thread::id thread;

  Service::Done recorder() {
    return [this](bool success, std::optional<std::string> text) {
      ++count;
      ok = success;
      message = std::move(text);
      thread = std::this_thread::get_id();
    };
  }
};

// Runs the fake main queue until `done` has been called, then a little more
// to catch a second call.
void settle(ProtocolRig& rig, const Calls& calls) {
  for (int round = 0; round < 50 && calls.count == 0; ++round) {
    rig.mainQueue->waitAndRun(std::chrono::milliseconds(100));
  }
  rig.mainQueue->waitAndRun(std::chrono::milliseconds(100));
}

struct PostCase {
  const char* label;
  std::string raw;
  bool ok;
  std::optional<std::string> message;
  // The transport's own account of the failure, in whatever words libcurl
  // uses, instead of `message`.
  bool transportError = false;
};

class PostReplies : public ::testing::TestWithParam<PostCase> {};

TEST_P(PostReplies, ReportOnceOnTheMainQueue) {
  ProtocolRig rig;
  rig.writeToken("tok-9\n");
  TestServer server(GetParam().raw);
  ASSERT_TRUE(server.listening());
  Calls calls;

  const nlohmann::json body = {{"id", "r1"}, {"allow", true}, {"n", 2}};
  rig.service->post(Service::Route::call, body, calls.recorder());
  EXPECT_EQ(calls.count, 0); // not before the main queue runs it
  settle(rig, calls);

  EXPECT_EQ(calls.count, 1);
  EXPECT_EQ(calls.ok, GetParam().ok);
  if (GetParam().transportError) {
    ASSERT_TRUE(calls.message);
    EXPECT_FALSE(calls.message->empty());
    EXPECT_NE(calls.message, "the service did not answer");
  } else {
    EXPECT_EQ(calls.message, GetParam().message);
  }
  EXPECT_EQ(calls.thread, std::this_thread::get_id());
  ASSERT_EQ(server.requestCount(), 1U);
  const SeenRequest request = server.requests().front();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/api/call");
  EXPECT_EQ(request.header("Content-Type"), "application/json");
  EXPECT_EQ(request.header("X-Studio-Token"), "tok-9");
  EXPECT_EQ(request.header("Expect"), std::nullopt);
  EXPECT_EQ(nlohmann::json::parse(request.body), body);
  EXPECT_EQ(request.body.find(' '), std::string::npos); // compact
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PostReplies,
    ::testing::Values(
        PostCase{"okDespiteError", TestServer::reply(200, R"({"error":"ignored"})"), true,
                 std::nullopt},
        PostCase{"noContent", "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n", false,
                 "the service did not answer"},
        PostCase{"forbiddenDetail", TestServer::reply(403, R"({"detail":"Wrong token."})"), false,
                 "Wrong token."},
        PostCase{"detailList",
                 TestServer::reply(422, R"({"detail":[{"loc":["body"],"msg":"field required"}]})"),
                 false, "the service did not answer"},
        PostCase{"numericErrorTextDetail",
                 TestServer::reply(500, R"({"error":5,"detail":"Broke."})"), false, "Broke."},
        // A "200" whose body ends early is a failed transfer, not a success.
        PostCase{"okCutShort",
                 "HTTP/1.1 200 OK\r\nContent-Length: 40\r\nConnection: close\r\n\r\n{}", false,
                 std::nullopt, true},
        PostCase{"errorBeforeDetail",
                 TestServer::reply(500, R"({"error":"No such run.","detail":"Other."})"), false,
                 "No such run."}),
    [](const auto& testCase) { return testCase.param.label; });

TEST(Post, NothingListeningReportsTheTransportError) {
  ProtocolRig rig;
  rig.writeToken("tok");
  Calls calls;
  rig.service->post(Service::Route::approve, {{"id", 1}}, calls.recorder());
  EXPECT_EQ(calls.count, 0);
  settle(rig, calls);
  EXPECT_EQ(calls.count, 1);
  EXPECT_FALSE(calls.ok);
  ASSERT_TRUE(calls.message);
  EXPECT_NE(calls.message->find("connect"), std::string::npos) << *calls.message;
  EXPECT_EQ(calls.thread, std::this_thread::get_id());
}

TEST(Post, WithoutATokenRefusesBeforeReturning) {
  ProtocolRig rig;
  TestServer server(TestServer::reply(200, "{}"));
  ASSERT_TRUE(server.listening());
  for (const char* token : {static_cast<const char*>(nullptr), "  \n\t"}) {
    if (token != nullptr) {
      rig.writeToken(token);
    }
    Calls calls;
    // From another thread, to see that the refusal runs on the caller's.
    std::thread caller([&] {
      rig.service->post(Service::Route::approve, {{"id", 1}}, calls.recorder());
      EXPECT_EQ(calls.count, 1);
      EXPECT_EQ(calls.thread, std::this_thread::get_id());
    });
    caller.join();
    EXPECT_FALSE(calls.ok);
    EXPECT_EQ(calls.message, "This install has no token yet; restart Tarvo Studio.");
    EXPECT_EQ(rig.mainQueue->runReady(), 0U);
  }
  EXPECT_FALSE(server.waitForRequests(1, std::chrono::milliseconds(200)));
}

TEST(Post, SeveralCallsEachReportOnce) {
  ProtocolRig rig;
  rig.writeToken("tok");
  TestServer server(TestServer::reply(200, "{}"));
  ASSERT_TRUE(server.listening());
  std::vector<Calls> calls(4);
  for (Calls& each : calls) {
    rig.service->post(Service::Route::approve, {{"id", 1}}, each.recorder());
  }
  ASSERT_TRUE(server.waitForRequests(calls.size(), std::chrono::seconds(5)));
  for (const Calls& each : calls) {
    settle(rig, each);
    EXPECT_EQ(each.count, 1);
    EXPECT_TRUE(each.ok);
  }
}

} // namespace
} // namespace tarvo::test
