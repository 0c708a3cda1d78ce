#pragma once

#include "platform/PageDelegate.h"

namespace tarvo {

// The web view's context menu keeps the one-window rule: only editing,
// copying, spelling and input-method items stay (and "Inspect Element" for
// a developer); nothing opens, saves or navigates. A link that leaves the
// backend gets "Open Link in Browser", which the navigation policy carries
// out as it does a click. Separators stay only between items that stay.
[[nodiscard]] platform::ContextMenuPlan contextMenuPlan(const platform::ContextMenuRequest& request,
                                                        bool developer);

} // namespace tarvo
