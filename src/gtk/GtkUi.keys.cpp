// The application's keys, and what the page gets beside the menus: zoom,
// find, print and full screen. Every key is an accelerator of the
// application, not of a menu item: GTK fires a menu item's key only while
// its menu bar is shown, and in full screen the bar steps aside.
#include "gtk/GtkUi.h"

#include "gtk/UserLanguages.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace tarvo::gtk {

namespace {

using Run = std::function<void()>;

void onActionActivate(GSimpleAction* /*action*/, GVariant* /*parameter*/, gpointer data) {
  const Run run = *static_cast<const Run*>(data); // a copy, in case the action goes meanwhile
  if (run) {
    run();
  }
}

void freeRun(gpointer data, GClosure* /*closure*/) {
  delete static_cast<Run*>(data);
}

// An action of the application named `name`, fired by each of `keys`.
void addAction(GtkApplication* app, const std::string& name, Run run,
               std::initializer_list<const char*> keys) {
  GSimpleAction* action = g_simple_action_new(name.c_str(), nullptr);
  g_signal_connect_data(action, "activate", G_CALLBACK(onActionActivate), new Run(std::move(run)),
                        freeRun, GConnectFlags(0));
  g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(action));
  g_object_unref(action);
  std::vector<const char*> accelerators(keys);
  accelerators.push_back(nullptr);
  gtk_application_set_accels_for_action(app, ("app." + name).c_str(), accelerators.data());
}

} // namespace

void GtkUi::installKeys() {
  if (keysInstalled_ || !menus_) {
    return;
  }
  keysInstalled_ = true;
  GtkApplication* app = shell_.application();
  for (const auto& menu : *menus_) {
    for (const auto& item : menu.items) {
      const std::string key = acceleratorOf(item);
      if (key.empty()) {
        continue;
      }
      addAction(app, "menu-" + std::to_string(static_cast<int>(item.action)),
                [handler = menuHandler_, action = item.action] {
                  if (*handler) {
                    (*handler)(action);
                  }
                },
                {key.c_str()});
    }
  }
  auto page = [handler = keyHandler_](PageKey key) {
    return [handler, key] {
      if (*handler) {
        (*handler)(key);
      }
    };
  };
  // Control with +, = (the same key unshifted) or the keypad's +; there is
  // no key back to 100 %: Control+0 is Window > Tarvo Studio.
  addAction(app, "zoom-in", page(PageKey::zoomIn),
            {"<Control>plus", "<Control>equal", "<Control>KP_Add"});
  addAction(app, "zoom-out", page(PageKey::zoomOut), {"<Control>minus", "<Control>KP_Subtract"});
  addAction(app, "find", page(PageKey::find), {"<Control>f"});
  addAction(app, "find-next", page(PageKey::findNext), {"<Control>g"});
  addAction(app, "find-previous", page(PageKey::findPrevious), {"<Control><Shift>g"});
  addAction(app, "print", page(PageKey::print), {"<Control>p"});
  addAction(app, "full-screen", page(PageKey::fullScreen), {"F11"});
}

// Ctrl+Shift+I, in developer mode only: a key, never an item of the menus.
void GtkUi::installInspectorKey() {
  addAction(shell_.application(), "inspect",
            [handler = keyHandler_] {
              if (*handler) {
                (*handler)(PageKey::inspect);
              }
            },
            {"<Control><Shift>i"});
}

void GtkUi::press(PageKey key) {
  if (!window_ || !web_ || !findBar_) {
    return; // nothing to act on before the page is in its window
  }
  switch (key) {
  case PageKey::zoomIn:
    if (zoom_.in()) {
      zoomChanged();
    }
    return;
  case PageKey::zoomOut:
    if (zoom_.out()) {
      zoomChanged();
    }
    return;
  case PageKey::find:
    findBar_->open();
    return;
  case PageKey::findNext:
    findBar_->next();
    return;
  case PageKey::findPrevious:
    findBar_->previous();
    return;
  case PageKey::print:
    printer_.print(WEBKIT_WEB_VIEW(web_->widget()), window_->window());
    return;
  case PageKey::fullScreen:
    window_->toggleFullScreen();
    return;
  case PageKey::inspect:
    web_->showInspector();
    return;
  }
}

// The window and its page both exist: the find bar goes between them, and
// the page takes the zoom it had when the window was last closed.
void GtkUi::pageReady() {
  if (findBar_) {
    return;
  }
  findBar_ = std::make_unique<FindBar>(WEBKIT_WEB_VIEW(web_->widget()));
  window_->setFindBar(findBar_->widget());
  zoom_ = ZoomLevel::nearest(window_->zoom());
  webkit_web_view_set_zoom_level(WEBKIT_WEB_VIEW(web_->widget()), zoom_.factor());
  g_signal_connect(web_->widget(), "scroll-event", G_CALLBACK(onScroll), this);
  checkSpellingInUserLanguages(webkit_web_view_get_context(WEBKIT_WEB_VIEW(web_->widget())));
}

void GtkUi::zoomChanged() {
  webkit_web_view_set_zoom_level(WEBKIT_WEB_VIEW(web_->widget()), zoom_.factor());
  window_->setZoom(zoom_.factor());
}

// Before the page scrolls: a wheel or a touchpad with Control held zooms.
gboolean GtkUi::onScroll(GtkWidget* /*widget*/, GdkEventScroll* event, gpointer self) {
  if ((event->state & gtk_accelerator_get_default_mod_mask()) != GDK_CONTROL_MASK) {
    return FALSE;
  }
  auto* me = static_cast<GtkUi*>(self);
  bool changed = false;
  switch (event->direction) {
  case GDK_SCROLL_UP:
    changed = me->zoom_.scroll(-1.0);
    break;
  case GDK_SCROLL_DOWN:
    changed = me->zoom_.scroll(1.0);
    break;
  case GDK_SCROLL_SMOOTH:
    changed = me->zoom_.scroll(event->delta_y);
    break;
  case GDK_SCROLL_LEFT:
  case GDK_SCROLL_RIGHT:
    return FALSE;
  }
  if (changed) {
    me->zoomChanged();
  }
  return TRUE;
}

// The find bar's text field, when it has the focus: the Edit keys then work
// on it rather than on the page.
GtkEditable* GtkUi::focusedEntry() const {
  if (!window_) {
    return nullptr;
  }
  GtkWidget* focus = gtk_window_get_focus(window_->window());
  return focus != nullptr && GTK_IS_EDITABLE(focus) ? GTK_EDITABLE(focus) : nullptr;
}

} // namespace tarvo::gtk
