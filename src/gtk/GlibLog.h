#pragma once

#include "platform/Log.h"

#include <functional>
#include <string_view>

namespace tarvo::gtk {

// Warnings go to GLib's log under the application's domain, so the journal
// has them; the service log's lines go wherever the process entry says.
class GlibLog final : public platform::Log {
public:
  using Sink = std::function<void(std::string_view)>;
  explicit GlibLog(Sink serviceLog) : serviceLog_(std::move(serviceLog)) {}

  void note(std::string_view line) override;
  void warn(std::string_view line) override;

  // The domain of every message of this application in GLib's log.
  static constexpr const char* domain = "tarvo-studio";

private:
  Sink serviceLog_;
};

} // namespace tarvo::gtk
