// The document: parsing, loading from a file and the tree's lifetime. The built-in document
// is loaded in builtInDocument.cpp, so that programs without resources need none.
#include <cstdio>
#include <optional>
#include <string>

#include "core/wholeFile.h"
#include "json/cJson.h"
#include "json/reader.h"
#include "platform/files.h"

cJson::~cJson() {
    Release();
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

bool cJson::LoadFromFile() {
    if (root) {
        root->Clear();
    }
    const std::optional<std::string> text = core::ReadWholeFile(kFileName);
    if (!text) {
        return false;
    }
    std::snprintf(sourceName, sizeof sourceName, "%s", kFileName);
    Parse(text->c_str());
    return true;
}

void cJson::Release() {
    delete root;
    root = nullptr;
}
