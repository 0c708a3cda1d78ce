#pragma once

#include "platform/Translate.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvo {

// What start() tells the user when the backend is not running: each text in
// the user's language, and in English for the log.
struct StartTexts {
  using Text = platform::LoggedText;

  // A server answers the port with our own name, yet our child does not run.
  [[nodiscard]] static Text alreadyServing(int port);
  // A server of another name holds the port.
  [[nodiscard]] static Text portHeld(int port, const std::string& reported);
  // A program that is not our child listens on the port, whatever it answers.
  [[nodiscard]] static Text portTaken(int port);
  // The bundle has no backend.
  [[nodiscard]] static Text incomplete();
  [[nodiscard]] static Text needsPython();
  [[nodiscard]] static Text couldNotStart(const std::string& description);
  [[nodiscard]] static Text stoppedWhileStarting(const std::filesystem::path& log);
  // It stopped while starting, after it said that the port was taken: it
  // bound the port itself rather than serve on the socket it was handed.
  [[nodiscard]] static Text boundItself(int port, const std::filesystem::path& log);
  // A process of the last backend's family did not end.
  [[nodiscard]] static Text lastFamilyLeft(const std::filesystem::path& log);
  [[nodiscard]] static Text noAnswerInTime(const std::filesystem::path& log);
  // The application is quitting: the start was called off.
  [[nodiscard]] static Text quitting();
  // Why an authenticated call was not sent: our child does not hold the port.
  // A reply to the caller of the call, not a text shown by the application.
  [[nodiscard]] static std::string_view notRunning();
};

} // namespace tarvo
