// The document class and its node tree. Both documents the program reads (the UX document and
// the download manifest) are parsed into this tree and read through cJson::Node.
//
// Scalars keep the bytes that stood in the document; the getter a caller picks converts them
// when it is called. A missing member, or a request that does not fit a node's kind, answers
// null or 0. Lookups add entries to a member table and GetWString caches its result, so even
// readers of one tree must not share it across threads without a lock of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class cJson {
public:
    class Node;
    class JsonNode;
    class JsonNodes;
    class JsonValue;
    class JsonValues;
    class MemberTable;

    // Shows a fatal loading error to the user (text and message-box style). The application
    // installs one that goes through cApp::ShowMessage; until then a plain warning box is shown.
    using ErrorReporter = void (*)(const char* text, unsigned style);

    static constexpr const char* kFileName = "file.json";
    // Objects nested deeper than this are refused, so reading and destroying stay in bounds.
    static constexpr int kMaxDepth = 64;

    cJson() = default;
    ~cJson();
    cJson(const cJson&) = delete;
    cJson& operator=(const cJson&) = delete;

    // Builds a tree from a NUL-terminated text and makes it the root. False, leaving the
    // document as it was, when the text does not begin with '{' after white space or when it
    // is malformed in a way the reader refuses (see json/reader.h).
    bool Parse(const char* text);
    // Reads and parses the configuration resource. False when there is no such resource; a
    // resource that cannot be read whole is reported and ends the process (-34).
    bool LoadFromResource();
    // Empties the current tree, then reads and parses "file.json" in the current folder.
    // False when the file cannot be opened.
    bool LoadFromFile();
    // Destroys the tree; root becomes null.
    void Release();

    // Installs `reporter` for every document; null restores the plain warning box.
    static void SetErrorReporter(ErrorReporter reporter);

    // Owned by the document; null until a text has been parsed.
    JsonNode* root = nullptr;
    // "file.json" once LoadFromFile has opened that file.
    char sourceName[128] = {};

private:
    class Reader;
};

class cJson::Node {
public:
    enum Kind : int32_t { eJsonValue = 0, eJsonNode = 1, eJsonValues = 2, eJsonNodes = 3 };

    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Declared in slot order.
    virtual ~Node() = default;
    virtual void Clear() {}
    // The value's text; containers answer their type name ("cJson::Node::eJsonNode", ...).
    virtual const char* GetString() { return TypeName(); }
    virtual const char16_t* GetWString() { return nullptr; }
    virtual int32_t GetInt() { return 0; }
    virtual int64_t GetInt64() { return 0; }
    virtual int32_t GetHex() { return 0; }
    virtual int64_t GetHex64() { return 0; }
    virtual Node* GetNode(const char*) { return nullptr; }
    virtual Node* GetNode(int) { return nullptr; }
    virtual Node* Find(const char*) { return nullptr; }
    virtual Node* Find(int) { return nullptr; }

    // "cJson::Node" for a scalar, "cJson::Node::e<Kind>" for a container.
    const char* TypeName() const;

    const Kind kind;

protected:
    explicit Node(Kind k) : kind(k) {}
    Node(Node&&) noexcept = default;
};

// The members of one object. Keys go into 999 buckets by the last eight bytes of the key
// (fewer bytes padded with zeros, read little-endian, modulo 999); a new entry goes to the head
// of its bucket's chain and becomes the newest of the insertion list. Small tables find keys by
// scanning their entries newest first, which visits a bucket's entries in chain order; the
// chain heads are allocated only once a table outgrows that scan.
class cJson::MemberTable {
public:
    static constexpr int kBucketCount = 999;
    // Longest key an entry holds.
    static constexpr size_t kMaxKeyLength = 127;

    static int BucketOf(std::string_view key);

    MemberTable() = default;
    MemberTable(MemberTable&&) noexcept = default;
    MemberTable& operator=(MemberTable&&) noexcept = default;
    ~MemberTable();

    // Find-or-insert: the member's node, or null. A key that is not present (and fits an
    // entry) is remembered as an entry without a node.
    Node* Lookup(std::string_view key);
    // Adds `node` under `key` unless the key is present: the first member with a key wins, and
    // a later one is destroyed (false).
    bool Insert(std::string_view key, std::unique_ptr<Node> node);
    // Room for `count` entries without growing.
    void Reserve(size_t count) { entries_.reserve(count); }
    // Destroys every member's node, newest first; keys that had a node stay as empty entries,
    // entries that were already empty are removed.
    void Clear();

