// libFuzzer target: the manifest rules on any document. Whatever ReadManifest accepts must be
// safe to act on: a count that matches the entries, names that stay inside the download folder
// and are listed once, a few web mirrors, and file URLs that fit the transfer at every server.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "download/manifest.h"
#include "json/cJson.h"
#include "platform/system.h"

namespace {

void Require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// No component of an accepted local path may climb out or name a drive or stream.
void CheckLocalPath(const std::string& path) {
    Require(!path.empty() && path.size() < kManifestNameSize);
    Require(path.front() != platform::kPathSeparator);
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(path.find(platform::kPathSeparator, start), path.size());
        const std::string component = path.substr(start, end - start);
        Require(!component.empty() && component != "." && component != "..");
        Require(component.back() != '.' && component.back() != ' ');
        if (end == path.size()) {
            break;
        }
        start = end + 1;
    }
    Require(path.find(':') == std::string::npos);
    Require(path.find('/') == std::string::npos || platform::kPathSeparator == '/');
    Require(path.find('\\') == std::string::npos || platform::kPathSeparator == '\\');
}

// The name's bytes after the base URL: only URL path characters, so that nothing in a name
// changes the server or the query.
void CheckFileUrl(const std::string& base, const std::string& url) {
    Require(url.compare(0, base.size(), base) == 0 && url.size() < kFileUrlSize);
    for (size_t at = base.size(); at < url.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(url[at]);
        Require(c > 0x20 && c < 0x7f && std::strchr("#?\\\"<>`{}|^", c) == nullptr);
        if (c == '%') {
            Require(at + 2 < url.size() && std::isxdigit(static_cast<unsigned char>(url[at + 1])) &&
                    std::isxdigit(static_cast<unsigned char>(url[at + 2])));
        }
    }
}

// An http or https address.
bool IsWebAddress(const std::string& url) {
    std::string scheme = url.substr(0, 8);
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return scheme.compare(0, 7, "http://") == 0 || scheme == "https://";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = std::make_unique<char[]>(size + 1);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';

    cJson document;
    if (!document.Parse(text.get())) {
        return 0;
    }
    Manifest manifest;
    std::string problem;
    if (!ReadManifest(document, manifest, problem)) {
        Require(!problem.empty());
        return 0;
    }
    Require(problem.empty());
    Require(manifest.totalCount >= 0 &&
            manifest.files.size() == static_cast<size_t>(manifest.totalCount));
    Require(IsWebAddress(manifest.url));
    Require(manifest.mirrors.size() <= kMostMirrors);
    for (const std::string& mirror : manifest.mirrors) {
        Require(IsWebAddress(mirror) && mirror.back() == '/');
    }
    std::set<std::string> paths;
    for (const ManifestEntry& entry : manifest.files) {
        Require(UnsafeNameReason(entry.name) == nullptr);
        Require(entry.localPath == LocalPathOf(entry.name));
        CheckLocalPath(entry.localPath);
        Require(paths.insert(entry.localPath).second);
        CheckFileUrl(manifest.url, FileUrlOf(manifest.url, entry.name));
        for (const std::string& mirror : manifest.mirrors) {
            CheckFileUrl(mirror, FileUrlOf(mirror, entry.name));
        }
        IsLaunchName(entry.name);
    }
    return 0;
}
