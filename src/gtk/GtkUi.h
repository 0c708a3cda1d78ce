#pragma once

#include "gtk/ApplicationShell.h"
#include "gtk/Folders.h"
#include "gtk/MainWindow.h"
#include "gtk/MenuBarView.h"
#include "gtk/WebView.h"
#include "platform/Delegate.h"
#include "platform/Ui.h"

#include <memory>
#include <optional>
#include <string>

namespace tarvo::platform::gtk {

// The desktop as the shell sees it, on GTK 3 and WebKitGTK: carries out the
// Ui calls and routes menu items. No decision of the application lives here.
class GtkUi final : public Ui {
public:
  GtkUi(std::string applicationId, Folders folders);
  ~GtkUi() override;
  GtkUi(const GtkUi&) = delete;
  GtkUi& operator=(const GtkUi&) = delete;

  // The delegate is held weakly: it owns this Ui.
  void attach(std::weak_ptr<Delegate> delegate);
  [[nodiscard]] int run() { return shell_.run(); }

  void installMenuBar(const MenuBar& bar) override;
  void createWindow(const WindowSpec& spec) override;
  void createWebView() override;
  void presentWindow() override;
  void hideWindow() override;
  std::string shownURL() override;
  void load(const std::string& url, double timeoutSeconds, LoadMode mode) override;
  void showAlert(const Alert& alert, AlertDone done) override;
  void showSheet(const Alert& alert, AlertDone done) override;
  void openURL(const std::string& url) override;
  void terminate() override;
  void replyToApplicationShouldTerminate(bool quit) override;
  void inhibitLogout(bool on) override;

private:
  void perform(Action action);
  void showAbout();
  void buildMenuBar();
  void windowClosed();

  Folders folders_;
  ApplicationShell shell_;
  std::weak_ptr<Delegate> delegate_;
  std::optional<MenuBar> menus_;
  std::shared_ptr<MenuHandler> menuHandler_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<WebView> web_;
  int openSheets_ = 0;
};

} // namespace tarvo::platform::gtk
