// isMine and isAlive with a real child started through the Service: a small
// backend that answers the ping until told to let go of the port, then keeps
// running while another server takes the port over. Whatever that server
// answers, it is not our child, so the backend is not alive.
#include "ProtocolRig.h"
#include "protocol/HttpSession.h"

#include <gtest/gtest.h>

#include <future>

namespace tarvo::test {
namespace {

using protocol::HttpReply;
using protocol::HttpRequest;
using protocol::HttpSession;

constexpr const char* backend = R"(import http.server, json, sys, threading, time
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = json.dumps({"name": "tarvo-studio"}).encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        if self.path == "/release":
            threading.Thread(target=self.server.shutdown).start()
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", int(sys.argv[-1])), Handler)
server.serve_forever()
server.server_close()
while True:
    time.sleep(1)
)";

struct OwnershipCase {
  const char* label;
  std::string raw; // what the server that takes over the port answers
};

class ChildOwnership : public ::testing::TestWithParam<OwnershipCase> {};

TEST_P(ChildOwnership, EndsWhenAnotherProgramTakesThePort) {
  ProtocolRig rig;
  writeFile(rig.folder / "Resources/tarvo-studio/app/__main__.py", backend);
  writeFile(rig.folder / "Resources/tarvo-studio/studio/.keep", "");
  auto service =
      Service::make(rig.mainQueue, UserFolders::under(rig.folder.path(), rig.folder / "Resources"),
                    {}, std::vector<std::string>{"/usr/bin/python3"});
  ASSERT_EQ(service->start(), std::nullopt);
  EXPECT_TRUE(service->isMine());
  EXPECT_TRUE(service->isAlive());
  EXPECT_TRUE(service->holdsPort());

  // The child lets go of the port but keeps running.
  HttpSession session;
  std::promise<void> released;
  session.send(HttpRequest{"GET", Service::base() + "/release", {}, {}, 5},
               [&](const HttpReply&) { released.set_value(); });
  ASSERT_EQ(released.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  ASSERT_TRUE(eventually([&] { return !service->pingName(0.3); }));

  TestServer other(GetParam().raw);
  ASSERT_TRUE(other.listening());
  EXPECT_TRUE(service->isMine());
  EXPECT_FALSE(service->isAlive());
  EXPECT_FALSE(service->holdsPort());
  EXPECT_EQ(other.requestCount(), 0U) << "a program that is not our child is not even asked";

  service->stop();
  EXPECT_FALSE(service->isMine());
  EXPECT_FALSE(service->isAlive());
  EXPECT_EQ(other.requestCount(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ChildOwnership,
    ::testing::Values(
        OwnershipCase{"rightName", TestServer::reply(200, R"({"name":"tarvo-studio"})")},
        OwnershipCase{"otherLetterCase", TestServer::reply(200, R"({"name":"Tarvo-Studio"})")},
        OwnershipCase{"emptyName", TestServer::reply(200, R"({"name":""})")},
        OwnershipCase{"otherName", TestServer::reply(500, R"({"name":"jupyter"})")}),
    [](const auto& testCase) { return testCase.param.label; });

} // namespace
} // namespace tarvo::test
