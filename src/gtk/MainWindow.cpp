#include "gtk/MainWindow.h"

#include "gtk/FocusOnMap.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <utility>

namespace tarvo::gtk {

namespace {

// Frame changes come in bursts while the user drags; write once it settles.
constexpr guint saveDelayMs = 500;

// A remembered position counts only if a usable part of the window's top
// edge would land on a monitor that is connected now.
bool reachable(const Frame& frame) {
  if (!frame.x || !frame.y) {
    return false;
  }
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) {
    return false;
  }
  const GdkRectangle top{*frame.x, *frame.y, frame.width, 48};
  for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
    GdkRectangle area{};
    gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &area);
    GdkRectangle overlap{};
    if (gdk_rectangle_intersect(&top, &area, &overlap) && overlap.width >= 64 &&
        overlap.height >= 24) {
      return true;
    }
  }
  return false;
}

} // namespace

MainWindow::MainWindow(GtkApplication* app, const platform::WindowSpec& spec,
                       std::filesystem::path autosaveFile, std::function<void()> onClosed)
    : window_(GObjectPtr<GtkWidget>::retain(gtk_application_window_new(app))),
      onClosed_(std::move(onClosed)), minWidth_(spec.minWidth), minHeight_(spec.minHeight) {
  GtkWindow* win = window();
  gtk_window_set_title(win, spec.title.c_str());
  // No GMenu-based bar from the application: ours is a real GtkMenuBar.
  gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(win), FALSE);

  GdkGeometry limits{};
  limits.min_width = spec.minWidth;
  limits.min_height = spec.minHeight;
  gtk_window_set_geometry_hints(win, nullptr, &limits, GDK_HINT_MIN_SIZE);

  box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(win), box_);
  gtk_widget_show(box_);
  chrome_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box_), chrome_, FALSE, FALSE, 0);
  gtk_widget_show(chrome_);

  if (!spec.autosaveName.empty()) {
    autosave_.emplace(std::move(autosaveFile), spec.autosaveName);
  }
  restoreFrame(spec);

  focusWhenMapped(win);
  g_signal_connect(win, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(win, "configure-event", G_CALLBACK(onConfigure), this);
  g_signal_connect(win, "window-state-event", G_CALLBACK(onWindowState), this);
}

MainWindow::~MainWindow() {
  if (saveSource_ != 0) {
    g_source_remove(saveSource_);
  }
  g_signal_handlers_disconnect_by_data(window_.get(), this);
}

// Centred at the default size first; a frame remembered by an earlier run
// then takes its place.
void MainWindow::restoreFrame(const platform::WindowSpec& spec) {
  GtkWindow* win = window();
  gtk_window_set_default_size(win, spec.width, spec.height);
  gtk_window_set_position(win, GTK_WIN_POS_CENTER);
  frame_ = Frame{spec.width, spec.height, {}, {}, false, 1.0};

  const auto saved = autosave_ ? autosave_->load() : std::nullopt;
  if (!saved) {
    return;
  }
  frame_.zoom = saved->zoom;
  frame_.width = std::max(saved->width, spec.minWidth);
  frame_.height = std::max(saved->height, spec.minHeight);
  gtk_window_set_default_size(win, frame_.width, frame_.height);
  frameKnown_ = true;
  if (!positionsKnown()) {
    // Wayland neither tells nor takes a position: the one an X11 session
    // remembered is kept for the next such session, not dropped.
    frame_.x = saved->x;
    frame_.y = saved->y;
  } else if (reachable(*saved)) {
    frame_.x = saved->x;
    frame_.y = saved->y;
    gtk_window_set_position(win, GTK_WIN_POS_NONE);
    gtk_window_move(win, *saved->x, *saved->y);
  }
  if (saved->maximized) {
    gtk_window_maximize(win);
  }
}

bool MainWindow::positionsKnown() const {
  // Only X11 lets a client learn and choose where its window sits.
  return GDK_IS_X11_DISPLAY(gtk_widget_get_display(window_.get()));
}

void MainWindow::setMenuBar(GtkWidget* bar) {
  if (menuBar_ != nullptr) {
    gtk_widget_destroy(menuBar_);
  }
  menuBar_ = bar;
  gtk_box_pack_start(GTK_BOX(chrome_), bar, FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(chrome_), bar, 0);
  gtk_widget_show_all(bar);
}

void MainWindow::setContent(GtkWidget* content) {
  if (content_ != nullptr) {
    gtk_widget_destroy(content_);
  }
  content_ = content;
  gtk_box_pack_end(GTK_BOX(box_), content, TRUE, TRUE, 0);
  gtk_widget_show(content);
  gtk_widget_grab_focus(content);
}

