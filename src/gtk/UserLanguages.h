#pragma once

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

namespace tarvo::gtk {

// The user's languages as the locale gives them (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG), most wanted first, in the locale's own spelling
// ("de_DE", then "de"): `names` as g_get_language_names() lists them. The
// C and POSIX locales name no language.
[[nodiscard]] std::vector<std::string> userLanguages(const char* const* names);

// The page is asked for in the user's languages (Accept-Language), said
// before the first page loads, and its text fields are checked for spelling
// in them, which loads the dictionaries; in the C locale, English.
void askForUserLanguages(WebKitWebContext* context);
void checkSpellingInUserLanguages(WebKitWebContext* context);

} // namespace tarvo::gtk
