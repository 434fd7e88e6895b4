#include "download/manifestNames.h"

#include <algorithm>
#include <cctype>
#include <cstring>

bool IsNameSeparator(char c) {
    return c == '/' || c == '\\';
}

const char* UnsafeNameReason(const std::string& name) {
    if (name.empty()) {
        return "empty name";
    }
    if (name.size() >= kManifestNameSize) {
        return "name too long";
    }
    if (IsNameSeparator(name.front())) {
        return "absolute path";
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsNameSeparator(name[end])) {
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

const char* DeviceNameReason(const std::string& name) {
    static constexpr const char* kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    size_t start = 0;
    while (start < name.size()) {
        size_t end = start;
        while (end < name.size() && !IsNameSeparator(name[end])) {
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

const char* NameRefusal(const std::string& name, bool windowsNames) {
    const char* reason = UnsafeNameReason(name);
    return reason == nullptr && windowsNames ? DeviceNameReason(name) : reason;
}

std::string FoldAsciiCase(std::string key) {
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

bool IsHttpUrl(const std::string& url) {
    std::string scheme = url.substr(0, url.find(':'));
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return (scheme == "http" || scheme == "https") && url.compare(scheme.size(), 3, "://") == 0;
}

const char* MirrorUrlProblem(const std::string& url) {
    if (!IsHttpUrl(url)) {
        return "is not an http or https address";
    }
    const size_t host = url.find("://") + 3;
    if (host >= url.size() || url[host] == '/') {
        return "names no host";
    }
    if (url.back() != '/') {
        return "does not end in \"/\"";
    }
    if (url.size() >= kFileUrlSize) {
        return "is too long";
    }
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7f || std::strchr("\"\\,{}[]", c) != nullptr) {
            return "holds a blank, a control character or one of \" \\ , { } [ ]";
        }
    }
    return nullptr;
}
