#include "shell/AppDelegate.h"

#include "shell/FileUrl.h"

#include <algorithm>
#include <cmath>

namespace tarvo {
namespace {

constexpr double stableAfterSeconds = 300;
constexpr double longestDelaySeconds = 8;
constexpr double pageTimeoutSeconds = 60;

// 0.5, 1, 2, 4, 8 seconds after the first to the fifth counted death.
double restartDelay(std::int64_t restarts) {
  return std::min(longestDelaySeconds, std::ldexp(0.5, static_cast<int>(restarts - 1)));
}

} // namespace

void AppDelegate::bringUp() {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  auto main = platform_.main;
  platform_.background->post([weak, main] {
    std::shared_ptr<Backend> service;
    if (auto self = weak.lock()) {
      service = self->service_;
    } else {
      return;
    }
    // The delegate is not kept alive while start() blocks.
    auto message = service->start();
    main->post([weak, message = std::move(message)] {
      auto self = weak.lock();
      if (!self) {
        return;
      }
      if (message) {
        self->fail(*message);
        return;
      }
      self->setLogoutInhibited(true);
      self->settle();
      self->reload();
    });
  });
}

// The health ping can take 1.7 seconds, so it runs on the background queue;
// the counter is cleared on the main thread, and only if no death was
// counted while the ping was out.
void AppDelegate::settle() {
  const std::int64_t taken = restarts_;
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform_.main->postAfter(stableAfterSeconds, [weak, taken] {
    if (auto self = weak.lock()) {
      self->checkStability(taken);
    }
  });
}

void AppDelegate::checkStability(std::int64_t taken) {
  if (restarts_ != taken) {
    return;
  }
  askAlive([taken](AppDelegate& self, bool alive) {
    if (alive && self.restarts_ == taken) {
      self.restarts_ = 0;
    }
  });
}

void AppDelegate::askAlive(std::function<void(AppDelegate& self, bool alive)> then) {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  auto main = platform_.main;
  platform_.background->post([weak, main, then = std::move(then)]() mutable {
    std::shared_ptr<Backend> service;
    if (auto self = weak.lock()) {
      service = self->service_;
    } else {
      return;
    }
    const bool alive = service->isAlive();
    main->post([weak, alive, then = std::move(then)] {
      if (auto self = weak.lock()) {
        then(*self, alive);
      }
    });
  });
}

void AppDelegate::reload() {
  if (auto url = service_->windowURL()) {
    platform_.ui->load(*url, pageTimeoutSeconds);
  }
}

void AppDelegate::serviceDied(std::int32_t status) {
  if (restarting_) {
    return;
  }
  setLogoutInhibited(false);
  restarting_ = true;
  ++restarts_;
  if (restarts_ > maxRestarts) {
    restarting_ = false;
    fail("Tarvo Studio's service stopped " + std::to_string(restarts_) + " times (last exit " +
         std::to_string(status) + "). " + "See " + service_->logPath() +
         ". Nothing was sent to Tarvo.");
    return;
  }
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform_.main->postAfter(restartDelay(restarts_), [weak] {
    if (auto self = weak.lock()) {
      self->restarting_ = false;
      self->bringUp();
    }
  });
}

void AppDelegate::fail(const std::string& message) {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform_.ui->showAlert(
      {"Tarvo Studio could not start", message, {"Try Again", "Open the Log", "Quit"}, 0},
      [weak, message](int response) {
        auto self = weak.lock();
        if (!self) {
          return;
        }
        if (response == 0) {
          self->bringUp();
        } else if (response == 1) {
          self->openLog();
          self->fail(message);
        } else {
          // The quit confirmation decides, as for any other request to quit.
          self->platform_.ui->terminate();
        }
      });
}

void AppDelegate::restartService() {
  service_->restart();
}

} // namespace tarvo
