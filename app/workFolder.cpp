#include "app/workFolder.h"

#include "app/cApp.h"
#include "app/texts.h"
#include "core/documentText.h"
#include "core/folderWalk.h"
#include "core/trustedPaths.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace app {

std::string WorkFolderRefusal(const std::string& folder, platform::Held& held) {
    const platform::FolderFacts facts = platform::InspectFolder(folder.c_str());
    if (!facts.exists) {
        return "cannot be created";
    }
    if (facts.isLink) {
        return "is a link";
    }
    if (!facts.isFolder) {
        return "is not a folder";
    }
    if (!facts.ownedByUser) {
        return "belongs to another user";
    }
    if (facts.othersMayEnter && !platform::RestrictFolderToUser(folder.c_str())) {
        return "cannot be made private";
    }
    // Every folder above it as well, from the root down: one that others could change would
    // let them swap in a folder of their own after this check.
    platform::OpenedPath opened = platform::OpenFolderFromRoot(folder.c_str());
    if (!opened.item.IsOpen()) {
        return "cannot be opened: " + opened.failure;
    }
    if (std::string refusal = core::TrustRefusal(opened.steps); !refusal.empty()) {
        return "lies where others can change it: " + refusal;
    }
    held = std::move(opened.item);
    return "";
}

bool PrepareWorkDirectory(cApp& application) {
    const std::string name = std::string(texts::kWorkFolderName) + platform::kPathSeparator;
    constexpr bool kDriveFirst = platform::kPathsStartWithDrive;
    std::string refused = texts::kWorkFolderRefused;
    const size_t intro = refused.size();
    for (const std::string& base :
         {platform::UserStateFolder(), platform::CurrentFolder() + platform::kPathSeparator,
          std::string()}) {
        const std::string folder = base + name;
        // A path too long for the field would be cut into another folder: next candidate.
        if (folder.size() >= cApp::kPathSize) {
            continue;
        }
        // The state folder itself may not exist yet on a fresh account.
        for (const std::string& parent :
             core::FoldersAlong(base, platform::kPathSeparator, kDriveFirst)) {
            platform::CreatePrivateFolder(parent.c_str());
        }
        platform::CreatePrivateFolder(folder.c_str());
        if (const std::string reason = WorkFolderRefusal(folder, application.workFolderHeld);
            !reason.empty()) {
            refused += (refused.size() == intro ? "" : "; ") + folder + " " + reason;
            continue;
        }
        core::CopyText(application.workDirectory, cApp::kPathSize, folder.c_str());
        if (refused.size() != intro) {
            platform::ShowMessageBox(nullptr, (refused + "; using " + folder).c_str(),
                                     application.messageBoxTitle, platform::kMbIconWarning);
        }
        return true;
    }
    platform::ShowMessageBox(nullptr, refused.c_str(), application.messageBoxTitle,
                             platform::kMbIconWarning);
    return false;
}

}  // namespace app
