#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::platform {

// A question of the page, shaped like its alert; with `text`, the dialog
// holds a text field filled with it.
struct PageDialog {
  std::string title;
  std::string message;
  std::vector<std::string> buttons; // in order
  int defaultButton = 0;            // answers Return
  std::optional<std::string> text;
};

// The button pressed (or -1: Escape, closed by the window manager or by the
// application) and what the text field held.
using PageDialogDone = std::function<void(int response, const std::string& text)>;

// A line in the status strip saying what happened, with at most one button.
// An empty text takes it away.
struct Notice {
  std::string text;
  std::string button;           // its title; empty for no button
  std::function<void()> action; // what the button does
};

// What the window does for the page. Every call is made on the main thread.
class PageUi {
public:
  virtual ~PageUi() = default;

  // Attached to the main window like an alert of the page; the page takes no
  // input meanwhile. `done` runs once.
  virtual void showPageDialog(const PageDialog& dialog, PageDialogDone done) = 0;
  // Every dialog of showPageDialog still open goes; each `done` runs with -1.
  virtual void closePageDialogs() = 0;

  // Shown while no line of the service's start is.
  virtual void showNotice(const Notice& notice) = 0;
  // The main window is on screen and has the keyboard.
  [[nodiscard]] virtual bool windowIsActive() = 0;
  // A desktop notification under the application's name and icon;
  // activating it brings the window back.
  virtual void notify(const std::string& text) = 0;

  // Every download under way stops; the engine writes no more.
  virtual void cancelDownloads() = 0;

  // The web inspector (Ctrl+Shift+I, "Inspect Element"), inside the window,
  // and the page's console messages reported to the delegate.
  virtual void enableDeveloperTools() = 0;
};

} // namespace tarvo::platform
