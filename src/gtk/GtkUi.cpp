#include "gtk/GtkUi.h"

#include "gtk/Alerts.h"
#include "gtk/OpenUri.h"
#include "gtk/Sandbox.h"

#include <utility>

namespace tarvo::gtk {

GtkUi::GtkUi(std::string applicationId, Folders folders)
    : folders_(std::move(folders)), shell_(std::move(applicationId), folders_.icons),
      menuHandler_(
          std::make_shared<MenuHandler>([this](platform::Action action) { perform(action); })),
      keyHandler_(
          std::make_shared<std::function<void(PageKey)>>([this](PageKey key) { press(key); })),
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
  // A menu item or a key activated from here on finds nobody to call.
  *menuHandler_ = nullptr;
  *keyHandler_ = nullptr;
  if (web_) {
    g_signal_handlers_disconnect_by_data(web_->widget(), this);
  }
}

void GtkUi::attach(std::weak_ptr<platform::Delegate> delegate, std::shared_ptr<platform::Log> log) {
  delegate_ = delegate;
  log_ = std::move(log);
  shell_.setDelegate(std::move(delegate));
}

int GtkUi::run(int argc, char** argv, std::function<void()> launching) {
  return shell_.run(argc, argv, [this, launching = std::move(launching)] {
    // Tried while GTK starts up, so the first web process need not wait for
    // it; only by the first instance, once the command line is answered.
    sandboxProbe_ =
        std::async(std::launch::async | std::launch::deferred, webProcessSandboxMissing);
    if (launching) {
      launching();
    }
  });
}

void GtkUi::installMenuBar(const platform::MenuBar& bar) {
  menus_ = bar;
  installKeys();
  buildMenuBar();
}

// The bar lives in the window; menus installed before the window exists are
// kept until it does.
void GtkUi::buildMenuBar() {
  if (!menus_ || !window_) {
    return;
  }
  const char* name = g_get_application_name();
  window_->setMenuBar(gtk::buildMenuBar(*menus_, name != nullptr ? name : "", menuHandler_));
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
    pageReady();
  }
}

void GtkUi::createWebView() {
  if (web_) {
    return;
  }
  // Decided before WebKit starts its first web process, which it would
  // abort on a sandbox that fails.
  const std::optional<std::string> unsandboxed =
      sandboxProbe_.valid() ? sandboxProbe_.get() : webProcessSandboxMissing();
  if (unsandboxed && log_) {
    log_->note("the web process runs without its sandbox: " + *unsandboxed);
  }
  web_ = std::make_unique<WebView>(delegate_, folders_.webExtensions, !unsandboxed);
  web_->showNotificationsWith(notifications_);
  if (window_) {
    window_->setContent(web_->widget());
    pageReady();
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
  auto shown = std::make_shared<GtkWidget*>(nullptr);
  *shown = showDialog(alert, parent, true, [this, shown, done = std::move(done)](int response) {
    if (alert_.get() == *shown) {
      alert_.reset();
    }
    if (done) {
      done(response);
    }
  });
  alert_ = GObjectPtr<GtkWidget>::retain(*shown);
}

void GtkUi::updateAlert(const platform::Alert& alert) {
  if (alert_) {
    retextDialog(alert_.get(), alert);
  }
}

void GtkUi::closeAlert() {
  if (alert_) {
    closeDialog(alert_.get());
  }
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
