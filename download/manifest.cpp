#include "download/manifest.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "core/documentText.h"
#include "core/folderWalk.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

// The reader keeps numbers as text; anything but an optional '-' and digits is not a number.
bool IsDecimalText(const char* text) {
    if (text == nullptr) {
        return false;
    }
    if (*text == '-') {
        ++text;
    }
    if (*text == '\0') {
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
    }
    return true;
}

// 64 hexadecimal digits in either case, kept in lower case.
bool ReadSha256(const char* text, std::string& digest) {
    digest.clear();
    for (const char* c = text; *c != '\0'; ++c) {
        if (!std::isxdigit(static_cast<unsigned char>(*c))) {
            return false;
        }
        digest += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    return digest.size() == 64;
}

bool ReadNumber(cJson::Node* node, int64_t& value) {
    if (node == nullptr || !IsDecimalText(node->GetString())) {
        return false;
    }
    value = node->GetInt64();
    return true;
}

int HexDigit(char c) {
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

// The key under which two names are one file: on Windows "A.bin" and "a.bin" are one. The
// system's key folds every letter where it has those rules; the ASCII ones are folded here too,
// in the key's UTF-8, whose bytes of other characters are never ASCII letters.
std::string FileKeyOf(const std::string& localPath, bool windowsNames) {
    if (!windowsNames) {
        return localPath;
    }
    return FoldAsciiCase(platform::FileNameKey(localPath));
}

// The first entry that names the same file as an earlier one, -1 when none does. Compares
// hashes of the keys first, so that a million names need no set of a million strings.
int64_t FirstRepeatedFile(const ManifestFiles& files, bool windowsNames) {
    std::vector<std::pair<uint64_t, uint32_t>> hashes;
    hashes.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        hashes.emplace_back(std::hash<std::string>{}(FileKeyOf(files[i].localPath, windowsNames)),
                            static_cast<uint32_t>(i));
    }
    std::sort(hashes.begin(), hashes.end());
    int64_t first = -1;
    for (size_t run = 0; run < hashes.size();) {
        size_t end = run + 1;
        while (end < hashes.size() && hashes[end].first == hashes[run].first) {
            ++end;
        }
        // Equal hashes: the keys themselves decide, in list order.
        for (size_t a = run; a < end; ++a) {
            const std::string key = FileKeyOf(files[hashes[a].second].localPath, windowsNames);
            for (size_t b = a + 1; b < end; ++b) {
                if ((first < 0 || hashes[b].second < first) &&
                    FileKeyOf(files[hashes[b].second].localPath, windowsNames) == key) {
                    first = hashes[b].second;
                }
            }
        }
        run = end;
    }
    return first;
}

}  // namespace

void ManifestFiles::push_back(const ManifestEntry& entry) {
    Packed packed;
    packed.at = text_.size();
    packed.nameLength = static_cast<uint16_t>(entry.name.size());
    text_ += entry.name;
    if (entry.localPath != entry.name) {
        packed.pathLength = static_cast<uint16_t>(entry.localPath.size());
        text_ += entry.localPath;
    }
    packed.size = entry.size;
    if (!entry.sha256.empty()) {
        Sha256Bytes bytes;
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(HexDigit(entry.sha256[2 * i]) << 4 |
                                            HexDigit(entry.sha256[2 * i + 1]));
        }
        packed.hash = static_cast<uint32_t>(hashes_.size());
        hashes_.push_back(bytes);
    }
    packed_.push_back(packed);
}

void ManifestFiles::shrink_to_fit() {
    text_.shrink_to_fit();
    packed_.shrink_to_fit();
    hashes_.shrink_to_fit();
}

ManifestEntry ManifestFiles::operator[](size_t index) const {
    static constexpr char kHex[] = "0123456789abcdef";
    const Packed& packed = packed_[index];
    ManifestEntry entry;
    entry.name.assign(text_, packed.at, packed.nameLength);
    entry.localPath = packed.pathLength == 0
                          ? entry.name
                          : text_.substr(packed.at + packed.nameLength, packed.pathLength);
    entry.size = packed.size;
    if (packed.hash != kNoHash) {
        for (uint8_t byte : hashes_[packed.hash]) {
            entry.sha256 += kHex[byte >> 4];
            entry.sha256 += kHex[byte & 15];
        }
    }
    return entry;
}

std::string LocalPathOf(const std::string& name) {
    std::string path = name;
    for (char& c : path) {
        if (IsNameSeparator(c)) {
            c = platform::kPathSeparator;
        }
    }
    return path;
}

