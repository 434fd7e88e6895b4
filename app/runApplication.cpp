#include "app/runApplication.h"

#include <string>

#include "app/cApp.h"
#include "app/documentText.h"
#include "app/texts.h"
#include "platform/system.h"

namespace {

// Fills the work directory from the temporary folder. A temporary folder too long for the
// field falls back to the folder current at start, and that to a relative folder, so the
// directory is never a cut path.
void SetWorkDirectory(cApp& application) {
    std::string name = std::string(app::texts::kWorkFolderName) + platform::kPathSeparator;
    for (const std::string& base :
         {platform::TempFolder(), platform::CurrentFolder() + platform::kPathSeparator}) {
        if (app::CopyText(application.workDirectory, cApp::kPathSize, (base + name).c_str())) {
            return;
        }
    }
    app::CopyText(application.workDirectory, cApp::kPathSize, name.c_str());
}

}  // namespace

int RunApplication() {
    // The lock stays held until the process ends; the system releases it however it ends.
    if (!platform::AcquireSingleInstance(app::texts::kInstanceName)) {
        platform::MessageBox(nullptr, app::texts::kAlreadyRunning, app::texts::kInstanceName,
                             platform::kMbIconWarning);
        return 0;
    }

    cApp* application = new cApp;
    if (!app::CopyText(application->moduleDirectory, cApp::kPathSize,
                       platform::ModuleFolder().c_str())) {
        application->moduleDirectory[0] = '\0';
    }
    SetWorkDirectory(*application);
    platform::CreateFolder(application->workDirectory);

    int result = application->OnExecute();

    application->StopDownload();
    delete application;
    return result;
}
