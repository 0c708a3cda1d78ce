#pragma once

#include "platform/Ui.h"

#include <gtk/gtk.h>

#include <functional>

namespace tarvo::gtk {

// Shows an alert as a GtkMessageDialog and reports the button chosen (0, 1,
// 2, ... in the order given) or -1 for any other ending, exactly once, from
// the dialog's "response" signal; nothing ever blocks in a nested loop.
//
// modal: the dialog grabs the whole application (an application-modal
// alert). Otherwise it only stands above `parent` (a sheet); the owner
// decides what of the window it blocks meanwhile.
// `parent` may be null: the dialog is then centred on the screen.
// Returns the dialog, which lives until it is answered.
GtkWidget* showDialog(const platform::Alert& alert, GtkWindow* parent, bool modal,
                      platform::AlertDone done);

} // namespace tarvo::gtk
