#include "download/manifestCheck.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "core/wholeFile.h"
#include "json/cJson.h"
#include "platform/files.h"
#include "platform/signature.h"

namespace {

// Null when the signature at `path` is the key's over `bytes`, else why not.
const char* SignatureProblem(std::string_view key, const std::string& bytes, const char* path) {
    core::ReadFailure failure;
    const std::optional<std::string> signature =
        core::ReadWholeFile(path, kSignatureSizeLimit, &failure);
    if (!signature && failure != core::ReadFailure::kTooLong) {
        return "has no signature (file.json.sig)";
    }
    if (!signature || signature->size() != platform::kSignatureSize) {
        return "has a malformed signature (file.json.sig)";
    }
    if (!platform::VerifySignature(key, bytes, *signature)) {
        return "is not signed by the publisher (wrong signature)";
    }
    return nullptr;
}

// Entries and total that contradict each other, or an unhashed entry in a signed manifest.
bool CheckEntries(const Manifest& manifest, bool hashesRequired, std::string& problem) {
    int64_t sum = 0;
    for (size_t i = 0; i < manifest.files.size(); ++i) {
        const ManifestEntry& entry = manifest.files[i];
        if (hashesRequired && entry.sha256.empty()) {
            problem = "entry " + std::to_string(i) + ": \"" + entry.name +
                      "\" has no \"SHA256\", which a signed manifest needs for every file";
            return false;
        }
        // Sizes are at least 0: the sum only overflows past what any disk holds.
        if (entry.size > INT64_MAX - sum) {
            problem = "the entries' sizes add up beyond any disk";
            return false;
        }
        sum += entry.size;
    }
    if (sum != manifest.totalSize) {
        problem = "\"TotalSize\" " + std::to_string(manifest.totalSize) +
                  " is not the sum of the entries' sizes (" + std::to_string(sum) + ")";
        return false;
    }
    return true;
}

// Set only while no engine thread runs.
std::optional<std::string>& ReplacedKey() {
    static std::optional<std::string> key;
    return key;
}

}  // namespace

std::string_view ManifestKey() {
    const std::optional<std::string>& key = ReplacedKey();
    return key ? std::string_view(*key) : BuiltInManifestKey();
}

void UseManifestKey(std::string_view key) {
    ReplacedKey() = std::string(key);
}

bool LoadCheckedManifest(const char* manifestPath, const char* signaturePath, Manifest& manifest,
                         std::string& problem, std::string_view key) {
    core::ReadFailure failure;
    const std::optional<std::string> bytes =
        core::ReadWholeFile(manifestPath, kManifestSizeLimit, &failure);
    if (!bytes) {
        problem = failure == core::ReadFailure::kTooLong
                      ? "is larger than " + std::to_string(kManifestSizeLimit >> 20) + " MiB"
                      : "cannot be read";
        return false;
    }
    if (!key.empty()) {
        if (const char* reason = SignatureProblem(key, *bytes, signaturePath)) {
            problem = reason;
            return false;
        }
    }
    cJson document;
    if (!document.Parse(bytes->c_str())) {
        problem = "is not a JSON object";
        return false;
    }
    return ReadManifest(document, manifest, problem) &&
           CheckEntries(manifest, !key.empty(), problem);
}
