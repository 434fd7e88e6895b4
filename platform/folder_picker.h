// The modal folder picker of the folder command: it opens on a folder, tells the program of
// every selection, lets the program refuse the selection and show a status text, and returns
// the folder the user confirmed.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/ui.h"

namespace platform {

// What the program may do with the open picker while it handles a selection.
class FolderPickerView {
public:
    virtual ~FolderPickerView() = default;
    // Up to two lines, in the documents' code page.
    virtual void SetStatus(const char* text) = 0;
    // The current selection cannot be confirmed (neither its OK button nor Return accepts it).
    // Every new selection starts out acceptable.
    virtual void RefuseSelection() = 0;
};

// Called for the selection the picker opens on and for every change; `path` is the selected
// folder as a path of this system (see platform/system.h), empty for a selection that is no
// folder of the file system.
using FolderSelectionHandler = std::function<void(FolderPickerView& view, const std::string& path)>;

// Runs the picker modally over `owner`, opened on `startFolder`. The confirmed folder (one the
// user typed may not exist yet), or nothing when the user cancelled.
std::optional<std::string> PickFolder(WindowHandle owner, const char* startFolder,
                                      const FolderSelectionHandler& onSelection);

}  // namespace platform
