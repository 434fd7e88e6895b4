#include "download/engineMessages.h"

#include "app/cApp.h"
#include "platform/system.h"
#include "platform/ui.h"

void ShowEngineWarning(const char* text) {
    if (theApp != nullptr) {
        theApp->ShowMessage(text, platform::kMbIconWarning);
    }
}

void ExitWithEngineError(const char* text, int exitCode) {
    ShowEngineWarning(text);
    platform::EndProcess(exitCode);
}
