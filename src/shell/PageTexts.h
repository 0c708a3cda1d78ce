#pragma once

#include "platform/PageUi.h"

#include <string>

namespace tarvo {

// The texts the window shows for what the page asked of it, each a whole
// sentence in the user's language.

// "Saved “report (1).csv” in Downloads."
[[nodiscard]] std::string savedText(const std::string& name, const std::string& folder);
// "Could not save “report.csv”: <reason>."
[[nodiscard]] std::string notSavedText(const std::string& name, const std::string& reason);
// The notice's button that opens the download folder.
[[nodiscard]] std::string openFolderButton();
// Why a download could not be given a name in the folder.
[[nodiscard]] std::string noFreeNameReason();

// The context menu's item for a link that leaves the backend.
[[nodiscard]] std::string openLinkInBrowserTitle();

// confirm() and prompt() of the page: titled as its alert, "Cancel" and
// "OK", OK the default; the prompt holds `text`.
[[nodiscard]] platform::PageDialog confirmDialog(const std::string& message);
[[nodiscard]] platform::PageDialog promptDialog(const std::string& message,
                                                const std::string& text);
// The page's alert, one "OK".
[[nodiscard]] platform::PageDialog alertDialog(const std::string& message);
// Which answer of confirmDialog/promptDialog is OK.
[[nodiscard]] bool answeredOk(int response);

} // namespace tarvo