    // Read-only inspection.
    size_t EntryCount() const { return entries_.size(); }
    // Keys of one bucket, head of the chain first.
    std::vector<std::string> Chain(int bucket) const;
    // Every key, newest first.
    std::vector<std::string> InsertionOrder() const;
    // Whether `key` has an entry, and whether that entry holds a node.
    bool HasEntry(std::string_view key) const;

private:
    static constexpr size_t kScanLimit = 16;
    static constexpr int32_t kNone = -1;

    // A key in 16 bytes: up to 15 bytes inline, a longer one on the heap. Most keys are short,
    // and a manifest holds two per file.
    class Key {
    public:
        explicit Key(std::string_view text);
        Key(Key&& other) noexcept;
        Key& operator=(Key&& other) noexcept;
        ~Key();
        std::string_view View() const;

    private:
        static constexpr size_t kInline = 15;
        char* Heap() const;
        char bytes_[kInline];  // the key, or the address of its heap copy
        uint8_t length_;
    };

    struct Entry {
        Key key;
        std::unique_ptr<Node> node;
        int32_t bucketNext;  // the next older entry of the same bucket, while indexed
        uint16_t bucket;
    };

    int32_t IndexOf(std::string_view key, int bucket) const;
    void Append(std::string_view key, int bucket, std::unique_ptr<Node> node);
    void Reindex();

    std::vector<Entry> entries_;        // oldest first
    std::unique_ptr<int32_t[]> heads_;  // newest entry of each bucket, or kNone; null if unindexed
};

// An object: the root, a nested object or an element of an array of objects.
class cJson::JsonNode final : public Node {
public:
    JsonNode() : Node(eJsonNode) {}
    JsonNode(JsonNode&&) noexcept = default;

    void Clear() override { members_.Clear(); }
    using Node::Find;
    using Node::GetNode;
    Node* GetNode(const char* key) override;
    Node* Find(const char* key) override { return GetNode(key); }

    const MemberTable& Members() const { return members_; }

private:
    friend class cJson::Reader;
    MemberTable members_;
};

// An array of objects; its elements live together in one array.
class cJson::JsonNodes final : public Node {
public:
    void Clear() override;
    using Node::Find;
    using Node::GetNode;
    // The element at `index`; null outside 0 .. Count() - 1.
    Node* GetNode(int index) override;
    Node* Find(int index) override { return GetNode(index); }

    int32_t Count() const { return static_cast<int32_t>(elements_.size()); }

private:
    friend class cJson::Reader;
    explicit JsonNodes(std::vector<JsonNode> elements);
    std::vector<JsonNode> elements_;
};

// A scalar, kept as the text that stood in the document. The text lives in the same allocation
// as the node.
class cJson::JsonValue final : public Node {
public:
    ~JsonValue() override = default;
    static void operator delete(void* p) { ::operator delete(p); }

    // Forgets the text (GetString then answers null) and the wide copy.
    void Clear() override;
    const char* GetString() override { return text_; }
    // The text decoded from the documents' code page; made on the first call, then cached.
    const char16_t* GetWString() override;
    // Decimal and hexadecimal readings as strtol would make them, saturating at the limits.
    int32_t GetInt() override;
    int64_t GetInt64() override;
    int32_t GetHex() override;
    int64_t GetHex64() override;

    // Byte length of the text plus one.
    int32_t TextSize() const { return textSize_; }

private:
    friend class cJson::Reader;
    static std::unique_ptr<JsonValue> Make(std::string_view text);
    explicit JsonValue(int32_t textSize);

    // First, in the padding after the base's kind: a manifest holds three values a file.
    int32_t textSize_;
    char* text_;
    std::unique_ptr<char16_t[]> wideText_;
};

// An array whose first element is not an object, or an empty array. Its elements are skipped
// when read: nothing reads them.
class cJson::JsonValues final : public Node {
private:
    friend class cJson::Reader;
    JsonValues() : Node(eJsonValues) {}
};
