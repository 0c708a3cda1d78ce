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

// The page is asked for in the user's languages (Accept-Language), and its
// text fields are checked for spelling in them; in the C locale, English.
// Said before the first page loads. The spelling dictionaries are loaded
// only when `spelling` is called, once a text field of the page first has
// the focus.
void askForUserLanguages(WebKitWebContext* context);
void checkSpellingInUserLanguages(WebKitWebContext* context);

} // namespace tarvo::gtk
