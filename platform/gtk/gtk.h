// Start-up of the GTK backend, for its main().
#pragma once

namespace platform::gtk {

// Opens the display (when there is one) and makes the calling thread the UI thread. Without a
// display, message boxes go to standard error and no window can be created.
void Init(int* argc, char*** argv);

}  // namespace platform::gtk
