#include "supervisor/KeeperWire.h"

#include <charconv>
#include <sstream>

namespace tarvo {
namespace {

template <typename Number> bool parse(std::string_view text, Number& value) {
  const char* last = text.data() + text.size();
  auto [end, error] = std::from_chars(text.data(), last, value);
  return error == std::errc() && end == last && !text.empty();
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> found;
  while (!line.empty()) {
    const std::size_t space = line.find(' ');
    found.push_back(line.substr(0, space));
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  }
  return found;
}

} // namespace

std::vector<std::string> KeeperWire::Options::arguments() const {
  std::vector<std::string> all = {log, std::to_string(maxLog),
                                  std::to_string(terminateGrace.count()),
                                  std::to_string(killGrace.count())};
  all.insert(all.end(), command.begin(), command.end());
  return all;
}

std::optional<KeeperWire::Options>
KeeperWire::Options::parse(const std::vector<std::string>& arguments) {
  constexpr std::size_t fixed = 4;
  Options options;
  std::int64_t terminate = 0;
  std::int64_t kill = 0;
  if (arguments.size() <= fixed || arguments[0].empty() ||
      !tarvo::parse(arguments[1], options.maxLog) || !tarvo::parse(arguments[2], terminate) ||
      !tarvo::parse(arguments[3], kill) || terminate < 0 || kill < 0) {
    return std::nullopt;
  }
  options.log = arguments[0];
  options.terminateGrace = std::chrono::milliseconds(terminate);
  options.killGrace = std::chrono::milliseconds(kill);
  options.command.assign(arguments.begin() + fixed, arguments.end());
  return options;
}

std::string KeeperWire::started(pid_t pid) {
  return "started " + std::to_string(pid) + "\n";
}

std::string KeeperWire::failed(int error) {
  return "failed " + std::to_string(error) + "\n";
}

std::string KeeperWire::exited(const ChildExit& exit, bool boundItself) {
  std::ostringstream line;
  line << "exited " << exit.status << ' ' << int(exit.signalled) << ' ' << int(exit.coreDumped)
       << ' ' << int(boundItself) << '\n';
  return line.str();
}

std::string KeeperWire::ended() {
  return "ended\n";
}

std::string KeeperWire::stop() {
  return "stop\n";
}

std::optional<KeeperWire::Report> KeeperWire::read(std::string_view line) {
  const std::vector<std::string_view> word = words(line);
  if (word.empty()) {
    return std::nullopt;
  }
  Report report;
  if (word[0] == "started" && word.size() == 2 && tarvo::parse(word[1], report.pid) &&
      report.pid > 0) {
    report.kind = Report::Kind::started;
    return report;
  }
  if (word[0] == "failed" && word.size() == 2 && tarvo::parse(word[1], report.error)) {
    report.kind = Report::Kind::failed;
    return report;
  }
  int signalled = 0;
  int core = 0;
  int bound = 0;
  if (word[0] == "exited" && word.size() == 5 && tarvo::parse(word[1], report.exit.status) &&
      tarvo::parse(word[2], signalled) && tarvo::parse(word[3], core) &&
      tarvo::parse(word[4], bound)) {
    report.kind = Report::Kind::exited;
    report.exit.signalled = signalled != 0;
    report.exit.coreDumped = core != 0;
    report.boundItself = bound != 0;
    return report;
  }
  if (word[0] == "ended" && word.size() == 1) {
    report.kind = Report::Kind::ended;
    return report;
  }
  return std::nullopt;
}

} // namespace tarvo
