// What makes a fetched manifest trusted, checked wherever the engine takes "file.json": its size
// within a limit no real package reaches, the publisher's signature over its exact bytes when a
// key is built in (and then a hash for every entry), and a "TotalSize" that is the sum of the
// listed sizes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/manifest.h"

// A million entries take about 40 MB.
inline constexpr int64_t kManifestSizeLimit = int64_t{64} << 20;
// The signature file is exactly one signature; anything longer is not one.
inline constexpr int64_t kSignatureSizeLimit = 64;
inline constexpr const char* kManifestName = "file.json";
inline constexpr const char* kSignatureName = "file.json.sig";

// The publisher's public key built into the program (platform/signature.h); empty when the
// build takes unsigned manifests.
std::string_view BuiltInManifestKey();
// The key the engine checks with: the built-in one, unless another has been put in its place
// (the tests of an unsigned build's engine do), which happens while no engine thread runs.
std::string_view ManifestKey();
void UseManifestKey(std::string_view key);

// Reads the manifest at `manifestPath` and, with a key, its signature at `signaturePath`, from
// the current folder, and checks them as described above. False with `problem` set to the
// reason the user is shown.
bool LoadCheckedManifest(const char* manifestPath, const char* signaturePath, Manifest& manifest,
                         std::string& problem, std::string_view key = ManifestKey());
