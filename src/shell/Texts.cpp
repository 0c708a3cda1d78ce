#include "shell/Texts.h"

#include "platform/Translate.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace tarvo {
namespace {

using platform::fill;
using platform::tr;
using platform::trn;

constexpr int firstButton = 0;
constexpr int secondButton = 1;
constexpr std::size_t namesShown = 4;

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (const auto& part : parts) {
    if (!out.empty()) {
      out += separator;
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
  return {tr("Tarvo Studio could not start"),
          message,
          {tr("Try Again"), tr("Open the Log"), tr("Quit")},
          firstButton};
}

std::string giveUpMessage(std::int64_t restarts, std::int32_t status, const std::string& logPath) {
  const auto count = static_cast<unsigned long>(std::max<std::int64_t>(restarts, 0));
  return fill(
      trn("Tarvo Studio's service stopped {restarts} times (last exit {status}). See {log}. "
          "Nothing was sent to Tarvo.",
          "Tarvo Studio's service stopped {restarts} times (last exit {status}). See {log}. "
          "Nothing was sent to Tarvo.",
          count),
      {{"restarts", std::to_string(restarts)},
       {"status", std::to_string(status)},
       {"log", logPath}});
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
  // The title is the application's name, in every language.
  return {"Tarvo Studio", message, {tr("OK")}, firstButton};
}

std::string startingLine() {
  return tr("Starting Tarvo Studio\u2026");
}

std::string restartingLine() {
  return tr("Restarting the service\u2026");
}

std::string restartingInLine(int seconds) {
  return fill(trn("Restarting the service in {seconds} second\u2026",
                  "Restarting the service in {seconds} seconds\u2026",
                  static_cast<unsigned long>(std::max(seconds, 0))),
              {{"seconds", std::to_string(seconds)}});
}

std::string pageReloadingLine() {
  return platform::tr("The page stopped; reloading it…");
}

platform::Alert noAnswerAlert() {
  return {tr("Tarvo Studio cannot tell what is running"),
          tr("Its own service did not answer, so whether a pipeline is in flight is unknown \u2014 "
             "not \u201cnothing\u201d. Quitting now would stop Studio following anything that is: "
             "Tarvo would keep running it, and the result would never be fetched or recorded."),
          {tr("Quit anyway"), tr("Stay open")},
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
    lines.push_back(
        fill(trn("{count} run(s) Studio is following", "{count} run(s) Studio is following",
                 static_cast<unsigned long>(busy.running)),
             {{"count", std::to_string(busy.running)}}));
  }
  if (busy.pending > 0) {
    lines.push_back(fill(trn("{count} call(s) waiting for your approval",
                             "{count} call(s) waiting for your approval",
                             static_cast<unsigned long>(busy.pending)),
                         {{"count", std::to_string(busy.pending)}}));
  }
  if (busy.chats > 0) {
    lines.push_back(fill(trn("{count} question(s) still being answered",
                             "{count} question(s) still being answered",
                             static_cast<unsigned long>(busy.chats)),
                         {{"count", std::to_string(busy.chats)}}));
  }
  // Byte order of UTF-8 text is the order of its code points.
  std::vector<std::string> names = busy.names;
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  if (names.size() > namesShown) {
    names.resize(namesShown);
  }

  // TRANSLATORS: between the items of a list, such as "2 run(s) Studio is
  // following, 1 call(s) waiting for your approval".
  const std::string separator = tr(", ");
  const std::string what = joined(lines, separator);
  // TRANSLATORS: {what} is the list of what is in flight, {names} the names
  // of the tools involved, separated like the list.
  std::string text = names.empty() ? fill(tr("{what}."), {{"what", what}})
                                   : fill(tr("{what} ({names})."),
                                          {{"what", what}, {"names", joined(names, separator)}});
  text += "\n\n";
  text += tr("Quitting does not stop a pipeline \u2014 Tarvo keeps running it \u2014 but Studio "
             "stops following it, so its result is never fetched, never verified and never "
             "written to the record. A call waiting for your approval is lost with the window.");
  return text;
}

platform::Alert inFlightAlert(const protocol::Busy& busy) {
  return {busy.running > 0 ? tr("A pipeline is running") : tr("Something is still in flight"),
          inFlightInformative(busy),
          {tr("Stay open"), tr("Quit anyway")},
          firstButton};
}

// Only "Quit anyway" itself quits: a sheet dismissed without a button
// (Escape, closed by the window manager) must not throw away work in flight.
bool quitsAfterInFlight(int response) {
  return response == secondButton;
}

} // namespace tarvo
