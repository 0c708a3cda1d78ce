#include "supervisor/StartTexts.h"

namespace tarvo {
using platform::trLogged;

StartTexts::Text StartTexts::alreadyServing(int port) {
  return trLogged("Something is already serving on 127.0.0.1:{port} and this app did not start "
                  "it. Tarvo Studio will not attach to a service it did not start, because that "
                  "service would be handed this install's token. Quit the other copy (or the "
                  "leftover `python3 -m app serve`), then try again.",
                  {{"port", std::to_string(port)}});
}

StartTexts::Text StartTexts::portHeld(int port, const std::string& reported) {
  return trLogged("Port {port} is held by \u201C{name}\u201D, which is not Tarvo Studio. Free the "
                  "port and try again.",
                  {{"port", std::to_string(port)}, {"name", reported}});
}

StartTexts::Text StartTexts::portTaken(int port) {
  return trLogged("Port {port} is held by another program, which is not Tarvo Studio's service. "
                  "Tarvo Studio will not hand it this install's token. Quit that program or free "
                  "the port, then try again.",
                  {{"port", std::to_string(port)}});
}

StartTexts::Text StartTexts::incomplete() {
  return trLogged("This copy of Tarvo Studio is incomplete (its service is missing). Reinstall it "
                  "from its package, or run make install again: an installation whose files were "
                  "replaced in place can be left without its service, or with files of another "
                  "version mixed in.");
}

StartTexts::Text StartTexts::needsPython() {
  return trLogged("Tarvo Studio needs Python 3.10 or later.");
}

StartTexts::Text StartTexts::couldNotStart(const std::string& description) {
  return trLogged("The service could not start: {reason}", {{"reason", description}});
}

StartTexts::Text StartTexts::stoppedWhileStarting(const std::filesystem::path& log) {
  return trLogged("The service stopped while starting. See {log}.", {{"log", log.string()}});
}

StartTexts::Text StartTexts::boundItself(int port, const std::filesystem::path& log) {
  return trLogged("The service could not start: it tried to open port {port} itself, which Tarvo "
                  "Studio holds for it. A service must serve on the listening socket it is handed "
                  "(descriptor 3, with LISTEN_FDS=1 and LISTEN_PID set to its own process id). "
                  "Reinstall Tarvo Studio, or update its service to do so, then try again. See "
                  "{log}.",
                  {{"port", std::to_string(port)}, {"log", log.string()}});
}

StartTexts::Text StartTexts::lastFamilyLeft(const std::filesystem::path& log) {
  return trLogged("A process that the last run of the service started did not end, so no new run "
                  "was started beside it. Try again; if this keeps happening, see {log}.",
                  {{"log", log.string()}});
}

StartTexts::Text StartTexts::noAnswerInTime(const std::filesystem::path& log) {
  return trLogged("The service did not answer in time. See {log}.", {{"log", log.string()}});
}

StartTexts::Text StartTexts::quitting() {
  return trLogged("Tarvo Studio is quitting.");
}

std::string_view StartTexts::notRunning() {
  return "Tarvo Studio's service is not running, so nothing was sent.";
}

} // namespace tarvo
