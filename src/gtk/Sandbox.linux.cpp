#include "gtk/Sandbox.h"

#include "gtk/GlibPtr.h"

#include <glib.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace tarvo::gtk {

namespace {

bool onPath(const char* program) {
  const GCharPtr found(g_find_program_in_path(program));
  return found != nullptr;
}

// Tried in a child of our own, so this process keeps its namespaces. The
// child makes only system calls, as a child of a threaded process must.
bool userNamespaceAllowed() {
  const pid_t child = fork();
  if (child < 0) {
    return false;
  }
  if (child == 0) {
    _exit(unshare(CLONE_NEWUSER) == 0 ? 0 : 1);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool webProcessSandboxCanStart() {
  return onPath("bwrap") && onPath("xdg-dbus-proxy") && userNamespaceAllowed();
}

} // namespace tarvo::gtk
