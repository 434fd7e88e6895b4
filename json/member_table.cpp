#include <algorithm>
#include <cstring>

#include "json/cJson.h"

int cJson::MemberTable::BucketOf(std::string_view key) {
    // Only the last eight bytes count; a shorter key is padded with zeros.
    const size_t length = std::min<size_t>(key.size(), 8);
    const char* tail = key.data() + key.size() - length;
    uint64_t value = 0;
    for (size_t i = length; i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(tail[i]);
    }
    return static_cast<int>(value % kBucketCount);
}

cJson::MemberTable::Key::Key(std::string_view text) : length_(static_cast<uint8_t>(text.size())) {
    if (text.size() <= kInline) {
        std::memcpy(bytes_, text.data(), text.size());
        return;
    }
    char* heap = new char[text.size()];
    std::memcpy(heap, text.data(), text.size());
    std::memcpy(bytes_, &heap, sizeof heap);
}

cJson::MemberTable::Key::Key(Key&& other) noexcept : length_(other.length_) {
    std::memcpy(bytes_, other.bytes_, kInline);
    other.length_ = 0;
}

cJson::MemberTable::Key& cJson::MemberTable::Key::operator=(Key&& other) noexcept {
    if (this != &other) {
        if (length_ > kInline) {
            delete[] Heap();
        }
        std::memcpy(bytes_, other.bytes_, kInline);
        length_ = other.length_;
        other.length_ = 0;
    }
    return *this;
}

cJson::MemberTable::Key::~Key() {
    if (length_ > kInline) {
        delete[] Heap();
    }
}

std::string_view cJson::MemberTable::Key::View() const {
    return {length_ > kInline ? Heap() : bytes_, length_};
}

char* cJson::MemberTable::Key::Heap() const {
    char* heap;
    std::memcpy(&heap, bytes_, sizeof heap);
    return heap;
}

cJson::MemberTable::~MemberTable() = default;

cJson::Node* cJson::MemberTable::Lookup(std::string_view key) {
    const int bucket = BucketOf(key);
    const int32_t index = IndexOf(key, bucket);
    if (index != kNone) {
        return entries_[static_cast<size_t>(index)].node.get();
    }
    if (key.size() <= kMaxKeyLength) {
        Append(key, bucket, nullptr);
    }
    return nullptr;
}

bool cJson::MemberTable::Insert(std::string_view key, std::unique_ptr<Node> node) {
    const int bucket = BucketOf(key);
    if (IndexOf(key, bucket) != kNone) {
        return false;
    }
    Append(key, bucket, std::move(node));
    return true;
}

void cJson::MemberTable::Clear() {
    std::erase_if(entries_, [](const Entry& entry) { return !entry.node; });
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        entry->node.reset();
    }
    if (heads_) {
        Reindex();
    }
}

std::vector<std::string> cJson::MemberTable::Chain(int bucket) const {
    std::vector<std::string> keys;
    if (heads_) {
        for (int32_t i = heads_[bucket]; i != kNone;
             i = entries_[static_cast<size_t>(i)].bucketNext) {
            keys.emplace_back(entries_[static_cast<size_t>(i)].key.View());
        }
        return keys;
    }
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        if (entry->bucket == bucket) {
            keys.emplace_back(entry->key.View());
        }
    }
    return keys;
}

std::vector<std::string> cJson::MemberTable::InsertionOrder() const {
    std::vector<std::string> keys;
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        keys.emplace_back(entry->key.View());
    }
    return keys;
}

bool cJson::MemberTable::HasEntry(std::string_view key) const {
    return IndexOf(key, BucketOf(key)) != kNone;
}

int32_t cJson::MemberTable::IndexOf(std::string_view key, int bucket) const {
    if (heads_) {
        for (int32_t i = heads_[bucket]; i != kNone;
             i = entries_[static_cast<size_t>(i)].bucketNext) {
            if (entries_[static_cast<size_t>(i)].key.View() == key) {
                return i;
            }
        }
        return kNone;
    }
    // Newest first, as the chains run.
    for (size_t i = entries_.size(); i-- > 0;) {
        if (entries_[i].bucket == bucket && entries_[i].key.View() == key) {
            return static_cast<int32_t>(i);
        }
    }
    return kNone;
}

void cJson::MemberTable::Append(std::string_view key, int bucket, std::unique_ptr<Node> node) {
    entries_.push_back(Entry{Key(key), std::move(node), kNone, static_cast<uint16_t>(bucket)});
    if (heads_) {
        Entry& entry = entries_.back();
        entry.bucketNext = heads_[bucket];
        heads_[bucket] = static_cast<int32_t>(entries_.size() - 1);
    } else if (entries_.size() > kScanLimit) {
        Reindex();
    }
}

void cJson::MemberTable::Reindex() {
    heads_ = std::make_unique<int32_t[]>(kBucketCount);
    std::fill_n(heads_.get(), kBucketCount, kNone);
    for (size_t i = 0; i < entries_.size(); ++i) {
        entries_[i].bucketNext = heads_[entries_[i].bucket];
        heads_[entries_[i].bucket] = static_cast<int32_t>(i);
    }
}