void MainWindow::setStatusView(GtkWidget* view) {
  if (status_ != nullptr) {
    gtk_container_remove(GTK_CONTAINER(chrome_), status_);
  }
  status_ = view;
  gtk_box_pack_end(GTK_BOX(chrome_), view, FALSE, FALSE, 0);
}

void MainWindow::setFindBar(GtkWidget* bar) {
  if (findBar_ != nullptr) {
    gtk_container_remove(GTK_CONTAINER(box_), findBar_);
  }
  findBar_ = bar;
  gtk_box_pack_start(GTK_BOX(box_), bar, FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(box_), bar, 1); // below the chrome
}

void MainWindow::present() {
  GtkWindow* win = window();
  // Shown again where it was hidden, not wherever the window manager likes.
  if (!gtk_widget_get_visible(window_.get()) && positionsKnown() && frame_.x && frame_.y &&
      !maximized_) {
    gtk_window_move(win, *frame_.x, *frame_.y);
  }
  gtk_window_present(win);
}

bool MainWindow::visible() const {
  return gtk_widget_get_visible(window_.get()) != FALSE;
}

void MainWindow::iconify() {
  gtk_window_iconify(window());
}

void MainWindow::toggleZoom() {
  if (gtk_window_is_maximized(window())) {
    gtk_window_unmaximize(window());
  } else {
    gtk_window_maximize(window());
  }
}

void MainWindow::toggleFullScreen() {
  if (fullScreen_) {
    gtk_window_unfullscreen(window());
  } else {
    gtk_window_fullscreen(window());
  }
}

void MainWindow::setZoom(double zoom) {
  if (zoom != frame_.zoom) {
    frame_.zoom = zoom;
    scheduleSave();
  }
}

void MainWindow::close() {
  if (!visible()) {
    return;
  }
  captureFrame();
  gtk_widget_hide(window_.get());
  saveFrame();
  if (onClosed_) {
    onClosed_();
  }
}

void MainWindow::hide() {
  if (!visible()) {
    return;
  }
  captureFrame();
  gtk_widget_hide(window_.get());
  saveFrame();
}

gboolean MainWindow::onDelete(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer self) {
  static_cast<MainWindow*>(self)->close();
  return TRUE; // never destroyed: the same window and page come back
}

gboolean MainWindow::onConfigure(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer self) {
  static_cast<MainWindow*>(self)->scheduleSave();
  return FALSE;
}

gboolean MainWindow::onWindowState(GtkWidget* /*widget*/, GdkEventWindowState* event,
                                   gpointer self) {
  auto* me = static_cast<MainWindow*>(self);
  me->maximized_ = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  // The page's full screen is the window's too: WebKit makes it so.
  me->fullScreen_ = (event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
  gtk_widget_set_visible(me->chrome_, me->fullScreen_ ? FALSE : TRUE);
  me->scheduleSave();
  return FALSE;
}

void MainWindow::scheduleSave() {
  if (!autosave_) {
    return;
  }
  if (saveSource_ != 0) {
    g_source_remove(saveSource_);
  }
  saveSource_ = g_timeout_add(saveDelayMs, onSaveDue, this);
}

gboolean MainWindow::onSaveDue(gpointer self) {
  auto* me = static_cast<MainWindow*>(self);
  me->saveSource_ = 0;
  me->saveFrame();
  return G_SOURCE_REMOVE;
}

// The normal (unmaximised) frame is what is remembered; a maximised window
// keeps the size it had before and a flag.
void MainWindow::captureFrame() {
  if (!gtk_widget_get_visible(window_.get()) || !gtk_widget_get_realized(window_.get())) {
    return;
  }
  GtkWindow* win = window();
  const GdkWindowState state = gdk_window_get_state(gtk_widget_get_window(window_.get()));
  maximized_ = (state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  frame_.maximized = maximized_;
  if (maximized_ || (state & (GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_ICONIFIED)) != 0) {
    return;
  }
  int width = 0;
  int height = 0;
  gtk_window_get_size(win, &width, &height);
  if (width > 0 && height > 0) {
    frame_.width = std::max(width, minWidth_);
    frame_.height = std::max(height, minHeight_);
    frameKnown_ = true;
  }
  if (positionsKnown()) {
    int x = 0;
    int y = 0;
    gtk_window_get_position(win, &x, &y);
    frame_.x = x;
    frame_.y = y;
  }
}

void MainWindow::saveFrame() {
  if (saveSource_ != 0) {
    g_source_remove(saveSource_);
    saveSource_ = 0;
  }
  captureFrame();
  if (autosave_ && frameKnown_) {
    autosave_->save(frame_);
  }
}

} // namespace tarvo::gtk
