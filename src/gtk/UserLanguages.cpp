#include "gtk/UserLanguages.h"

#include <algorithm>
#include <cstring>

namespace tarvo::gtk {

namespace {

// A plain list that WebKit reads as a NULL-ended array of strings.
class Strings {
public:
  explicit Strings(const std::vector<std::string>& values) {
    for (const auto& value : values) {
      pointers_.push_back(value.c_str());
    }
    pointers_.push_back(nullptr);
  }
  [[nodiscard]] const char* const* data() const { return pointers_.data(); }

private:
  std::vector<const char*> pointers_;
};

// The C and POSIX locales name no language: they are English.
std::vector<std::string> current() {
  std::vector<std::string> languages = userLanguages(g_get_language_names());
  if (languages.empty()) {
    languages.emplace_back("en_US");
  }
  return languages;
}

} // namespace

std::vector<std::string> userLanguages(const char* const* names) {
  std::vector<std::string> languages;
  for (const char* const* name = names; name != nullptr && *name != nullptr; ++name) {
    std::string language(*name);
    language = language.substr(0, language.find_first_of(".@"));
    if (language.empty() || language == "C" || language == "POSIX") {
      continue;
    }
    if (std::find(languages.begin(), languages.end(), language) == languages.end()) {
      languages.push_back(language);
    }
  }
  return languages;
}

void askForUserLanguages(WebKitWebContext* context) {
  std::vector<std::string> tags = current();
  for (auto& tag : tags) {
    std::replace(tag.begin(), tag.end(), '_', '-');
  }
  webkit_web_context_set_preferred_languages(context, Strings(tags).data());
}

void checkSpellingInUserLanguages(WebKitWebContext* context) {
  const std::vector<std::string> languages = current();
  webkit_web_context_set_spell_checking_languages(context, Strings(languages).data());
  webkit_web_context_set_spell_checking_enabled(context, TRUE);
}

} // namespace tarvo::gtk
