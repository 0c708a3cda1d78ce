#pragma once

#include "supervisor/ChildExit.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// How the application and the keeper of its backend talk. The keeper is a
// small program of the bundle that launches the backend, holds every process
// the backend starts, carries the backend's output to the log, and ends the
// whole family when asked, when the backend dies, and when the application
// is gone.
//
// It is started in the backend's folder and environment, with the held port
// as descriptor 3 and one end of a stream socket (the channel) as descriptor
// 4, and with its options as arguments. On the channel it says, one line
// each: "started PID" or "failed ERRNO"; "exited STATUS SIGNALLED CORE BOUND"
// once the backend has exited; "ended" once every process of the family is
// gone, just before it exits itself. The application says "stop"; its end
// of the channel closing means that it is gone.
struct KeeperWire {
  static constexpr std::string_view program = "tarvo-studio-keeper";
  static constexpr int listener = 3;
  static constexpr int channel = 4;

  struct Options {
    std::string log;
    std::uintmax_t maxLog = 0;
    std::chrono::milliseconds terminateGrace{0};
    std::chrono::milliseconds killGrace{0};
    std::vector<std::string> command; // the backend's executable, then its arguments

    [[nodiscard]] std::vector<std::string> arguments() const;
    [[nodiscard]] static std::optional<Options> parse(const std::vector<std::string>& arguments);
  };

  struct Report {
    enum class Kind { started, failed, exited, ended };
    Kind kind = Kind::ended;
    pid_t pid = 0;            // started
    int error = 0;            // failed
    ChildExit exit;           // exited
    bool boundItself = false; // exited: its output said the port was taken
  };

  [[nodiscard]] static std::string started(pid_t pid);
  [[nodiscard]] static std::string failed(int error);
  [[nodiscard]] static std::string exited(const ChildExit& exit, bool boundItself);
  [[nodiscard]] static std::string ended();
  [[nodiscard]] static std::string stop();
  // One line without its line feed; nothing for a line it does not know.
  [[nodiscard]] static std::optional<Report> read(std::string_view line);

  // What a backend prints when it binds the port itself, which the
  // application holds (Python's text for EADDRINUSE, as most runtimes say it).
  static constexpr std::string_view addressInUse = "Address already in use";
};

} // namespace tarvo
