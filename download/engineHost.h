// What the engine asks of the program that runs it. The application object implements this and
// hands itself over at its start (SetEngineHost); the headless driver and the engine's tests
// have their own. The engine never sees a window object: completion goes to a native handle.
#pragma once

#include <string>

#include "platform/ui.h"

class cEngineHost {
public:
    // A message box owned by the main window when there is one; returns the answer.
    virtual int ShowMessage(const char* text, unsigned style) = 0;
    // Ends the process after a fatal engine failure, with `exitCode`.
    [[noreturn]] virtual void EndOnFatalError(int exitCode) = 0;
    // The file `name` in the work folder (the transfer log, the records of a run).
    virtual std::string WorkFilePath(const char* name) const = 0;
    // The folder file.json is read from; null when there is none.
    virtual const char* ResourceFolder() const = 0;
    // The download folder, in the core's paths.
    virtual const char* DownloadFolder() const = 0;
    // Remembers the launch file of a completed run: its path and its listed SHA-256.
    virtual void RecordLaunchFile(const char* path, const char* sha256) = 0;
    // The window told of completion (called on the UI thread); null in a headless run.
    virtual platform::WindowHandle CompletionWindow() const = 0;

protected:
    ~cEngineHost() = default;
};

// Null until a host is handed over, and after it is taken back with null.
cEngineHost* EngineHost();
void SetEngineHost(cEngineHost* host);
