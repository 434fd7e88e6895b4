// The system's own pop-up menu: a column of radio items that the user picks one of.
#pragma once

#include <string>
#include <vector>

#include "platform/ui.h"

namespace platform {

struct MenuItem {
    // Non-zero; what ShowPopupMenu answers when the item is chosen.
    int id;
    // In the documents' code page.
    std::string text;
    // Shown as the choice in force (a radio mark).
    bool checked;
};

// Shows the menu for `owner` with its top left corner at the screen point (x, y) and waits
// until the user chooses an item or dismisses the menu (a click elsewhere, Escape). The wait
// serves the UI thread as WaitOnUiThread does. Answers the chosen item's id, 0 when none.
int ShowPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y);

}  // namespace platform