std::string FileUrlOf(const std::string& baseUrl, const std::string& name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = baseUrl;
    for (unsigned char c : name) {
        if (c == '\\') {
            url += '/';
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   std::strchr("-._~!$&'()*+,;=@/", c) != nullptr) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

bool IsLaunchName(const std::string& name) {
    const size_t at = name.find(".exe");
    return at != std::string::npos && at + 4 == name.size();
}

void CreateParentFolders(const std::string& localPath) {
    const std::vector<size_t> separators =
        core::SeparatorsIn(localPath, platform::kPathSeparator, core::kPathCodePage);
    if (!separators.empty()) {
        platform::CreateFoldersBelow(localPath.substr(0, separators.back()).c_str());
    }
}

namespace {

// The optional "Mirrors": a short list of objects, each with its base address under "URL".
bool ReadMirrors(cJson::Node* root, Manifest& manifest, std::string& problem) {
    cJson::Node* list = root->Find("Mirrors");
    if (list == nullptr) {
        return true;
    }
    if (list->kind != cJson::Node::eJsonNodes) {
        problem = "\"Mirrors\" is not a list of objects with a \"URL\"";
        return false;
    }
    const int32_t count = static_cast<cJson::JsonNodes*>(list)->Count();
    if (count > static_cast<int32_t>(kMostMirrors)) {
        problem = "\"Mirrors\" names more than " + std::to_string(kMostMirrors) + " servers";
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        cJson::Node* url = list->GetNode(i) != nullptr ? list->GetNode(i)->GetNode("URL") : nullptr;
        const char* reason = url == nullptr || url->GetString() == nullptr
                                 ? "has no \"URL\""
                                 : MirrorUrlProblem(url->GetString());
        if (reason != nullptr) {
            problem = "mirror " + std::to_string(i) + " " + reason;
            return false;
        }
        manifest.mirrors.emplace_back(url->GetString());
    }
    return true;
}

// "TotalCount", "TotalSize", "URL" and "Mirrors".
bool ReadTopLevel(cJson::Node* root, Manifest& manifest, std::string& problem) {
    int64_t totalCount = 0;
    if (!ReadNumber(root->Find("TotalCount"), totalCount) || totalCount < 0 ||
        totalCount > INT32_MAX) {
        problem = "\"TotalCount\" missing or not a count";
        return false;
    }
    manifest.totalCount = static_cast<int32_t>(totalCount);
    if (!ReadNumber(root->Find("TotalSize"), manifest.totalSize)) {
        problem = "\"TotalSize\" missing or not a number";
        return false;
    }
    cJson::Node* url = root->Find("URL");
    if (url == nullptr || url->GetString() == nullptr) {
        problem = "\"URL\" missing";
        return false;
    }
    manifest.url = url->GetString();
    if (!IsHttpUrl(manifest.url)) {
        problem = "\"URL\" is not an http or https address";
        return false;
    }
    return ReadMirrors(root, manifest, problem);
}

// One "FileList" entry, checked; `longestBase` is the longest base address its URL may have.
bool ReadEntry(cJson::Node* entry, const std::string& longestBase, bool windowsNames,
               ManifestEntry& file, std::string& problem) {
    cJson::Node* name = entry->GetNode("Name");
    if (name == nullptr || name->GetString() == nullptr) {
        problem = "\"Name\" missing";
        return false;
    }
    file.name = name->GetString();
    if (!ReadNumber(entry->GetNode("Size"), file.size)) {
        problem = "\"Size\" missing or not a number";
        return false;
    }
    if (file.size < 0) {
        problem = "\"Size\" " + std::to_string(file.size) + " is below 0";
        return false;
    }
    // Looked up only when present: a lookup of a missing key adds it to the entry's table,
    // which for a million entries without hashes is a hundred MiB.
    cJson::Node* sha256 = entry->kind != cJson::Node::eJsonNode ||
                                  static_cast<cJson::JsonNode*>(entry)->Members().HasEntry("SHA256")
                              ? entry->GetNode("SHA256")
                              : nullptr;
    if (sha256 != nullptr &&
        (sha256->GetString() == nullptr || !ReadSha256(sha256->GetString(), file.sha256))) {
        problem = "\"SHA256\" is not 64 hexadecimal digits";
        return false;
    }
    if (const char* reason = NameRefusal(file.name, windowsNames)) {
        problem = "refused name \"" + file.name + "\" (" + reason + ")";
        return false;
    }
    // Separators are found in the UTF-8 name, where no byte of another character is one.
    const std::optional<std::string> localPath = platform::PathFromUtf8(LocalPathOf(file.name));
    if (!localPath) {
        problem = "refused name \"" + file.name +
                  "\" (not UTF-8, or a character this system's file names cannot hold)";
        return false;
    }
    file.localPath = *localPath;
    if (FileUrlOf(longestBase, file.name).size() >= kFileUrlSize) {
        problem = "URL too long";
        return false;
    }
    return true;
}

}  // namespace

bool ReadManifest(cJson& document, Manifest& manifest, std::string& problem, bool windowsNames) {
    cJson::Node* root = document.root;
    if (root == nullptr) {
        problem = "not a JSON object";
        return false;
    }
    if (!ReadTopLevel(root, manifest, problem)) {
        return false;
    }
    cJson::Node* list = root->Find("FileList");
    if (list == nullptr && manifest.totalCount > 0) {
        problem = "\"FileList\" missing";
        return false;
    }
    if (list != nullptr && list->kind == cJson::Node::eJsonNodes) {
        manifest.files.reserve(static_cast<size_t>(
            std::min<int64_t>(manifest.totalCount, static_cast<cJson::JsonNodes*>(list)->Count())));
    }
    std::string longestBase = manifest.url;
    for (const std::string& mirror : manifest.mirrors) {
        longestBase = mirror.size() > longestBase.size() ? mirror : longestBase;
    }
    for (int32_t i = 0; i < manifest.totalCount; ++i) {
        cJson::Node* entry = list->GetNode(i);
        if (entry == nullptr) {
            problem = "\"TotalCount\" " + std::to_string(manifest.totalCount) + " exceeds the " +
                      std::to_string(i) + " entries of \"FileList\"";
            return false;
        }
        ManifestEntry file;
        if (!ReadEntry(entry, longestBase, windowsNames, file, problem)) {
            problem = "entry " + std::to_string(i) + ": " + problem;
            return false;
        }
        manifest.files.push_back(file);
        // Its values go as soon as it is packed: the tree of a long list must not stay whole
        // beside the packed list.
        entry->Clear();
    }
    manifest.files.shrink_to_fit();
    // Two transfers must never write one file.
    const int64_t repeated = FirstRepeatedFile(manifest.files, windowsNames);
    if (repeated >= 0) {
        problem = "entry " + std::to_string(repeated) + ": \"" + manifest.files[repeated].name +
                  "\" listed twice";
        return false;
    }
    return true;
}
