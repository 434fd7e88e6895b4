// The folder picker of the fake backend: plays the scripted selections through the program's
// handler and records what it showed and refused.
#include "platform/folder_picker.h"
#include "platform/fake/state.h"

namespace platform {

using fake::state;

namespace {

class ScriptedView : public FolderPickerView {
public:
    explicit ScriptedView(fake::FolderSelection& selection) : selection(selection) {}
    void SetStatus(const char* text) override { selection.status = text; }
    void RefuseSelection() override { selection.refused = true; }

private:
    fake::FolderSelection& selection;
};

}  // namespace

namespace fake {

void ScriptFolderPicker(std::vector<std::string> selections, bool confirm) {
    std::lock_guard lock(state().mutex);
    state().pickerSelections = std::move(selections);
    state().pickerConfirms = confirm;
}

std::vector<FolderPick> FolderPicks() {
    std::lock_guard lock(state().mutex);
    return state().folderPicks;
}

}  // namespace fake

std::optional<std::string> PickFolder(WindowHandle owner, const char* startFolder,
                                      const FolderSelectionHandler& onSelection) {
    fake::FolderPick pick{owner, startFolder, {}, std::nullopt};
    std::vector<std::string> paths{startFolder};
    bool confirm = false;
    {
        std::lock_guard lock(state().mutex);
        paths.insert(paths.end(), state().pickerSelections.begin(), state().pickerSelections.end());
        confirm = state().pickerConfirms;
    }
    for (const std::string& path : paths) {
        pick.selections.push_back({path, "", false});
        ScriptedView view(pick.selections.back());
        onSelection(view, path);
    }
    if (confirm && !pick.selections.back().refused) {
        pick.result = pick.selections.back().path;
    }
    std::lock_guard lock(state().mutex);
    state().folderPicks.push_back(pick);
    return pick.result;
}

}  // namespace platform
