// The rules a manifest's names and mirrors follow, written once for the downloader, which refuses a
// manifest that breaks them, and for the publisher tool, which refuses to list such a name.
#pragma once

#include <cstddef>
#include <string>

// Longest name and URL a transfer holds (with the terminating zero).
inline constexpr size_t kManifestNameSize = 256;
inline constexpr size_t kFileUrlSize = 1024;
// Most mirrors a manifest may name beside "URL".
inline constexpr size_t kMostMirrors = 8;

// "/" and "\" both separate a name's components.
bool IsNameSeparator(char c);
// Null when `name` stays inside the download folder, else why it does not.
const char* UnsafeNameReason(const std::string& name);
// Null when no component of `name` is a Windows device name, else why.
const char* DeviceNameReason(const std::string& name);
// Null when a downloader takes `name`, else why not: every downloader refuses unsafe names,
// one with Windows' rules (`windowsNames`) device names too.
const char* NameRefusal(const std::string& name, bool windowsNames);
// `key` with its ASCII letters in lower case: on Windows two names whose folded keys are equal
// are one file ("A.bin" and "a.bin").
std::string FoldAsciiCase(std::string key);
// Whether `url` is an http or https address (scheme in any case): the files come from a web
// server, any other scheme (file, ftp, ...) is refused.
bool IsHttpUrl(const std::string& url);
// Null when `url` may serve as a mirror's base address, else why not: an http or https address
// with a host, ending in "/", without bytes the manifest's reader would not keep as they stand.
const char* MirrorUrlProblem(const std::string& url);
