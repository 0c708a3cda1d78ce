#pragma once

#include "shell/Backend.h"

#include <memory>

namespace tarvo {

class Service;

// The real supervisor behind the shell's seam: the one place where the shell
// meets the Service.
[[nodiscard]] std::shared_ptr<Backend> backendFor(std::shared_ptr<Service> service);

} // namespace tarvo
