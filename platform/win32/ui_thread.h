// The Windows backend's user-interface thread: the thread that calls StartUiThread runs the
// windows, the message loop and everything that workers hand to InvokeOnUiThread.
#pragma once

namespace platform::win32 {

// Makes the calling thread the UI thread. Called once, before any window or worker exists.
void StartUiThread();

}  // namespace platform::win32
