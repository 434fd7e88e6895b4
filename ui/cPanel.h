// The base of the panels that the main window holds: a window with nothing of its own yet but
// a virtual destructor; each panel supplies its own message handling.
#pragma once

#include "ui/cWindow.h"

class cPanel : public cWindow {
public:
    ~cPanel() override = default;
};
