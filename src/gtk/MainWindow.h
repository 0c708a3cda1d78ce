#pragma once

#include "gtk/FrameAutosave.h"
#include "gtk/GObjectPtr.h"
#include "platform/Ui.h"

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace tarvo::gtk {

// The one main window: a menu bar and the status line above the find bar and
// the content. Closing hides it; it is never destroyed while the application
// runs. Its frame (and the page's zoom) is remembered under the autosave
// name, in the key file `autosaveFile`. While it is full screen, its own or
// the page's, the menu bar and the status line step aside.
class MainWindow {
public:
  MainWindow(GtkApplication* app, const platform::WindowSpec& spec,
             std::filesystem::path autosaveFile, std::function<void()> onClosed);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  [[nodiscard]] GtkWindow* window() const { return GTK_WINDOW(window_.get()); }

  void setMenuBar(GtkWidget* bar);
  void setContent(GtkWidget* content);
  // Below the menu bar.
  void setStatusView(GtkWidget* view);
  // Between the status line and the content.
  void setFindBar(GtkWidget* bar);

  void present();
  [[nodiscard]] bool visible() const;
  void iconify();
  void toggleZoom();
  void toggleFullScreen();
  // The page's zoom as it was remembered, and as it is now.
  [[nodiscard]] double zoom() const { return frame_.zoom; }
  void setZoom(double zoom);
  void close(); // as the close button: hide, then tell the owner
  void hide();  // off the screen, its frame kept; the owner is not told
  void saveFrame();

private:
  static gboolean onDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean onConfigure(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean onWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
  static gboolean onSaveDue(gpointer self);

  void restoreFrame(const platform::WindowSpec& spec);
  void captureFrame();
  void scheduleSave();
  [[nodiscard]] bool positionsKnown() const;

  GObjectPtr<GtkWidget> window_;
  GtkWidget* box_ = nullptr;     // owned by the window
  GtkWidget* chrome_ = nullptr;  // owned by the box: the menu bar and the status line
  GtkWidget* menuBar_ = nullptr; // owned by the chrome
  GtkWidget* status_ = nullptr;  // owned by the chrome
  GtkWidget* findBar_ = nullptr; // owned by the box
  GtkWidget* content_ = nullptr; // owned by the box
  std::function<void()> onClosed_;
  std::optional<FrameAutosave> autosave_;
  Frame frame_;
  bool frameKnown_ = false;
  bool maximized_ = false;
  bool fullScreen_ = false;
  guint saveSource_ = 0;
  int minWidth_ = 0;
  int minHeight_ = 0;
};

} // namespace tarvo::gtk
