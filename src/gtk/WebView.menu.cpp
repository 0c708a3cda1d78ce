// The web view's context menu, as the delegate plans it: the engine's items
// it keeps, and an item that hands a link to the navigation policy.
#include "gtk/WebView.h"

#include <string>
#include <vector>

namespace tarvo::gtk {

namespace {

platform::PageCommand commandOf(WebKitContextMenuItem* item) {
  using platform::PageCommand;
  if (webkit_context_menu_item_is_separator(item) != FALSE) {
    return PageCommand::separator;
  }
  switch (webkit_context_menu_item_get_stock_action(item)) {
  case WEBKIT_CONTEXT_MENU_ACTION_CUT:
    return PageCommand::cut;
  case WEBKIT_CONTEXT_MENU_ACTION_COPY:
    return PageCommand::copy;
  case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
    return PageCommand::paste;
  case WEBKIT_CONTEXT_MENU_ACTION_DELETE:
    return PageCommand::deleteSelection;
  case WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL:
    return PageCommand::selectAll;
  case WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD:
    return PageCommand::copyLinkLocation;
  case WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_TO_CLIPBOARD:
    return PageCommand::copyImage;
  case WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_URL_TO_CLIPBOARD:
    return PageCommand::copyImageAddress;
  case WEBKIT_CONTEXT_MENU_ACTION_SPELLING_GUESS:
    return PageCommand::spellingGuess;
  case WEBKIT_CONTEXT_MENU_ACTION_NO_GUESSES_FOUND:
    return PageCommand::noGuessesFound;
  case WEBKIT_CONTEXT_MENU_ACTION_IGNORE_SPELLING:
    return PageCommand::ignoreSpelling;
  case WEBKIT_CONTEXT_MENU_ACTION_LEARN_SPELLING:
    return PageCommand::learnSpelling;
  case WEBKIT_CONTEXT_MENU_ACTION_INPUT_METHODS:
    return PageCommand::inputMethods;
  case WEBKIT_CONTEXT_MENU_ACTION_UNICODE:
    return PageCommand::unicode;
  case WEBKIT_CONTEXT_MENU_ACTION_INSERT_EMOJI:
    return PageCommand::insertEmoji;
  case WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT:
    return PageCommand::inspectElement;
  default:
    return PageCommand::other;
  }
}

struct BrowserLink {
  std::weak_ptr<platform::Delegate> delegate;
  platform::NavigationAction action;
};

// As a click on the link would be decided.
void openInBrowser(GSimpleAction* /*action*/, GVariant* /*parameter*/, gpointer data) {
  const auto* link = static_cast<BrowserLink*>(data);
  if (auto delegate = link->delegate.lock()) {
    [[maybe_unused]] const auto decision = delegate->decidePolicyForNavigationAction(link->action);
  }
}

void freeBrowserLink(gpointer data, GClosure* /*closure*/) {
  delete static_cast<BrowserLink*>(data);
}

} // namespace

gboolean WebView::onContextMenu(WebKitWebView* /*view*/, WebKitContextMenu* menu,
                                GdkEvent* /*event*/, WebKitHitTestResult* hit, gpointer self) {
  auto* me = static_cast<WebView*>(self);
  std::vector<WebKitContextMenuItem*> offered;
  platform::ContextMenuRequest request;
  for (GList* item = webkit_context_menu_get_items(menu); item != nullptr; item = item->next) {
    auto* entry = static_cast<WebKitContextMenuItem*>(item->data);
    offered.push_back(entry);
    request.items.push_back(commandOf(entry));
  }
  const char* link = webkit_hit_test_result_context_is_link(hit) != FALSE
                         ? webkit_hit_test_result_get_link_uri(hit)
                         : nullptr;
  request.linkURL = link != nullptr ? link : "";
  request.pageURL = me->uri();
  auto delegate = me->delegate_.lock();
  const auto plan = delegate ? delegate->contextMenu(request) : platform::ContextMenuPlan{};

  std::vector<GObjectPtr<WebKitContextMenuItem>> kept;
  for (const std::size_t index : plan.kept) {
    if (index < offered.size()) {
      kept.push_back(GObjectPtr<WebKitContextMenuItem>::retain(offered[index]));
    }
  }
  webkit_context_menu_remove_all(menu);
  if (!plan.browserLink.empty()) {
    platform::NavigationAction action;
    action.url = plan.browserLink;
    action.pageURL = request.pageURL;
    action.userGesture = true; // the user chose it
    auto simple = GObjectPtr<GSimpleAction>::adopt(g_simple_action_new("open-in-browser", nullptr));
    g_signal_connect_data(simple.get(), "activate", G_CALLBACK(openInBrowser),
                          new BrowserLink{me->delegate_, action}, freeBrowserLink,
                          GConnectFlags(0));
    webkit_context_menu_append(
        menu, webkit_context_menu_item_new_from_gaction(G_ACTION(simple.get()),
                                                        plan.browserTitle.c_str(), nullptr));
    if (!kept.empty()) {
      webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
    }
  }
  for (const auto& item : kept) {
    webkit_context_menu_append(menu, item.get());
  }
  // Nothing to offer: no menu at all.
  return webkit_context_menu_get_n_items(menu) == 0 ? TRUE : FALSE;
}

} // namespace tarvo::gtk
