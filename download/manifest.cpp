#include "download/manifest.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <set>

#include "app/documentText.h"
#include "app/folderWalk.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

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

// The files come from a web server; any other scheme (file, ftp, ...) is refused.
bool IsHttpUrl(const std::string& url) {
    std::string scheme = url.substr(0, url.find(':'));
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return (scheme == "http" || scheme == "https") && url.compare(scheme.size(), 3, "://") == 0;
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

}  // namespace

const char* UnsafeNameReason(const std::string& name) {
    if (name.empty()) {
        return "empty name";
    }
    if (name.size() >= kManifestNameSize) {
        return "name too long";
    }
    if (IsSeparator(name.front())) {
        return "absolute path";
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) {
            ++end;
        }
        const std::string component = name.substr(start, end - start);
        if (component.empty()) {
            return "empty path component";
        }
        // Windows drops trailing dots and blanks, so "..", ". ." and "... " all climb up.
        if (component.back() == '.' || component.back() == ' ') {
            return "component ending in a dot or blank";
        }
        start = end + 1;
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) {
            return "control character";
        }
        if (c == ':') {
            return "drive or stream name";
        }
    }
    return nullptr;
}

std::string LocalPathOf(const std::string& name) {
    std::string path = name;
    for (char& c : path) {
        if (IsSeparator(c)) {
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
        app::SeparatorsIn(localPath, platform::kPathSeparator, app::kPathCodePage);
    if (!separators.empty()) {
        platform::CreateFoldersBelow(localPath.substr(0, separators.back()).c_str());
    }
}

const char* DeviceNameReason(const std::string& name) {
    static constexpr const char* kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    size_t start = 0;
    while (start < name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) {
            ++end;
        }
        // The stem before any extension, as Windows compares it: blanks before the dot and case
        // do not count.
        std::string stem = name.substr(start, std::min(name.find('.', start), end) - start);
        while (!stem.empty() && stem.back() == ' ') {
            stem.pop_back();
        }
        for (char& c : stem) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        bool device = false;
        for (const char* reserved : kDevices) {
            device |= stem == reserved;
        }
        device |= stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                  stem[3] >= '1' && stem[3] <= '9';
        if (device) {
            return "device name";
        }
        start = end + 1;
    }
    return nullptr;
}

bool ReadManifest(cJson& document, Manifest& manifest, std::string& problem, bool windowsNames) {
    cJson::Node* root = document.root;
    if (root == nullptr) {
        problem = "not a JSON object";
        return false;
    }
    int64_t totalCount = 0;
    if (!ReadNumber(root->Find("TotalCount"), totalCount) || totalCount < 0 ||
        totalCount > INT32_MAX) {
        problem = "\"TotalCount\" missing or not a count";
        return false;
    }
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
    manifest.totalCount = static_cast<int32_t>(totalCount);
    cJson::Node* list = root->Find("FileList");
    if (list == nullptr && totalCount > 0) {
        problem = "\"FileList\" missing";
        return false;
    }
    std::set<std::string> localPaths;
    for (int32_t i = 0; i < manifest.totalCount; ++i) {
        cJson::Node* entry = list->GetNode(i);
        const std::string where = "entry " + std::to_string(i) + ": ";
        if (entry == nullptr) {
            problem = "\"TotalCount\" " + std::to_string(totalCount) + " exceeds the " +
                      std::to_string(i) + " entries of \"FileList\"";
            return false;
        }
        cJson::Node* name = entry->GetNode("Name");
        ManifestEntry file;
        if (name == nullptr || name->GetString() == nullptr) {
            problem = where + "\"Name\" missing";
            return false;
        }
        file.name = name->GetString();
        if (!ReadNumber(entry->GetNode("Size"), file.size)) {
            problem = where + "\"Size\" missing or not a number";
            return false;
        }
        if (file.size < 0) {
            problem = where + "\"Size\" " + std::to_string(file.size) + " is below 0";
            return false;
        }
        if (cJson::Node* sha256 = entry->GetNode("SHA256")) {
            if (sha256->GetString() == nullptr || !ReadSha256(sha256->GetString(), file.sha256)) {
                problem = where + "\"SHA256\" is not 64 hexadecimal digits";
                return false;
            }
        }
        const char* reason = UnsafeNameReason(file.name);
        if (reason == nullptr && windowsNames) {
            reason = DeviceNameReason(file.name);
        }
        if (reason != nullptr) {
            problem = where + "refused name \"" + file.name + "\" (" + reason + ")";
            return false;
        }
        // Separators are found in the UTF-8 name, where no byte of another character is one.
        const std::optional<std::string> localPath = platform::PathFromUtf8(LocalPathOf(file.name));
        if (!localPath) {
            problem = where + "refused name \"" + file.name +
                      "\" (not UTF-8, or a character this system's file names cannot hold)";
            return false;
        }
        file.localPath = *localPath;
        // Two transfers must never write one file: on Windows "A.bin" and "a.bin" are one. The
        // system's key folds every letter where it has those rules; the ASCII ones are folded
        // here too, in the key's UTF-8, whose bytes of other characters are never ASCII letters.
        std::string key = file.localPath;
        if (windowsNames) {
            key = platform::FileNameKey(file.localPath);
            for (char& c : key) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        if (!localPaths.insert(key).second) {
            problem = where + "\"" + file.name + "\" listed twice";
            return false;
        }
        if (FileUrlOf(manifest.url, file.name).size() >= kFileUrlSize) {
            problem = where + "URL too long";
            return false;
        }
        manifest.files.push_back(std::move(file));
    }
    return true;
}
