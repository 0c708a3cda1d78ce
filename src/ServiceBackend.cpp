#include "ServiceBackend.h"

#include "supervisor/Service.h"

#include <utility>

namespace tarvo {
namespace {

class ServiceBackend final : public Backend {
public:
  explicit ServiceBackend(std::shared_ptr<Service> service) : service_(std::move(service)) {}

  std::optional<std::string> start() override { return service_->start(); }
  void close() override { service_->close(); }
  void restart() override { service_->restart(); }
  bool isAlive() override { return service_->isAlive(); }
  bool isMine() override { return service_->isMine(); }
  bool hasAnswered() override { return service_->hasAnswered(); }
  std::optional<protocol::Busy> busy() override { return service_->busy(2.5); }
  std::optional<std::string> windowURL() override { return service_->windowURL(); }
  std::string logPath() override { return service_->logURL().string(); }
  std::string homePath() override { return service_->home().string(); }
  void setOnExit(std::function<void(std::int32_t)> onExit) override {
    service_->onExit = std::move(onExit);
  }

private:
  std::shared_ptr<Service> service_;
};

} // namespace

std::shared_ptr<Backend> backendFor(std::shared_ptr<Service> service) {
  return std::make_shared<ServiceBackend>(std::move(service));
}

} // namespace tarvo
