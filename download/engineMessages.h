// How the engine tells the user about a failure: a warning box through the application object
// (shown by the UI thread while the calling thread waits), and for fatal failures the end of
// the process with the error number as exit code.
#pragma once

void ShowEngineWarning(const char* text);
[[noreturn]] void ExitWithEngineError(const char* text, int exitCode);
