#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvo {

// What start() tells the user when the backend is not running.
struct StartTexts {
  // A server answers the port with our own name, yet our child does not run.
  [[nodiscard]] static std::string alreadyServing(int port);
  // A server of another name holds the port.
  [[nodiscard]] static std::string portHeld(int port, const std::string& reported);
  // A program that is not our child listens on the port, whatever it answers.
  [[nodiscard]] static std::string portTaken(int port);
  // The bundle has no backend.
  [[nodiscard]] static std::string incomplete();
  [[nodiscard]] static std::string needsPython();
  [[nodiscard]] static std::string couldNotStart(const std::string& description);
  [[nodiscard]] static std::string stoppedWhileStarting(const std::filesystem::path& log);
  // It stopped while starting, after it said that the port was taken: it
  // bound the port itself rather than serve on the socket it was handed.
  [[nodiscard]] static std::string boundItself(int port, const std::filesystem::path& log);
  // A process of the last backend's family did not end.
  [[nodiscard]] static std::string lastFamilyLeft(const std::filesystem::path& log);
  [[nodiscard]] static std::string noAnswerInTime(const std::filesystem::path& log);
  // The application is quitting: the start was called off.
  [[nodiscard]] static std::string quitting();
  // Why an authenticated call was not sent: our child does not hold the port.
  [[nodiscard]] static std::string_view notRunning();
};

} // namespace tarvo
