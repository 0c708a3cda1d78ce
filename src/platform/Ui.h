#pragma once

#include "platform/Menu.h"
#include "platform/PageUi.h"

#include <functional>
#include <string>
#include <vector>

namespace tarvo::platform {

struct WindowSpec {
  std::string title;
  int width = 0;
  int height = 0;
  int minWidth = 0;
  int minHeight = 0;
  std::string autosaveName; // the frame is remembered under this name
};

struct Alert {
  std::string message;              // the bold first line
  std::string informative;          // the text below it
  std::vector<std::string> buttons; // in order; the first is the default
  int defaultButton = 0;            // index answering Return
};

// The response to an alert: the index of the button pressed, or -1 when the
// dialog was dismissed some other way (Escape, closed by the window manager).
using AlertDone = std::function<void(int response)>;

// What the shell asks of the desktop. Every call is made on the main thread.
class Ui : public PageUi {
public:
  ~Ui() override = default;

  virtual void installMenuBar(const MenuBar& bar) = 0;
  virtual void createWindow(const WindowSpec& spec) = 0;
  virtual void createWebView() = 0;
  virtual void presentWindow() = 0; // to the front, focused, application active
  // Off the screen at once, before the caller blocks (the quit's last wait).
  virtual void hideWindow() = 0;

  // Loads the address afresh, ignoring anything cached. The document shown
  // until now is gone before the address is asked for, so it never sees the
  // address (nor the install token in its fragment), even where only the
  // fragment differs.
  virtual void load(const std::string& url, double timeoutSeconds) = 0;

  // The status view above the web view: the application's icon, a spinner
  // and `line`. An empty line hides the view.
  virtual void showStatus(const std::string& line) = 0;

  // Application-modal; `done` runs on the main thread once the user answers.
  virtual void showAlert(const Alert& alert, AlertDone done) = 0;
  // Attached to the main window; `done` runs once the sheet ends.
  virtual void showSheet(const Alert& alert, AlertDone done) = 0;

  // The user's default application for a web address, file or folder.
  virtual void openURL(const std::string& url) = 0;

  // A request to quit, as if the user chose Quit: it reaches the delegate's
  // applicationShouldTerminate.
  virtual void terminate() = 0;
  // Answers a deferred termination decision.
  virtual void replyToApplicationShouldTerminate(bool quit) = 0;
  // Keeps the desktop session from ending silently while the backend runs.
  virtual void inhibitLogout(bool on) = 0;

  // The page's requests to `port` on this machine go out only while the gate
  // is open; a closed gate refuses them in the web process. Closed until
  // first opened.
  virtual void setBackendGate(int port, bool open) = 0;
};

} // namespace tarvo::platform
