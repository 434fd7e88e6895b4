#include "json/reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Keys and values drop trailing white space and quotes.
std::string_view TrimEnd(const char* begin, const char* end) {
    while (end > begin && (IsWhiteSpace(end[-1]) || end[-1] == '"')) {
        --end;
    }
    return {begin, static_cast<size_t>(end - begin)};
}

// The elements of the array of objects starting at `p`: every '{' at the array's own level up to
// its closing ']'. Exact for a well-formed array; for any other it only sizes an allocation.
size_t CountElements(const char* p) {
    size_t count = 0;
    size_t depth = 0;
    for (;; ++p) {
        switch (*p) {
            case '\0':
                return count;
            case '{':
                count += depth == 0 ? 1 : 0;
                ++depth;
                break;
            case '[':
                ++depth;
                break;
            case '}':
                depth -= depth > 0 ? 1 : 0;
                break;
            case ']':
                if (depth == 0) {
                    return count;
                }
                --depth;
                break;
            default:
                break;
        }
    }
}

}  // namespace

std::unique_ptr<cJson::JsonNode> cJson::Reader::ReadDocument() {
    SkipWhiteSpace();
    if (*cursor_ != '{') {
        return nullptr;
    }
    ++cursor_;
    auto root = std::make_unique<JsonNode>();
    if (!ReadObjectBody(*root, 1)) {
        return nullptr;
    }
    return root;
}

// The cursor stands just past the object's '{'. Returns with it past the closing '}', or where
// a byte after an array ended the object.
bool cJson::Reader::ReadObjectBody(JsonNode& object, int depth) {
    if (depth > kMaxDepth) {
        return false;
    }
    SkipWhiteSpace();
    if (*cursor_ == '}') {
        ++cursor_;
        return true;
    }
    for (;;) {
        bool objectEnded = false;
        if (!ReadMember(object, depth, objectEnded)) {
            return false;
        }
        if (objectEnded) {
            return true;
        }
        // Past a ','; a '}' here closes the object after a trailing comma.
        SkipWhiteSpace();
        if (*cursor_ == '}') {
            ++cursor_;
            return true;
        }
    }
}

bool cJson::Reader::ReadMember(JsonNode& object, int depth, bool& objectEnded) {
    std::string_view key;
    if (!ReadKey(key)) {
        return false;
    }
    SkipWhiteSpace();
    switch (*cursor_) {
        case '\0':
            return false;
        case '{': {
            ++cursor_;
            auto child = std::make_unique<JsonNode>();
            if (!ReadObjectBody(*child, depth + 1)) {
                return false;
            }
            object.members_.Insert(key, std::move(child));
            cursor_ += std::strcspn(cursor_, ",}");
            if (*cursor_ == '\0') {
                return false;
            }
            objectEnded = *cursor_++ == '}';
            return true;
        }
        case '[': {
            ++cursor_;
            SkipWhiteSpace();
            std::unique_ptr<Node> array;
            if (*cursor_ == '{') {
                array = ReadObjectArray(depth + 1);
            } else if (SkipArray()) {
                array.reset(new JsonValues());
            }
            if (!array) {
                return false;
            }
            object.members_.Insert(key, std::move(array));
            return AfterArray(objectEnded);
        }
        default: {
            std::unique_ptr<Node> value;
            if (!ReadScalar(value, objectEnded)) {
                return false;
            }
            object.members_.Insert(key, std::move(value));
            return true;
        }
    }
}

bool cJson::Reader::ReadKey(std::string_view& key) {
    if (*cursor_ == '"') {
        ++cursor_;
    }
    const char* begin = cursor_;
    const char* colon = begin + std::strcspn(begin, ":{}[]");
    if (*colon != ':') {
        return false;
    }
    key = TrimEnd(begin, colon);
    if (key.size() > MemberTable::kMaxKeyLength) {
        return false;
    }
    cursor_ = colon + 1;
    return true;
}

bool cJson::Reader::ReadScalar(std::unique_ptr<Node>& value, bool& objectEnded) {
    const char* start = cursor_;
    const char* end = start + std::strcspn(start, ",}");
    if (*end == '\0' || static_cast<size_t>(end - start) > kMaxValueLength) {
        return false;
    }
    if (*start == '"') {
        ++start;
    }
    value = JsonValue::Make(TrimEnd(start, end));
    objectEnded = *end == '}';
    cursor_ = end + 1;
    return true;
}

// The cursor stands on the first element's '{'; returns with it past the closing ']'.
std::unique_ptr<cJson::JsonNodes> cJson::Reader::ReadObjectArray(int depth) {
    std::vector<JsonNode> elements;
    elements.reserve(CountElements(cursor_));
    // Elements of a list usually share their shape: each gets room for as many members as the
    // one before it had.
    size_t members = 0;
    for (;;) {
        ++cursor_;
        elements.emplace_back();
        elements.back().members_.Reserve(members);
        if (!ReadObjectBody(elements.back(), depth)) {
            return nullptr;
        }
        members = elements.back().members_.EntryCount();
        SkipWhiteSpace();
        if (*cursor_ == ',') {
            ++cursor_;
            SkipWhiteSpace();
            if (*cursor_ == '{') {
                continue;
            }
        }
        if (*cursor_ != ']') {
            return nullptr;
        }
        ++cursor_;
        break;
    }
    if (elements.capacity() != elements.size()) {
        elements.shrink_to_fit();
    }
    return std::unique_ptr<JsonNodes>(new JsonNodes(std::move(elements)));
}

// Skips an array that is not an array of objects, up to its matching ']'. A '}' that closes
// no '{' opened inside the array means the array was never closed.
bool cJson::Reader::SkipArray() {
    size_t brackets = 1;
    size_t braces = 0;
    for (;; ++cursor_) {
        switch (*cursor_) {
            case '\0':
                return false;
            case '[':
                ++brackets;
                break;
            case ']':
                if (--brackets == 0) {
                    ++cursor_;
                    return true;
                }
                break;
            case '{':
                ++braces;
                break;
            case '}':
                if (braces == 0) {
                    return false;
                }
                --braces;
                break;
            default:
                break;
        }
    }
}

// After an array: ',' leads to the next member, '}' closes the object, and any other byte ends
// the object where it stands.
bool cJson::Reader::AfterArray(bool& objectEnded) {
    SkipWhiteSpace();
    switch (*cursor_) {
        case '\0':
            return false;
        case ',':
            ++cursor_;
            return true;
        case '}':
            ++cursor_;
            break;
        default:
            break;
    }
    objectEnded = true;
    return true;
}

void cJson::Reader::SkipWhiteSpace() {
    while (IsWhiteSpace(*cursor_)) {
        ++cursor_;
    }
}
