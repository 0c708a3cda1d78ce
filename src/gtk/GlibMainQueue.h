#pragma once

#include "platform/Queues.h"

namespace tarvo::gtk {

// The main queue on GLib's default main context, which the GTK application
// runs. Jobs become idle or timeout sources of that context; the source owns
// its job and frees it when the source goes, run or not.
class GlibMainQueue final : public platform::MainQueue {
public:
  void post(platform::Job job) override;
  void postAfter(double seconds, platform::Job job) override;
};

} // namespace tarvo::gtk
