#include "download/engineMessages.h"

#include <atomic>

#include "download/engineHost.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

std::atomic<cEngineHost*> engineHost{nullptr};

}  // namespace

cEngineHost* EngineHost() {
    return engineHost.load();
}

void SetEngineHost(cEngineHost* host) {
    engineHost.store(host);
}

void ShowEngineWarning(const char* text) {
    if (cEngineHost* host = EngineHost()) {
        host->ShowMessage(text, platform::kMbIconWarning);
    }
}

void ExitWithEngineError(const char* text, int exitCode) {
    ShowEngineWarning(text);
    if (cEngineHost* host = EngineHost()) {
        host->EndOnFatalError(exitCode);
    }
    platform::EndProcess(exitCode);
}
