// The HTTP session itself: proxies, protocols, the body cap, its thread, its end.
#include "ProtocolRig.h"
#include "protocol/HttpSession.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <future>
#include <set>

namespace tarvo::test {
namespace {

using protocol::HttpReply;
using protocol::HttpRequest;
using protocol::HttpSession;

const std::string pingURL = Service::base() + "/api/ping";

// Sends one request and waits for its reply (or gives up after `limit`).
std::optional<HttpReply> exchange(HttpSession& session, HttpRequest request,
                                  std::chrono::seconds limit = std::chrono::seconds(10)) {
  auto reply = std::make_shared<std::promise<HttpReply>>();
  auto future = reply->get_future();
  session.send(std::move(request), [reply](HttpReply r) { reply->set_value(std::move(r)); });
  if (future.wait_for(limit) != std::future_status::ready) {
    return std::nullopt;
  }
  return future.get();
}

long peakMemoryKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(HttpSession, IgnoresProxiesFromTheEnvironment) {
  PortLock portLock;
  TestServer server(TestServer::reply(200, "hello"));
  ASSERT_TRUE(server.listening());
  const char* names[] = {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"};
  for (const char* name : names) {
    ::setenv(name, "http://127.0.0.1:9", 1); // NOLINT(concurrency-mt-unsafe): before any thread
  }
  ::setenv("no_proxy", "", 1); // NOLINT(concurrency-mt-unsafe)
  HttpSession session;
  const std::optional<HttpReply> reply = exchange(session, HttpRequest{"GET", pingURL, {}, {}, 5});
  for (const char* name : names) {
    ::unsetenv(name); // NOLINT(concurrency-mt-unsafe)
  }
  ::unsetenv("no_proxy"); // NOLINT(concurrency-mt-unsafe)
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(reply->body, "hello");
  EXPECT_EQ(reply->error, std::nullopt);
  EXPECT_EQ(server.requests().at(0).target, "/api/ping");
}

// Only http: a readable local file is refused by libcurl itself (not as a
// request it could not prepare), and the same session still speaks http.
TEST(HttpSession, SpeaksOnlyHttp) {
  PortLock portLock;
  TestServer server(TestServer::reply(200, "hello"));
  ASSERT_TRUE(server.listening());
  HttpSession session;
  const std::string file = std::string("file://") + TARVO_SOURCE_DIR + "/README.md";
  const std::optional<HttpReply> refused = exchange(session, HttpRequest{"GET", file, {}, {}, 5});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 0);
  EXPECT_FALSE(refused->body.has_value()); // not the file
  ASSERT_TRUE(refused->error);
  EXPECT_NE(*refused->error, "the request could not be prepared");

  const std::optional<HttpReply> reply = exchange(session, HttpRequest{"GET", pingURL, {}, {}, 5});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(reply->body, "hello");
}

TEST(HttpSession, BodyOverTheCapIsAnErrorWithoutTheBody) {
  PortLock portLock;
  const long before = peakMemoryKiB();
  {
    TestServer server(TestServer::streaming(512ULL * 1024 * 1024));
    ASSERT_TRUE(server.listening());
    HttpSession session;
    const std::optional<HttpReply> reply =
        exchange(session, HttpRequest{"GET", pingURL, {}, {}, 20});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 0);
    EXPECT_EQ(reply->body, std::nullopt);
    ASSERT_TRUE(reply->error);
    EXPECT_NE(reply->error->find("larger than"), std::string::npos) << *reply->error;
  }
  EXPECT_LT(peakMemoryKiB() - before, 64 * 1024); // far below the half gigabyte offered
}

TEST(HttpSession, BodyOfExactlyTheCapArrivesWhole) {
  PortLock portLock;
  TestServer server(TestServer::streaming(HttpSession::maxBody));
  ASSERT_TRUE(server.listening());
  HttpSession session;
  const std::optional<HttpReply> reply = exchange(session, HttpRequest{"GET", pingURL, {}, {}, 20});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  ASSERT_TRUE(reply->body);
  EXPECT_EQ(reply->body->size(), HttpSession::maxBody);
}

TEST(HttpSession, CompletionsRunOnTheSessionThread) {
  PortLock portLock;
  TestServer server(TestServer::reply(200, "{}"));
  ASSERT_TRUE(server.listening());
  HttpSession session;
  EXPECT_FALSE(session.onSessionThread());
  std::mutex mutex;
  std::set<std::thread::id> threads;
  int onSession = 0;
  std::promise<void> all;
  constexpr int total = 6;
  int left = total;
  std::vector<std::thread> senders;
  senders.reserve(total);
  for (int i = 0; i < total; ++i) {
    senders.emplace_back([&] {
      session.send(HttpRequest{"GET", pingURL, {}, {}, 5}, [&](const HttpReply&) {
        std::lock_guard guard(mutex);
        threads.insert(std::this_thread::get_id());
        onSession += session.onSessionThread() ? 1 : 0;
        if (--left == 0) {
          all.set_value();
        }
      });
    });
  }
  for (std::thread& sender : senders) {
    sender.join();
  }
  ASSERT_EQ(all.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  std::lock_guard guard(mutex);
  EXPECT_EQ(threads.size(), 1U);
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0U);
  EXPECT_EQ(onSession, total);
}

TEST(HttpSession, OwnTimeoutEndsASilentRequest) {
  PortLock portLock;
  TestServer server(TestServer::silent);
  ASSERT_TRUE(server.listening());
  HttpSession session;
  std::optional<HttpReply> reply;
  const double spent = secondsSpent([&] {
    reply = exchange(session, HttpRequest{"GET", pingURL, {}, {}, 0.3});
  });
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 0);
  EXPECT_EQ(reply->body, std::nullopt);
  ASSERT_TRUE(reply->error);
  EXPECT_NE(reply->error->find("imed out"), std::string::npos) << *reply->error;
  EXPECT_LT(spent, 1.5);
}

TEST(HttpSession, ClosingCompletesWhatIsInFlightOnce) {
  PortLock portLock;
  TestServer server(TestServer::silent);
  ASSERT_TRUE(server.listening());
  std::vector<HttpReply> replies;
  std::thread::id ranOn;
  {
    HttpSession session;
    session.send(HttpRequest{"GET", pingURL, {}, {}, 30}, [&](HttpReply reply) {
      replies.push_back(std::move(reply));
      ranOn = std::this_thread::get_id();
    });
    ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(5)));
  }
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_EQ(replies[0].status, 0);
  EXPECT_EQ(replies[0].error, "the session was closed");
  EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(HttpSession, MayBeDestroyedByItsOwnCompletion) {
  PortLock portLock;
  TestServer server(TestServer::reply(200, "{}"));
  ASSERT_TRUE(server.listening());
  auto* session = new HttpSession; // NOLINT(cppcoreguidelines-owning-memory)
  std::promise<void> destroyed;
  session->send(HttpRequest{"GET", pingURL, {}, {}, 5}, [&](const HttpReply&) {
    delete session; // NOLINT(cppcoreguidelines-owning-memory)
    destroyed.set_value();
  });
  EXPECT_EQ(destroyed.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

} // namespace
} // namespace tarvo::test
