#include "shell/ContextMenuPolicy.h"

#include "shell/NavigationPolicy.h"
#include "shell/PageTexts.h"

namespace tarvo {
namespace {

bool stays(platform::PageCommand command, bool developer) {
  using platform::PageCommand;
  switch (command) {
  case PageCommand::cut:
  case PageCommand::copy:
  case PageCommand::paste:
  case PageCommand::deleteSelection:
  case PageCommand::selectAll:
  case PageCommand::copyLinkLocation:
  case PageCommand::copyImage:
  case PageCommand::copyImageAddress:
  case PageCommand::spellingGuess:
  case PageCommand::noGuessesFound:
  case PageCommand::ignoreSpelling:
  case PageCommand::learnSpelling:
  case PageCommand::inputMethods:
  case PageCommand::unicode:
  case PageCommand::insertEmoji:
    return true;
  case PageCommand::inspectElement:
    return developer;
  case PageCommand::separator:
  case PageCommand::other:
    return false;
  }
  return false;
}

} // namespace

platform::ContextMenuPlan contextMenuPlan(const platform::ContextMenuRequest& request,
                                          bool developer) {
  platform::ContextMenuPlan plan;
  bool separatorDue = false;
  for (std::size_t i = 0; i < request.items.size(); ++i) {
    const auto command = request.items[i];
    if (command == platform::PageCommand::separator) {
      separatorDue = !plan.kept.empty();
    } else if (stays(command, developer)) {
      if (separatorDue) {
        // The separator itself, just before this item.
        for (std::size_t back = i; back-- > 0;) {
          if (request.items[back] == platform::PageCommand::separator) {
            plan.kept.push_back(back);
            break;
          }
        }
        separatorDue = false;
      }
      plan.kept.push_back(i);
    }
  }
  if (!request.linkURL.empty() &&
      NavigationPolicy::decide(request.linkURL) == NavigationPolicy::Decision::openInBrowser) {
    plan.browserLink = request.linkURL;
    plan.browserTitle = openLinkInBrowserTitle();
  }
  return plan;
}

} // namespace tarvo
