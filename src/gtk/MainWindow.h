#pragma once

#include "gtk/FrameAutosave.h"
#include "gtk/GObjectPtr.h"
#include "platform/Ui.h"

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace tarvo::gtk {

// The one main window: a menu bar above the content. Closing hides it; it is
// never destroyed while the application runs. Its frame is remembered under
// the autosave name, in the key file `autosaveFile`.
class MainWindow {
public:
  MainWindow(GtkApplication* app, const platform::WindowSpec& spec,
             std::filesystem::path autosaveFile, std::function<void()> onClosed);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  [[nodiscard]] GtkWindow* window() const { return GTK_WINDOW(window_.get()); }
  [[nodiscard]] GtkAccelGroup* accelerators() const { return accelerators_.get(); }

  void setMenuBar(GtkWidget* bar);
  void setContent(GtkWidget* content);
  // Between the menu bar and the content.
  void setStatusView(GtkWidget* view);

  void present();
  [[nodiscard]] bool visible() const;
  void iconify();
  void toggleZoom();
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
  GObjectPtr<GtkAccelGroup> accelerators_;
  GtkWidget* box_ = nullptr;     // owned by the window
  GtkWidget* menuBar_ = nullptr; // owned by the box
  GtkWidget* content_ = nullptr; // owned by the box
  GtkWidget* status_ = nullptr;  // owned by the box
  std::function<void()> onClosed_;
  std::optional<FrameAutosave> autosave_;
  Frame frame_;
  bool frameKnown_ = false;
  bool maximized_ = false;
  guint saveSource_ = 0;
  int minWidth_ = 0;
  int minHeight_ = 0;
};

} // namespace tarvo::gtk
