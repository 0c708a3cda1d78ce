#include "shell/PageTexts.h"

#include "platform/Translate.h"
#include "shell/Texts.h"

#include <string_view>
#include <utility>
#include <vector>

namespace tarvo {
namespace {

constexpr int okButton = 1; // after "Cancel"

// The sentence with each "{key}" replaced by its value, in one pass, so a
// value that holds braces is never read as a placeholder.
std::string filled(std::string_view text,
                   const std::vector<std::pair<std::string_view, std::string>>& values) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('{', i);
    const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
    if (close == std::string_view::npos) {
      break;
    }
    out.append(text.substr(i, open - i));
    const std::string_view key = text.substr(open + 1, close - open - 1);
    bool known = false;
    for (const auto& [name, value] : values) {
      if (name == key) {
        out += value;
        known = true;
      }
    }
    if (!known) {
      out.append(text.substr(open, close + 1 - open));
    }
    i = close + 1;
  }
  out.append(text.substr(i));
  return out;
}

// A question of the page, with the title and look of its alert.
platform::PageDialog likeTheAlert(const std::string& message, std::vector<std::string> buttons,
                                  int defaultButton) {
  const auto alert = pageAlert(message);
  return {alert.message, alert.informative, std::move(buttons), defaultButton, {}};
}

} // namespace

std::string savedText(const std::string& name, const std::string& folder) {
  return filled(platform::tr("Saved \u201c{name}\u201d in {folder}."),
                {{"name", name}, {"folder", folder}});
}

std::string notSavedText(const std::string& name, const std::string& reason) {
  return filled(platform::tr("Could not save \u201c{name}\u201d: {reason}."),
                {{"name", name}, {"reason", reason}});
}

std::string openFolderButton() {
  return platform::tr("Open the Folder");
}

std::string noFreeNameReason() {
  return platform::tr("every name like it is taken");
}

std::string openLinkInBrowserTitle() {
  return platform::tr("Open Link in Browser");
}

platform::PageDialog confirmDialog(const std::string& message) {
  return likeTheAlert(message, {platform::tr("Cancel"), platform::tr("OK")}, okButton);
}

platform::PageDialog promptDialog(const std::string& message, const std::string& text) {
  auto dialog = confirmDialog(message);
  dialog.text = text;
  return dialog;
}

platform::PageDialog alertDialog(const std::string& message) {
  const auto alert = pageAlert(message);
  return likeTheAlert(message, alert.buttons, alert.defaultButton);
}

bool answeredOk(int response) {
  return response == okButton;
}

} // namespace tarvo
