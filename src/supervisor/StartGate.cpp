#include "supervisor/StartGate.h"

#include "supervisor/StartTexts.h"

#include <exception>

namespace tarvo {

StartGate::Result StartGate::run(const std::function<Result()>& start) {
  std::promise<Result> outcome;
  std::shared_future<Result> pending;
  {
    std::lock_guard guard(mutex_);
    if (inFlight_.valid()) {
      pending = inFlight_;
    } else {
      inFlight_ = outcome.get_future().share();
    }
  }
  if (pending.valid()) {
    return pending.get();
  }

  Result result;
  try {
    result = start();
  } catch (const std::exception& failure) {
    result = StartTexts::couldNotStart(failure.what());
  } catch (...) {
    result = StartTexts::couldNotStart("unknown error");
  }
  {
    std::lock_guard guard(mutex_);
    inFlight_ = {};
  }
  outcome.set_value(result);
  return result;
}

} // namespace tarvo
