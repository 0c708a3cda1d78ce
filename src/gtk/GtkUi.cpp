#include "gtk/GtkUi.h"

#include "gtk/Alerts.h"
#include "gtk/OpenUri.h"
#include "gtk/Sandbox.h"

#include <utility>

namespace tarvo::gtk {

GtkUi::GtkUi(std::string applicationId, Folders folders, std::shared_ptr<platform::Log> log)
    : folders_(std::move(folders)), log_(std::move(log)),
      shell_(std::move(applicationId), folders_.icons),
      menuHandler_(
          std::make_shared<MenuHandler>([this](platform::Action action) { perform(action); })),
      sandboxProbe_(
          std::async(std::launch::async | std::launch::deferred, webProcessSandboxMissing)),
      notifications_(DesktopNotifications::make(
          g_get_application_name() != nullptr ? g_get_application_name() : "", TARVO_APP_ID)) {
  shell_.setHooks({
      [this] { return window_ && window_->visible(); },
      [this]() -> GtkWindow* { return window_ ? window_->window() : nullptr; },
      [this] {
        if (window_) {
          window_->saveFrame();
        }
      },
  });
}

GtkUi::~GtkUi() {
  // A menu item activated from here on finds nobody to call.
  *menuHandler_ = nullptr;
}

void GtkUi::attach(std::weak_ptr<platform::Delegate> delegate) {
  delegate_ = delegate;
  shell_.setDelegate(std::move(delegate));
}

void GtkUi::installMenuBar(const platform::MenuBar& bar) {
  menus_ = bar;
  buildMenuBar();
}

// The bar lives in the window; menus installed before the window exists are
// kept until it does.
void GtkUi::buildMenuBar() {
  if (!menus_ || !window_) {
    return;
  }
  const char* name = g_get_application_name();
  window_->setMenuBar(gtk::buildMenuBar(*menus_, window_->accelerators(),
                                        name != nullptr ? name : "", menuHandler_));
}

void GtkUi::createWindow(const platform::WindowSpec& spec) {
  if (window_) {
    return; // one window for the life of the process
  }
  window_ = std::make_unique<MainWindow>(shell_.application(), spec,
                                         FrameAutosave::fileIn(folders_.state),
                                         [this] { windowClosed(); });
  buildMenuBar();
  if (web_) {
    window_->setContent(web_->widget());
  }
}

void GtkUi::createWebView() {
  if (web_) {
    return;
  }
  // Decided before WebKit starts its first web process, which it would
  // abort on a sandbox that fails.
  const std::optional<std::string> unsandboxed = sandboxProbe_.get();
  if (unsandboxed && log_) {
    log_->note("the web process runs without its sandbox: " + *unsandboxed);
  }
  web_ = std::make_unique<WebView>(delegate_, folders_.webExtensions, !unsandboxed);
  web_->showNotificationsWith(notifications_);
  if (window_) {
    window_->setContent(web_->widget());
  }
}

void GtkUi::presentWindow() {
  if (window_) {
    window_->present();
  }
}

// Every window of ours goes, its dialogs too, and the display server is told
// now: the caller is about to block the main loop that would tell it later.
// Told, not waited for: a display server that does not answer must not hold
// up the quit.
void GtkUi::hideWindow() {
  if (window_) {
    window_->hide();
  }
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    gtk_widget_hide(GTK_WIDGET(item->data));
  }
  g_list_free(toplevels);
  if (GdkDisplay* display = gdk_display_get_default()) {
    gdk_display_flush(display);
  }
}

void GtkUi::load(const std::string& url, double timeoutSeconds) {
  if (web_) {
    web_->load(url, timeoutSeconds);
  }
}

// A launch that never has anything to say never builds the view.
void GtkUi::showStatus(const std::string& line) {
  if (!status_ && line.empty()) {
    return;
  }
  if (auto* view = statusView()) {
    view->show(line);
  }
}

StatusView* GtkUi::statusView() {
  if (!status_ && window_) {
    status_ = std::make_unique<StatusView>(TARVO_APP_ID);
    window_->setStatusView(status_->widget());
  }
  return status_.get();
}

void GtkUi::showAlert(const platform::Alert& alert, platform::AlertDone done) {
  GtkWindow* parent = window_ && window_->visible() ? window_->window() : nullptr;
  showDialog(alert, parent, true, std::move(done));
}

// A sheet belongs to the window: the window comes back if it was closed, its
// page takes no input while the sheet stands, and the menus stay usable.
void GtkUi::showSheet(const platform::Alert& alert, platform::AlertDone done) {
  sheet(alert, std::move(done));
}

GtkWidget* GtkUi::sheet(const platform::Alert& alert, platform::AlertDone done) {
  if (!window_) {
    return showDialog(alert, nullptr, true, std::move(done));
  }
  if (!window_->visible()) {
    window_->present();
  }
  if (web_ && openSheets_++ == 0) {
    web_->setBlocked(true);
  }
  return showDialog(alert, window_->window(), false, [this, done = std::move(done)](int response) {
    if (web_ && --openSheets_ == 0) {
      web_->setBlocked(false);
    }
    if (done) {
      done(response);
    }
  });
}

void GtkUi::openURL(const std::string& url) {
  openUri(url);
}

void GtkUi::terminate() {
  shell_.requestQuit();
}

void GtkUi::replyToApplicationShouldTerminate(bool quit) {
  shell_.replyToTerminate(quit);
}

void GtkUi::inhibitLogout(bool on) {
  shell_.inhibitLogout(on);
}

void GtkUi::setBackendGate(int port, bool open) {
  if (web_) {
    web_->setBackendGate(port, open);
  }
}

void GtkUi::windowClosed() {
  auto delegate = delegate_.lock();
  if (delegate && delegate->applicationShouldTerminateAfterLastWindowClosed()) {
    shell_.requestQuit();
  }
}

} // namespace tarvo::gtk
