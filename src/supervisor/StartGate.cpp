#include "supervisor/StartGate.h"

#include "supervisor/StartTexts.h"

#include <exception>

namespace tarvo {

StartGate::Result StartGate::run(const std::function<Result()>& start, const Holds& holds) {
  for (;;) {
    std::promise<Result> outcome;
    std::shared_future<Result> pending;
    {
      std::lock_guard guard(mutex_);
      if (inFlight_.valid()) {
        pending = inFlight_;
        ++waiting_;
      } else {
        inFlight_ = outcome.get_future().share();
      }
    }
    if (pending.valid()) {
      Result joined = pending.get();
      {
        std::lock_guard guard(mutex_);
        --waiting_;
      }
      if (holds(joined)) {
        return joined;
      }
      continue; // undone since: this caller's start is still owed
    }

    Result result;
    try {
      result = start();
    } catch (const std::exception& failure) {
      result = StartTexts::couldNotStart(failure.what()).shown;
    } catch (...) {
      result = StartTexts::couldNotStart("unknown error").shown;
    }
    {
      std::lock_guard guard(mutex_);
      inFlight_ = {};
    }
    outcome.set_value(result);
    return result;
  }
}

int StartGate::waiting() const {
  std::lock_guard guard(mutex_);
  return waiting_;
}

} // namespace tarvo
