// The document: parsing, the two loaders and the tree's lifetime.
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>

#include "json/cJson.h"
#include "json/reader.h"
#include "platform/files.h"
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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string ReadAll(std::FILE* file) {
    std::string text;
    constexpr size_t kChunk = 1 << 16;
    size_t length = 0;
    for (;;) {
        text.resize(length + kChunk);
        const size_t got = std::fread(text.data() + length, 1, kChunk, file);
        length += got;
        if (got < kChunk) {
            break;
        }
    }
    text.resize(length);
    return text;
}

}  // namespace

cJson::~cJson() {
    Release();
}

void cJson::SetErrorReporter(ErrorReporter reporter) {
    errorReporter = reporter ? reporter : ShowWarningBox;
}

bool cJson::Parse(const char* text) {
    if (!text) {
        return false;
    }
    std::unique_ptr<JsonNode> tree = Reader(text).ReadDocument();
    if (!tree) {
        return false;
    }
    Release();
    root = tree.release();
    return true;
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

bool cJson::LoadFromFile() {
    if (root) {
        root->Clear();
    }
    const std::unique_ptr<std::FILE, FileCloser> file(platform::OpenFile(kFileName, "rb"));
    if (!file) {
        return false;
    }
    std::snprintf(sourceName, sizeof sourceName, "%s", kFileName);
    const std::string text = ReadAll(file.get());
    Parse(text.c_str());
    return true;
}

void cJson::Release() {
    delete root;
    root = nullptr;
}
