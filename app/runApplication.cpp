#include "app/runApplication.h"

#include <string>

#include "app/cApp.h"
#include "app/documentText.h"
#include "app/texts.h"
#include "platform/system.h"

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
    std::string relative = std::string(app::texts::kWorkFolderName) + platform::kPathSeparator;
    std::string work = platform::TempFolder() + relative;
    if (!app::CopyText(application->workDirectory, cApp::kPathSize, work.c_str())) {
        // A temporary folder too long for the field: work below the start folder instead of
        // in a cut path.
        app::CopyText(application->workDirectory, cApp::kPathSize, relative.c_str());
    }
    platform::CreateFolder(application->workDirectory);

    int result = application->OnExecute();

    application->StopDownload();
    delete application;
    return result;
}
