// Launches `sleep 600` through ChildProcess from a thread that ends at once,
// writes the child's process id to the file named by its argument, then
// waits to be killed. The child does not watch its parent.
#include "supervisor/ChildProcess.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 2) {
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::shared_ptr<tarvo::ChildProcess> child;
  std::thread([&child] {
    child =
        tarvo::ChildProcess::create({"/bin/sleep", {"600"}, std::nullopt, std::nullopt, -1, -1});
    if (child->launch()) {
      child.reset();
    }
  }).join();
  if (!child) {
    return 1;
  }
  {
    std::ofstream pid(out.string() + ".tmp");
    pid << child->pid();
  }
  std::filesystem::rename(out.string() + ".tmp", out);
  for (;;) {
    ::pause();
  }
}
