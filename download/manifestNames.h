// The rules a manifest's names follow, written once for the downloader, which refuses a manifest
// that breaks them, and for the publisher tool, which refuses to list such a name.
#pragma once

#include <cstddef>
#include <string>

// Longest name and URL a transfer holds (with the terminating zero).
inline constexpr size_t kManifestNameSize = 256;

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
