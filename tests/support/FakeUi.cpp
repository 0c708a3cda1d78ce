#include "support/FakeUi.h"

namespace tarvo::test {

void FakeUi::installMenuBar(const platform::MenuBar& bar) {
  calls.emplace_back("installMenuBar");
  menuBar = bar;
}

void FakeUi::createWindow(const platform::WindowSpec& spec) {
  calls.emplace_back("createWindow");
  window = spec;
}

void FakeUi::createWebView() {
  calls.emplace_back("createWebView");
  ++webViews;
}

void FakeUi::presentWindow() {
  calls.emplace_back("presentWindow");
  ++presented;
}

void FakeUi::hideWindow() {
  calls.emplace_back("hideWindow");
  ++hidden;
}

void FakeUi::load(const std::string& url, double timeoutSeconds) {
  calls.emplace_back("load");
  loads.push_back({url, timeoutSeconds});
}

void FakeUi::showStatus(const std::string& line) {
  calls.emplace_back("showStatus");
  statusLines.push_back(line);
}

void FakeUi::showAlert(const platform::Alert& alert, platform::AlertDone done) {
  calls.emplace_back("showAlert");
  shown.push_back({alert, std::move(done), false});
}

void FakeUi::showSheet(const platform::Alert& alert, platform::AlertDone done) {
  calls.emplace_back("showSheet");
  shown.push_back({alert, std::move(done), true});
}

void FakeUi::openURL(const std::string& url) {
  calls.emplace_back("openURL");
  opened.push_back(url);
}

void FakeUi::terminate() {
  calls.emplace_back("terminate");
  ++terminateRequests;
}

void FakeUi::replyToApplicationShouldTerminate(bool quit) {
  calls.emplace_back("replyToApplicationShouldTerminate");
  replies.push_back(quit);
}

void FakeUi::inhibitLogout(bool on) {
  calls.emplace_back("inhibitLogout");
  inhibits.push_back(on);
}

void FakeUi::setBackendGate(int port, bool open) {
  calls.emplace_back("setBackendGate");
  gatePort = port;
  gates.push_back(open);
  gateOpen = open;
}

void FakeUi::showPageDialog(const platform::PageDialog& dialog, platform::PageDialogDone done) {
  calls.emplace_back("showPageDialog");
  pageDialogs.push_back({dialog, std::move(done)});
}

void FakeUi::closePageDialogs() {
  calls.emplace_back("closePageDialogs");
  ++pageDialogsClosed;
}

void FakeUi::showNotice(const platform::Notice& notice) {
  calls.emplace_back("showNotice");
  notices.push_back(notice);
}

void FakeUi::notify(const std::string& text) {
  calls.emplace_back("notify");
  notified.push_back(text);
}

void FakeUi::cancelDownloads() {
  calls.emplace_back("cancelDownloads");
  ++downloadCancels;
}

void FakeUi::enableDeveloperTools() {
  calls.emplace_back("enableDeveloperTools");
  ++developerTools;
}

void FakeUi::answerLast(int response) {
  // A copy: answering may show the next alert and grow `shown`.
  auto done = shown.back().done;
  done(response);
}

} // namespace tarvo::test
