// The lenient reader behind cJson::Parse.
//
// It reads the subset of JSON the program's documents use, by rules simpler than JSON's:
//  - a scalar ends at the first ',' or '}' after it, inside quotes or not; quotes are stripped
//    at its ends only, trailing white space and quotes are dropped;
//  - a backslash is an ordinary byte: there are no escape sequences;
//  - numbers, true, false and null are kept as their text;
//  - a key is everything from its opening quote up to the next ':', less trailing white space
//    and quotes; the first member with a given key wins;
//  - an array whose first element is an object is read as an array of objects; any other
//    array (and an empty one) is skipped up to its closing ']';
//  - after a nested object, bytes up to the next ',' or '}' are ignored; after an array, a byte
//    other than ',' or '}' ends the enclosing object where it stands.
// Everything after the root object's closing '}' is ignored.
//
// It refuses (and the document keeps its earlier tree) a text that does not begin with '{',
// and one where reading cannot go on soundly: the text ends inside an object or array or
// before a scalar's ',' or '}'; a key runs into a bracket or the end before its ':'; a key
// holds more than 127 bytes (more than a member-table entry holds); objects nest deeper than
// cJson::kMaxDepth; an array of objects holds something other than objects.
// Empty objects, a comma before a closing '}' or ']' and values of any length (their readers
// judge them, e.g. a URL too long for a transfer) are read as they stand.
#pragma once

#include <cstdint>
#include <memory>

#include "json/cJson.h"

class cJson::Reader {
public:
    // What a value's 32-bit text size can count.
    static constexpr size_t kMaxValueLength = INT32_MAX - 1;

    explicit Reader(const char* text) : cursor_(text) {}
    // The root object, or null when the text is refused.
    std::unique_ptr<JsonNode> ReadDocument();

private:
    bool ReadObjectBody(JsonNode& object, int depth);
    bool ReadMember(JsonNode& object, int depth, bool& objectEnded);
    std::unique_ptr<JsonNodes> ReadObjectArray(int depth);
    bool SkipArray();
    bool ReadKey(std::string_view& key);
    bool ReadScalar(std::unique_ptr<Node>& value, bool& objectEnded);
    bool AfterArray(bool& objectEnded);
    void SkipWhiteSpace();

    const char* cursor_;
};
