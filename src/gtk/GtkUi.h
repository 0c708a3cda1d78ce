#pragma once

#include "gtk/Application.h"
#include "gtk/DesktopNotifications.h"
#include "gtk/FindBar.h"
#include "gtk/Folders.h"
#include "gtk/GObjectPtr.h"
#include "gtk/MainWindow.h"
#include "gtk/MenuBarView.h"
#include "gtk/PagePrinter.h"
#include "gtk/StatusView.h"
#include "gtk/WebView.h"
#include "gtk/ZoomLevel.h"
#include "platform/Delegate.h"
#include "platform/Log.h"
#include "platform/Ui.h"

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::gtk {

// The desktop as the shell sees it, on GTK 3 and WebKitGTK: carries out the
// Ui calls, routes menu items, and gives the page what a desktop's users
// expect of any window onto a page: zoom, find, print and full screen, on
// keys of their own (the menus stay as the shell lists them). No decision of
// the application lives here.
class GtkUi final : public platform::Ui {
public:
  GtkUi(std::string applicationId, Folders folders);
  ~GtkUi() override;
  GtkUi(const GtkUi&) = delete;
  GtkUi& operator=(const GtkUi&) = delete;

  // The delegate is held weakly: it owns this Ui. `log` hears what the
  // toolkit decided on its own (a web process without its sandbox).
  void attach(std::weak_ptr<platform::Delegate> delegate, std::shared_ptr<platform::Log> log);
  // Answers the command line, then, in the first instance only, calls
  // `launching` (which attaches the delegate) and runs the loop. The exit
  // status of the process.
  [[nodiscard]] int run(int argc, char** argv, std::function<void()> launching);

  void installMenuBar(const platform::MenuBar& bar) override;
  void createWindow(const platform::WindowSpec& spec) override;
  void createWebView() override;
  void presentWindow() override;
  void hideWindow() override;
  void load(const std::string& url, double timeoutSeconds) override;
  void showStatus(const std::string& line) override;
  void showAlert(const platform::Alert& alert, platform::AlertDone done) override;
  void updateAlert(const platform::Alert& alert) override;
  void closeAlert() override;
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
  // The keys that have no menu item.
  enum class PageKey { zoomIn, zoomOut, find, findNext, findPrevious, print, fullScreen, inspect };

  void perform(platform::Action action);
  void press(PageKey key);
  void installKeys();
  void installInspectorKey();
  void showAbout();
  void buildMenuBar();
  void windowClosed();
  // An alert attached to the window; the dialog, until it is answered.
  GtkWidget* sheet(const platform::Alert& alert, platform::AlertDone done);
  // Made when there is first something to say.
  StatusView* statusView();
  void pageReady();
  void zoomChanged();
  [[nodiscard]] GtkEditable* focusedEntry() const;
  static void editEntry(GtkEditable* entry, platform::Action action);
  static gboolean onScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);

  Folders folders_;
  std::shared_ptr<platform::Log> log_;
  Application shell_;
  std::weak_ptr<platform::Delegate> delegate_;
  std::optional<platform::MenuBar> menus_;
  std::shared_ptr<MenuHandler> menuHandler_;
  std::shared_ptr<std::function<void(PageKey)>> keyHandler_;
  bool keysInstalled_ = false;
  std::unique_ptr<MainWindow> window_;
  // Whether the web process's sandbox can start, tried while GTK starts up.
  std::future<std::optional<std::string>> sandboxProbe_;
  std::unique_ptr<WebView> web_;
  std::unique_ptr<StatusView> status_; // made when there is first something to say
  std::unique_ptr<FindBar> findBar_;   // made once the page is in its window
  PagePrinter printer_;
  ZoomLevel zoom_;
  GObjectPtr<GtkWidget> alert_; // the application-modal alert, until it is answered
  int openSheets_ = 0;
  std::shared_ptr<DesktopNotifications> notifications_;
  std::vector<GtkWidget*> pageDialogs_; // open, newest last
};

} // namespace tarvo::gtk
