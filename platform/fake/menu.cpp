// The pop-up menu of the fake backend: answers the scripted choice and records what it showed.
#include "platform/menu.h"
#include "platform/fake/state.h"

namespace platform {

using fake::state;

namespace fake {

void ScriptMenu(int choice, std::function<void()> meanwhile) {
    std::lock_guard lock(state().mutex);
    state().menuChoice = choice;
    state().whileMenuIsOpen = std::move(meanwhile);
}

std::vector<MenuCall> Menus() {
    std::lock_guard lock(state().mutex);
    return state().menus;
}

}  // namespace fake

int ShowPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y) {
    std::function<void()> meanwhile;
    int choice = 0;
    {
        std::lock_guard lock(state().mutex);
        state().menus.push_back({owner, items, x, y});
        meanwhile = state().whileMenuIsOpen;
        choice = state().menuChoice;
    }
    if (meanwhile) {
        meanwhile();
    }
    return choice;
}

}  // namespace platform
