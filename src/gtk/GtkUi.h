#pragma once

#include "gtk/Application.h"
#include "gtk/DesktopNotifications.h"
#include "gtk/Folders.h"
#include "gtk/MainWindow.h"
#include "gtk/MenuBarView.h"
#include "gtk/StatusView.h"
#include "gtk/WebView.h"
#include "platform/Delegate.h"
#include "platform/Log.h"
#include "platform/Ui.h"

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::gtk {

// The desktop as the shell sees it, on GTK 3 and WebKitGTK: carries out the
// Ui calls and routes menu items. No decision of the application lives here.
class GtkUi final : public platform::Ui {
public:
  GtkUi(std::string applicationId, Folders folders, std::shared_ptr<platform::Log> log);
  ~GtkUi() override;
  GtkUi(const GtkUi&) = delete;
  GtkUi& operator=(const GtkUi&) = delete;

  // The delegate is held weakly: it owns this Ui.
  void attach(std::weak_ptr<platform::Delegate> delegate);
  [[nodiscard]] int run() { return shell_.run(); }

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

  // platform::PageUi (GtkUi.page.cpp)
  void showPageDialog(const platform::PageDialog& dialog, platform::PageDialogDone done) override;
  void closePageDialogs() override;
  void showNotice(const platform::Notice& notice) override;
  bool windowIsActive() override;
  void notify(const std::string& text) override;
  void cancelDownloads() override;
  void enableDeveloperTools() override;

private:
  void perform(platform::Action action);
  void showAbout();
  void buildMenuBar();
  void windowClosed();
  // An alert attached to the window; the dialog, until it is answered.
  GtkWidget* sheet(const platform::Alert& alert, platform::AlertDone done);
  // Made when there is first something to say.
  StatusView* statusView();
  static gboolean onInspectKey(GtkAccelGroup* group, GObject* window, guint key,
                               GdkModifierType modifiers, gpointer self);

  Folders folders_;
  std::shared_ptr<platform::Log> log_;
  Application shell_;
  std::weak_ptr<platform::Delegate> delegate_;
  std::optional<platform::MenuBar> menus_;
  std::shared_ptr<MenuHandler> menuHandler_;
  std::unique_ptr<MainWindow> window_;
  // Whether the web process's sandbox can start, tried while GTK starts up.
  std::future<std::optional<std::string>> sandboxProbe_;
  std::unique_ptr<WebView> web_;
  std::unique_ptr<StatusView> status_; // made when there is first something to say
  int openSheets_ = 0;
  std::shared_ptr<DesktopNotifications> notifications_;
  std::vector<GtkWidget*> pageDialogs_; // open, newest last
};

} // namespace tarvo::gtk
