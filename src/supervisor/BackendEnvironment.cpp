#include "supervisor/BackendEnvironment.h"

#include <optional>

namespace tarvo {

namespace {

std::optional<std::string> valueOf(const std::vector<std::string>& environment,
                                   const std::string& name) {
  const std::string prefix = name + "=";
  for (const auto& entry : environment) {
    if (entry.compare(0, prefix.size(), prefix) == 0) {
      return entry.substr(prefix.size());
    }
  }
  return std::nullopt;
}

void setVariable(std::vector<std::string>& environment, const std::string& name,
                 const std::string& value) {
  const std::string prefix = name + "=";
  bool replaced = false;
  for (auto entry = environment.begin(); entry != environment.end();) {
    if (entry->compare(0, prefix.size(), prefix) != 0) {
      ++entry;
    } else if (!replaced) {
      *entry = prefix + value;
      replaced = true;
      ++entry;
    } else {
      entry = environment.erase(entry); // a duplicate could shadow ours for some readers
    }
  }
  if (!replaced) {
    environment.push_back(prefix + value);
  }
}

} // namespace

std::string plainPath(const std::filesystem::path& path) {
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') {
    text.pop_back();
  }
  return text;
}

std::vector<std::string> backendEnvironment(std::vector<std::string> inherited,
                                            const BackendPlaces& places, pid_t parent) {
  const std::string path = valueOf(inherited, "PATH").value_or("/usr/bin:/bin");
  setVariable(inherited, "PYTHONPATH", plainPath(places.serviceFolder));
  setVariable(inherited, "PYTHONUNBUFFERED", "1");
  setVariable(inherited, "TARVO_STUDIO_HOME", plainPath(places.home));
  setVariable(inherited, "TARVO_STUDIO_PARENT", std::to_string(parent));
  setVariable(inherited, "PYTHONPYCACHEPREFIX", plainPath(places.bytecodeCache / "pycache"));
  setVariable(inherited, "PATH",
              "/opt/homebrew/bin:/usr/local/bin:" + plainPath(places.userHome / ".local/bin") +
                  ":" + path);
  return inherited;
}

} // namespace tarvo
