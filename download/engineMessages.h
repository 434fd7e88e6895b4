// How the engine tells the user about a failure: a warning box through the engine's host
// (shown by the UI thread while the calling thread waits), and for fatal failures the end of
// the process with the error number as exit code (the host's way, or the system's without one).
#pragma once

void ShowEngineWarning(const char* text);
[[noreturn]] void ExitWithEngineError(const char* text, int exitCode);
