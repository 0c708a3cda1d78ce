#pragma once

#include <initializer_list>

namespace tarvo::keeper {

// The backend's family: every process below the keeper. The keeper adopts
// what the family orphans, so a process stays below it however it leaves its
// parent (a double fork, a session of its own), and nothing else is ever
// below it: ending the family touches no other process.
class Family {
public:
  // From now on orphans of the family become the keeper's children rather
  // than init's (or the session's). False when the system cannot do that;
  // then a process that leaves the family can outlive it.
  [[nodiscard]] static bool adoptOrphans();

  // Sends each signal in turn to every process below this one; the number
  // of processes reached. A process is signalled only while it is still
  // below this one, never a stranger that took a freed process id.
  static int signalAll(std::initializer_list<int> numbers);
};

} // namespace tarvo::keeper
