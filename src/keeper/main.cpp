// The keeper of the backend: started by the application for each launch of
// its backend (see supervisor/KeeperWire.h for how the two talk).
#include "keeper/Keeper.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  using tarvo::KeeperWire;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  auto options = KeeperWire::Options::parse(arguments);
  if (!options) {
    (void)std::fprintf(
        stderr,
        "usage: %s LOG MAX_LOG TERMINATE_GRACE_MS KILL_GRACE_MS EXECUTABLE [ARGUMENT...]\n"
        "(started by Tarvo Studio with the port as descriptor 3 and its channel as 4)\n",
        std::string(KeeperWire::program).c_str());
    return 2;
  }
  try {
    return tarvo::keeper::Keeper(std::move(*options)).run();
  } catch (const std::exception& failure) {
    (void)std::fprintf(stderr, "%s: %s\n", std::string(KeeperWire::program).c_str(),
                       failure.what());
    return 1;
  }
}
