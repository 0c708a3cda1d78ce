#pragma once

#include <filesystem>
#include <string>

namespace tarvo {

// What start() tells the user when the backend is not running.
struct StartTexts {
  // A server answers the port with our own name, yet our child does not run.
  [[nodiscard]] static std::string alreadyServing(int port);
  // A server of another name holds the port.
  [[nodiscard]] static std::string portHeld(int port, const std::string& reported);
  // The bundle has no backend.
  [[nodiscard]] static std::string incomplete();
  [[nodiscard]] static std::string needsPython();
  [[nodiscard]] static std::string couldNotStart(const std::string& description);
  [[nodiscard]] static std::string stoppedWhileStarting(const std::filesystem::path& log);
  [[nodiscard]] static std::string noAnswerInTime(const std::filesystem::path& log);
  // The application is quitting: the start was called off.
  [[nodiscard]] static std::string quitting();
};

} // namespace tarvo
