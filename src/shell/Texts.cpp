#include "shell/Texts.h"

#include "platform/Translate.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace tarvo {
namespace {

constexpr int firstButton = 0;
constexpr int secondButton = 1;
constexpr std::size_t namesShown = 4;

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& part : parts) {
    if (!out.empty()) {
      out += ", ";
    }
    out += part;
  }
  return out;
}

// Puts `value` where `name` stands in a translated sentence.
std::string filled(std::string text, std::string_view name, std::string_view value) {
  const auto at = text.find(name);
  if (at != std::string::npos) {
    text.replace(at, name.size(), value);
  }
  return text;
}

} // namespace

platform::Alert couldNotStartAlert(const std::string& message) {
  return {
      "Tarvo Studio could not start", message, {"Try Again", "Open the Log", "Quit"}, firstButton};
}

std::string giveUpMessage(std::int64_t restarts, std::int32_t status, const std::string& logPath) {
  return "Tarvo Studio's service stopped " + std::to_string(restarts) + " times (last exit " +
         std::to_string(status) + "). " + "See " + logPath + ". Nothing was sent to Tarvo.";
}

std::string pageDidNotLoadMessage(int seconds, const std::string& logPath) {
  const auto count = static_cast<unsigned long>(seconds);
  return filled(filled(platform::trn("Tarvo Studio's service answers, but its page did not load "
                                     "within {seconds} second. See {log}.",
                                     "Tarvo Studio's service answers, but its page did not load "
                                     "within {seconds} seconds. See {log}.",
                                     count),
                       "{seconds}", std::to_string(seconds)),
                "{log}", logPath);
}

platform::Alert pageStoppedAlert() {
  return {platform::tr("Tarvo Studio's page keeps stopping"),
          platform::tr("Its page stopped again and again within a minute, so it is no longer "
                       "reloaded by itself. Reload it to try once more, or quit Tarvo Studio."),
          {platform::tr("Reload"), platform::tr("Quit")},
          firstButton};
}

platform::Alert pageAlert(const std::string& message) {
  return {"Tarvo Studio", message, {"OK"}, firstButton};
}

std::string startingLine() {
  return "Starting Tarvo Studio\u2026";
}

std::string restartingLine() {
  return "Restarting the service\u2026";
}

std::string restartingInLine(int seconds) {
  return "Restarting the service in " + std::to_string(seconds) +
         (seconds == 1 ? " second\u2026" : " seconds\u2026");
}

std::string pageReloadingLine() {
  return platform::tr("The page stopped; reloading it…");
}

platform::Alert noAnswerAlert() {
  return {"Tarvo Studio cannot tell what is running",
          "Its own service did not answer, so whether a pipeline is in flight is unknown \u2014 "
          "not \u201cnothing\u201d. Quitting now would stop Studio following anything that is: "
          "Tarvo would keep running it, and the result would never be fetched or recorded.",
          {"Quit anyway", "Stay open"},
          firstButton};
}

bool quitsAfterNoAnswer(int response) {
  return response == firstButton;
}

bool hasWorkInFlight(const protocol::Busy& busy) {
  return busy.running > 0 || busy.pending > 0 || busy.chats > 0;
}

std::string inFlightInformative(const protocol::Busy& busy) {
  std::vector<std::string> lines;
  if (busy.running > 0) {
    lines.push_back(std::to_string(busy.running) + " run(s) Studio is following");
  }
  if (busy.pending > 0) {
    lines.push_back(std::to_string(busy.pending) + " call(s) waiting for your approval");
  }
  if (busy.chats > 0) {
    lines.push_back(std::to_string(busy.chats) + " question(s) still being answered");
  }
  // Byte order of UTF-8 text is the order of its code points.
  std::vector<std::string> names = busy.names;
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  if (names.size() > namesShown) {
    names.resize(namesShown);
  }

  std::string text = joined(lines);
  if (!names.empty()) {
    text += " (" + joined(names) + ")";
  }
  text += ".\n\n";
  // clang-format off
  text += "Quitting does not stop a pipeline \u2014 Tarvo keeps running it \u2014 but Studio stops following it, so its ";
  text += "result is never fetched, never verified and never written to the record. A call waiting for your ";
  text += "approval is lost with the window.";
  // clang-format on
  return text;
}

platform::Alert inFlightAlert(const protocol::Busy& busy) {
  return {busy.running > 0 ? "A pipeline is running" : "Something is still in flight",
          inFlightInformative(busy),
          {"Stay open", "Quit anyway"},
          firstButton};
}

// Only "Quit anyway" itself quits: a sheet dismissed without a button
// (Escape, closed by the window manager) must not throw away work in flight.
bool quitsAfterInFlight(int response) {
  return response == secondButton;
}

} // namespace tarvo
