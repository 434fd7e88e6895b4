// The node classes other than the member table.
#include <cstring>
#include <limits>
#include <new>

#include "json/cJson.h"
#include "json/integer.h"
#include "platform/system.h"

const char* cJson::Node::TypeName() const {
    switch (kind) {
        case eJsonNode:
            return "cJson::Node::eJsonNode";
        case eJsonValues:
            return "cJson::Node::eJsonValues";
        case eJsonNodes:
            return "cJson::Node::eJsonNodes";
        case eJsonValue:
            break;
    }
    return "cJson::Node";
}

cJson::Node* cJson::JsonNode::GetNode(const char* key) {
    return key ? members_.Lookup(key) : nullptr;
}

cJson::JsonNodes::JsonNodes(std::vector<JsonNode> elements)
    : Node(eJsonNodes), elements_(std::move(elements)) {}

void cJson::JsonNodes::Clear() {
    std::vector<JsonNode>().swap(elements_);
}

cJson::Node* cJson::JsonNodes::GetNode(int index) {
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return &elements_[static_cast<size_t>(index)];
}

std::unique_ptr<cJson::JsonValue> cJson::JsonValue::Make(std::string_view text) {
    const auto textSize = static_cast<int32_t>(text.size() + 1);
    void* memory = ::operator new(sizeof(JsonValue) + text.size() + 1);
    auto* value = new (memory) JsonValue(textSize);
    std::memcpy(value->text_, text.data(), text.size());
    value->text_[text.size()] = '\0';
    return std::unique_ptr<JsonValue>(value);
}

cJson::JsonValue::JsonValue(int32_t textSize)
    : Node(eJsonValue), textSize_(textSize), text_(reinterpret_cast<char*>(this + 1)) {}

void cJson::JsonValue::Clear() {
    text_ = nullptr;
    wideText_.reset();
}

const char16_t* cJson::JsonValue::GetWString() {
    if (!wideText_ && text_) {
        const std::u16string wide =
            platform::CodePageToUtf16(text_, static_cast<size_t>(textSize_ - 1));
        wideText_ = std::make_unique<char16_t[]>(wide.size() + 1);
        std::memcpy(wideText_.get(), wide.data(), wide.size() * sizeof(char16_t));
    }
    return wideText_.get();
}

int32_t cJson::JsonValue::GetInt() {
    if (!text_) {
        return 0;
    }
    return static_cast<int32_t>(json::ReadInteger(text_, 10, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int64_t cJson::JsonValue::GetInt64() {
    if (!text_) {
        return 0;
    }
    return json::ReadInteger(text_, 10, std::numeric_limits<int64_t>::min(),
                             std::numeric_limits<int64_t>::max());
}

int32_t cJson::JsonValue::GetHex() {
    if (!text_) {
        return 0;
    }
    return static_cast<int32_t>(json::ReadInteger(text_, 16, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int64_t cJson::JsonValue::GetHex64() {
    if (!text_) {
        return 0;
    }
    return json::ReadInteger(text_, 16, std::numeric_limits<int64_t>::min(),
                             std::numeric_limits<int64_t>::max());
}
