#pragma once

#include "platform/Ui.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvo::test {

// Records every call the shell makes of the desktop. Alerts and sheets keep
// their `done` callbacks so a test can answer them later, in any order.
class FakeUi : public platform::Ui {
public:
  struct Load {
    std::string url;
    double timeoutSeconds = 0;
  };
  struct Shown {
    platform::Alert alert;
    platform::AlertDone done;
    bool sheet = false;
  };

  void installMenuBar(const platform::MenuBar& bar) override;
  void createWindow(const platform::WindowSpec& spec) override;
  void createWebView() override;
  void presentWindow() override;
  void hideWindow() override;
  void load(const std::string& url, double timeoutSeconds) override;
  void showStatus(const std::string& line) override;
  void showAlert(const platform::Alert& alert, platform::AlertDone done) override;
  void showSheet(const platform::Alert& alert, platform::AlertDone done) override;
  void openURL(const std::string& url) override;
  void terminate() override;
  void replyToApplicationShouldTerminate(bool quit) override;
  void inhibitLogout(bool on) override;
  void setBackendGate(int port, bool open) override;
  void showPageDialog(const platform::PageDialog& dialog, platform::PageDialogDone done) override;
  void closePageDialogs() override;
  void showNotice(const platform::Notice& notice) override;
  bool windowIsActive() override { return active; }
  void notify(const std::string& text) override;
  void cancelDownloads() override;
  void enableDeveloperTools() override;

  // Answers the most recent alert or sheet with `response`.
  void answerLast(int response);
  [[nodiscard]] const Shown& last() const { return shown.back(); }

  std::vector<std::string> calls; // the name of every call, in order
  std::optional<platform::MenuBar> menuBar;
  std::optional<platform::WindowSpec> window;
  int webViews = 0;
  int presented = 0;
  int hidden = 0;
  std::vector<Load> loads;
  std::vector<Shown> shown;
  std::vector<std::string> statusLines; // every line shown, "" for hidden
  [[nodiscard]] std::string status() const { return statusLines.empty() ? "" : statusLines.back(); }
  std::vector<std::string> opened;
  int terminateRequests = 0;
  std::vector<bool> replies;
  std::vector<bool> inhibits;
  std::vector<bool> gates; // each change of the backend's gate, in order
  bool gateOpen = false;
  int gatePort = 0;
  // The page's dialogs; each keeps its `done` until the test or a closing answers.
  struct PageDialogShown {
    platform::PageDialog dialog;
    platform::PageDialogDone done;
  };
  std::vector<PageDialogShown> pageDialogs;
  int pageDialogsClosed = 0;
  std::vector<platform::Notice> notices; // every notice, the empty one too
  bool active = true;                    // the window has the keyboard
  std::vector<std::string> notified;
  int downloadCancels = 0;
  int developerTools = 0;
};

} // namespace tarvo::test
