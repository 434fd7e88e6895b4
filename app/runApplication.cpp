#include "app/runApplication.h"

#include "app/cApp.h"
#include "app/texts.h"
#include "app/workFolder.h"
#include "core/documentText.h"
#include "platform/system.h"

int RunApplication() {
    // The lock stays held until the process ends; the system releases it however it ends.
    if (!platform::AcquireSingleInstance(app::texts::kInstanceName)) {
        platform::ShowMessageBox(nullptr, app::texts::kAlreadyRunning, app::texts::kInstanceName,
                                 platform::kMbIconWarning);
        return 0;
    }

    cApp* application = new cApp;
    if (!core::CopyText(application->moduleDirectory, cApp::kPathSize,
                        platform::ModuleFolder().c_str())) {
        application->moduleDirectory[0] = '\0';
    }
    if (!app::PrepareWorkDirectory(*application)) {
        delete application;
        return 0;
    }

    int result = application->OnExecute();

    application->StopDownload();
    delete application;
    return result;
}
