#include "supervisor/ChildExit.h"

#include <csignal>

namespace tarvo {
namespace {

std::string signalName(int number) {
  switch (number) {
  case SIGHUP:
    return "SIGHUP";
  case SIGINT:
    return "SIGINT";
  case SIGQUIT:
    return "SIGQUIT";
  case SIGILL:
    return "SIGILL";
  case SIGTRAP:
    return "SIGTRAP";
  case SIGABRT:
    return "SIGABRT";
  case SIGBUS:
    return "SIGBUS";
  case SIGFPE:
    return "SIGFPE";
  case SIGKILL:
    return "SIGKILL";
  case SIGUSR1:
    return "SIGUSR1";
  case SIGSEGV:
    return "SIGSEGV";
  case SIGUSR2:
    return "SIGUSR2";
  case SIGPIPE:
    return "SIGPIPE";
  case SIGALRM:
    return "SIGALRM";
  case SIGTERM:
    return "SIGTERM";
  case SIGXCPU:
    return "SIGXCPU";
  case SIGXFSZ:
    return "SIGXFSZ";
  default:
    return "signal " + std::to_string(number);
  }
}

} // namespace

std::string ChildExit::describe() const {
  if (!signalled) {
    return "exit " + std::to_string(status);
  }
  return "killed by " + signalName(status) + (coreDumped ? " (core dumped)" : "");
}

} // namespace tarvo
