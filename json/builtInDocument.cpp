// The document built into the program, and the reporter of its fatal loading error.
#include <atomic>
#include <optional>
#include <string>

#include "json/cJson.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

// The built-in document of the build's code page (a build setting): read in that code page, a
// document written in another would show garbled texts.
constexpr int kResourceId = DOWNLOADER_DOCUMENT;

void ShowWarningBox(const char* text, unsigned style) {
    platform::ShowMessageBox(nullptr, text, "", style);
}

std::atomic<cJson::ErrorReporter> errorReporter{ShowWarningBox};

}  // namespace

void cJson::SetErrorReporter(ErrorReporter reporter) {
    errorReporter = reporter ? reporter : ShowWarningBox;
}

bool cJson::LoadFromResource() {
    const std::optional<size_t> size = platform::ResourceSize(kResourceId);
    if (!size) {
        return false;
    }
    const std::optional<std::string> bytes = platform::LoadBuiltInResource(kResourceId);
    if (!bytes || bytes->size() != *size) {
        errorReporter.load()("json error -34", platform::kMbIconWarning);
        platform::EndProcess(-34);
    }
    Parse(bytes->c_str());
    return true;
}
