#include "app/workFolder.h"

#include "app/cApp.h"
#include "app/documentText.h"
#include "app/folderWalk.h"
#include "app/texts.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace app {

const char* WorkFolderRefusal(const std::string& folder) {
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
    return nullptr;
}

bool PrepareWorkDirectory(cApp& application) {
    const std::string name = std::string(texts::kWorkFolderName) + platform::kPathSeparator;
    constexpr bool kDriveFirst = platform::kPathSeparator == '\\';
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
             FoldersAlong(base, platform::kPathSeparator, kDriveFirst)) {
            platform::CreatePrivateFolder(parent.c_str());
        }
        platform::CreatePrivateFolder(folder.c_str());
        if (const char* reason = WorkFolderRefusal(folder)) {
            refused += (refused.size() == intro ? "" : "; ") + folder + " " + reason;
            continue;
        }
        CopyText(application.workDirectory, cApp::kPathSize, folder.c_str());
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
