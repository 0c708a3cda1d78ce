#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// The arguments of the version probe: the interpreter exits 0 exactly when it
// is 3.10 or later.
inline constexpr const char* probeCode =
    "import sys; sys.exit(0 if sys.version_info >= (3, 10) else 1)";

// How long a probe may run before it is killed and the search moves on.
inline constexpr std::chrono::milliseconds probeLimit{10000};

// Where an interpreter is looked for, in order: the one in the bundle's
// resources first (the path is joined as text, so no resources gives
// "/python/bin/python3"), then the system's usual places.
[[nodiscard]] std::vector<std::string> interpreterCandidates(const std::string& resources);

// The first candidate that is an executable file and passes the version probe,
// or nothing. A probe that outlives `limit` is killed and counts as a failure.
// What became of each executable candidate that did not pass is told to `note`.
[[nodiscard]] std::optional<std::string>
findInterpreter(const std::vector<std::string>& candidates,
                std::chrono::milliseconds limit = probeLimit,
                const std::function<void(std::string_view line)>& note = {});

} // namespace tarvo
