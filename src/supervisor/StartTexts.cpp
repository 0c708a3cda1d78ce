#include "supervisor/StartTexts.h"

#include "platform/Translate.h"

#include <initializer_list>
#include <utility>

namespace tarvo {
namespace {

// A translated sentence with its placeholders filled in.
std::string filled(std::string text,
                   std::initializer_list<std::pair<std::string_view, std::string>> values) {
  for (const auto& [placeholder, value] : values) {
    const std::size_t at = text.find(placeholder);
    if (at != std::string::npos) {
      text.replace(at, placeholder.size(), value);
    }
  }
  return text;
}

} // namespace

std::string StartTexts::alreadyServing(int port) {
  // clang-format off
  return std::string("Something is already serving on 127.0.0.1:") + std::to_string(port) +
         " and this app did not start it. " +
         "Tarvo Studio will not attach to a service it did not start, because that service would be " +
         "handed this install's token. Quit the other copy (or the leftover `python3 -m app serve`), " +
         "then try again.";
  // clang-format on
}

std::string StartTexts::portHeld(int port, const std::string& reported) {
  return "Port " + std::to_string(port) + " is held by \u201C" + reported +
         "\u201D, which is not Tarvo Studio. Free the port and try again.";
}

std::string StartTexts::portTaken(int port) {
  return "Port " + std::to_string(port) +
         " is held by another program, which is not Tarvo Studio's service. Tarvo Studio will "
         "not hand it this install's token. Quit that program or free the port, then try again.";
}

std::string StartTexts::incomplete() {
  return "This copy of Tarvo Studio is incomplete (its service is missing). Reinstall it from "
         "its package, or run make install again: an installation whose files were replaced in "
         "place can be left without its service, or with files of another version mixed in.";
}

std::string StartTexts::needsPython() {
  return "Tarvo Studio needs Python 3.10 or later.";
}

std::string StartTexts::couldNotStart(const std::string& description) {
  return "The service could not start: " + description;
}

std::string StartTexts::stoppedWhileStarting(const std::filesystem::path& log) {
  return "The service stopped while starting. See " + log.string() + ".";
}

std::string StartTexts::boundItself(int port, const std::filesystem::path& log) {
  return filled(platform::tr("The service could not start: it tried to open port {port} itself, "
                             "which Tarvo Studio holds for it. A service must serve on the "
                             "listening socket it is handed (descriptor 3, with LISTEN_FDS=1 and "
                             "LISTEN_PID set to its own process id). Reinstall Tarvo Studio, or "
                             "update its service to do so, then try again. See {log}."),
                {{"{port}", std::to_string(port)}, {"{log}", log.string()}});
}

std::string StartTexts::lastFamilyLeft(const std::filesystem::path& log) {
  return filled(platform::tr("A process that the last run of the service started did not end, "
                             "so no new run was started beside it. Try again; if this keeps "
                             "happening, see {log}."),
                {{"{log}", log.string()}});
}

std::string StartTexts::noAnswerInTime(const std::filesystem::path& log) {
  return "The service did not answer in time. See " + log.string() + ".";
}

std::string StartTexts::quitting() {
  return "Tarvo Studio is quitting.";
}

std::string_view StartTexts::notRunning() {
  return "Tarvo Studio's service is not running, so nothing was sent.";
}

} // namespace tarvo
