#pragma once

#include "gtk/GObjectPtr.h"
#include "platform/Delegate.h"

#include <gtk/gtk.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tarvo::gtk {

// The GtkApplication and the application's life: the command line, start-up,
// a second launch (which comes back here as "activate"), and the one road to
// the end. Every request to quit (the menu, Ui::terminate, SIGTERM, SIGINT,
// SIGHUP, the session ending) asks the delegate first, and only its answer
// ends the loop.
//
// The command line is answered before anything else: --version and --help
// (and a mistake) need neither a display nor a session bus, and start
// nothing. GTK's own options (--display and the like) are accepted.
class Application {
public:
  struct Hooks {
    std::function<bool()> windowVisible; // for a second launch
    std::function<GtkWindow*()> window;  // for the logout inhibitor
    std::function<void()> shuttingDown;  // the loop is about to end
  };

  // `icons` is searched for the application's icon before the desktop's theme.
  explicit Application(std::string id, std::filesystem::path icons = {});
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  void setDelegate(std::weak_ptr<platform::Delegate> delegate) { delegate_ = std::move(delegate); }
  void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

  // Answers the command line; then runs the loop in the first instance,
  // calling `launching` once it is known to be the first (before GTK starts
  // up), while a later launch hands over to the running one and returns.
  // The exit status of the process.
  [[nodiscard]] int run(int argc, char** argv, std::function<void()> launching = {});

  [[nodiscard]] GtkApplication* application() const { return app_.get(); }

  // SIGTERM, SIGINT and SIGHUP become requests to quit, from the main loop.
  // (SIGQUIT keeps its default, an immediate end with a core dump: the
  // backend dies with the application and never gets it from a terminal.)
  void watchQuitSignals();

  void requestQuit();
  void replyToTerminate(bool quit);
  void inhibitLogout(bool on);

  // Set once the delegate has allowed the end; the loop is then ending.
  [[nodiscard]] bool quitting() const { return quitting_; }

private:
  void finishQuit();

  static gint onLocalOptions(GApplication* app, GVariantDict* options, gpointer self);
  static void onStartup(GApplication* app, gpointer self);
  static void onActivate(GApplication* app, gpointer self);
  static void onQueryEnd(GtkApplication* app, gpointer self);
  static void onShutdown(GApplication* app, gpointer self);
  static gboolean onQuitSignal(gpointer self);

  std::string id_;
  std::filesystem::path icons_;
  GObjectPtr<GtkApplication> app_;
  std::weak_ptr<platform::Delegate> delegate_;
  Hooks hooks_;
  std::function<void()> launching_;
  std::string versionHelp_; // read by --help
  bool launched_ = false;
  bool awaitingReply_ = false;
  bool quitting_ = false;
  guint inhibitor_ = 0;
  std::array<guint, 3> quitSignals_{};
};

} // namespace tarvo::gtk
