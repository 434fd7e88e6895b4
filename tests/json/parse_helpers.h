// Helpers shared by the JSON tests.
#pragma once

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "json/cJson.h"

namespace json_test {

// Parses `text` from a heap buffer of exactly its length plus the NUL, so that AddressSanitizer
// sees any read past the end of the text.
inline bool ParseExact(cJson& document, std::string_view text) {
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(buffer.get(), text.data(), text.size());
    buffer[text.size()] = '\0';
    return document.Parse(buffer.get());
}

// Follows keys from `node`; null as soon as one is missing.
inline cJson::Node* At(cJson::Node* node, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (!node) {
            return nullptr;
        }
        node = node->GetNode(key);
    }
    return node;
}

// The text of the value at `keys`, or "<null>" when any step is missing.
inline std::string TextAt(cJson::Node* node, std::initializer_list<const char*> keys) {
    cJson::Node* value = At(node, keys);
    if (!value || !value->GetString()) {
        return "<null>";
    }
    return value->GetString();
}

// A document the tests and the fuzz seeds share, as bytes.
inline std::string ReadDataFile(const char* name) {
    std::ifstream in(std::string(JSON_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace json_test
