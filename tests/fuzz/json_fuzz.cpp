// libFuzzer target: cJson::Parse on any bytes, then every read the node interface offers on
// whatever tree it built. Sanitizers catch reads past the text, overflows and leaks; libFuzzer's
// timeout catches runaway reading.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "json/cJson.h"

namespace {

void ReadEverything(cJson::Node* node) {
    node->GetString();
    node->GetWString();
    node->GetInt();
    node->GetInt64();
    node->GetHex();
    node->GetHex64();
    node->GetNode(0);
    node->GetNode(-1);
    switch (node->kind) {
        case cJson::Node::eJsonNode: {
            auto* object = static_cast<cJson::JsonNode*>(node);
            for (const std::string& key : object->Members().InsertionOrder()) {
                if (cJson::Node* child = object->Find(key.c_str())) {
                    ReadEverything(child);
                }
            }
            break;
        }
        case cJson::Node::eJsonNodes: {
            auto* array = static_cast<cJson::JsonNodes*>(node);
            for (int i = 0; i <= array->Count(); ++i) {
                if (cJson::Node* element = array->GetNode(i)) {
                    ReadEverything(element);
                }
            }
            break;
        }
        case cJson::Node::eJsonValue:
        case cJson::Node::eJsonValues:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy with its NUL, so a read past the text is a read past the allocation.
    auto text = std::make_unique<char[]>(size + 1);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';

    cJson document;
    if (document.Parse(text.get())) {
        ReadEverything(document.root);
        document.root->GetNode("FileList");
        document.root->Clear();
        ReadEverything(document.root);
        // A second tree replaces the first.
        document.Parse(text.get());
    }
    return 0;
}
