#include "shell/ScriptBridge.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace tarvo::test {
namespace {

using platform::ScriptMessage;

TEST(ScriptBridge, OnlyTheServicePagesOwnRequestsAreCarried) {
  const ScriptMessage good{true, true, "http://127.0.0.1:7810/", R"({"type":"openLog"})"};
  auto with = [&](auto change) {
    auto message = good;
    change(message);
    return message;
  };
  const std::vector<std::pair<const char*, ScriptMessage>> cases = {
      {"another view", with([](ScriptMessage& m) { m.fromMainView = false; })},
      {"inner frame", with([](ScriptMessage& m) { m.mainFrame = false; })},
      {"other origin", with([](ScriptMessage& m) { m.frameURL = "http://evil.example/"; })},
      {"port 80", with([](ScriptMessage& m) { m.frameURL = "http://127.0.0.1/"; })},
      {"other port", with([](ScriptMessage& m) { m.frameURL = "http://127.0.0.1:7811/"; })},
      {"https", with([](ScriptMessage& m) { m.frameURL = "https://127.0.0.1:7810/"; })},
      {"localhost", with([](ScriptMessage& m) { m.frameURL = "http://localhost:7810/"; })},
      {"srcdoc", with([](ScriptMessage& m) { m.frameURL = "about:srcdoc"; })},
      {"no frame address", with([](ScriptMessage& m) { m.frameURL.clear(); })},
      {"bare text", with([](ScriptMessage& m) { m.bodyJSON = R"("openLog")"; })},
      {"numeric type", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":1})"; })},
      {"capital letter", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":"OpenLog"})"; })},
      {"unknown type", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":"quit"})"; })},
      {"no type", with([](ScriptMessage& m) { m.bodyJSON = R"({"kind":"openLog"})"; })},
      {"array", with([](ScriptMessage& m) { m.bodyJSON = R"([{"type":"openLog"}])"; })},
      {"null", with([](ScriptMessage& m) { m.bodyJSON = "null"; })},
      {"not JSON", with([](ScriptMessage& m) { m.bodyJSON = "openLog"; })},
      {"truncated", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":"openLog")"; })},
      {"empty body", with([](ScriptMessage& m) { m.bodyJSON.clear(); })},
  };
  EXPECT_EQ(scriptRequest(good).request, ScriptRequest::openLog);
  for (const auto& [label, message] : cases) {
    const auto verdict = scriptRequest(message);
    EXPECT_FALSE(verdict.request) << label;
    EXPECT_FALSE(verdict.refused.empty()) << label;
  }
}

} // namespace
} // namespace tarvo::test
