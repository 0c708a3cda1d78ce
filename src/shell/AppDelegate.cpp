#include "shell/AppDelegate.h"

#include "shell/FileUrl.h"
#include "shell/MainMenu.h"

#include <utility>

namespace tarvo {

std::shared_ptr<AppDelegate> AppDelegate::make(std::shared_ptr<Backend> service,
                                               Platform platform) {
  return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(service), std::move(platform)));
}

AppDelegate::AppDelegate(std::shared_ptr<Backend> service, Platform platform)
    : service_(std::move(service)), platform_(std::move(platform)) {}

void AppDelegate::applicationDidFinishLaunching() {
  // Keeping the session from ending silently follows the backend: it is
  // switched on once a start succeeds and off when the backend goes away.
  platform_.ui->installMenuBar(MainMenu::bar());
  platform_.ui->createWindow({"Tarvo Studio", 1100, 740, 820, 540, "TarvoStudioMain"});
  platform_.ui->createWebView();
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  service_->setOnExit([weak](std::int32_t status) {
    if (auto self = weak.lock()) {
      self->serviceDied(status);
    }
  });
  platform_.ui->presentWindow();
  bringUp();
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() {
  return false;
}

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
  platform_.ui->presentWindow();
  return true;
}

void AppDelegate::showWindow() {
  platform_.ui->presentWindow();
}

void AppDelegate::applicationWillTerminate() {
  service_->stop();
  setLogoutInhibited(false);
}

void AppDelegate::openLog() {
  platform_.ui->openURL(fileURL(service_->logPath()));
}

void AppDelegate::openHome() {
  platform_.ui->openURL(fileURL(service_->homePath()));
}

void AppDelegate::setLogoutInhibited(bool on) {
  if (on != logoutInhibited_) {
    logoutInhibited_ = on;
    platform_.ui->inhibitLogout(on);
  }
}

} // namespace tarvo
