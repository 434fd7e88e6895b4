#include "core/trustedPaths.h"

#include "core/documentText.h"
#include "core/folderWalk.h"
#include "platform/sha256.h"
#include "platform/system.h"

namespace core {

namespace {

constexpr size_t kLongestLine = 200;

// A user who refuses the administrator's rights has said no: nothing starts, on every system.
// An installer that needs those rights would only fail half-way without them.
constexpr platform::WhenElevationRefused kWhenElevationRefused =
    platform::WhenElevationRefused::kStartNothing;

std::string Refused(const std::string& name, const char* why) {
    return name + " " + why;
}

// The bytes of `line` that fit `limit` without splitting a character of the paths' encoding.
size_t CutPoint(const std::string& line, size_t limit) {
    size_t at = 0;
    while (at < line.size()) {
        size_t next = at + 1;
        if (kPathCodePage != 0) {
            if (IsLeadByte(static_cast<unsigned char>(line[at]), kPathCodePage)) {
                next = at + 2;
            }
        } else {
            while (next < line.size() && (static_cast<unsigned char>(line[next]) & 0xC0) == 0x80) {
                ++next;  // a UTF-8 character's continuation
            }
        }
        if (next > limit) {
            break;
        }
        at = next;
    }
    return at;
}

}  // namespace

std::string TrustRefusal(const std::vector<platform::PathStep>& steps, bool lastIsUsed) {
    for (size_t i = 0; i < steps.size(); ++i) {
        const platform::TrustFacts& facts = steps[i].facts;
        const bool used = lastIsUsed && i + 1 == steps.size();
        if (!facts.ownedByUserOrAdmin) {
            return Refused(steps[i].name, "belongs to another user");
        }
        if (facts.othersWrite == platform::OthersWrite::kAny ||
            (used && facts.othersWrite != platform::OthersWrite::kNone)) {
            return Refused(steps[i].name, "can be changed by other users");
        }
    }
    return "";
}

std::string OpenTrustedFolder(const char* path, platform::Held& held) {
    platform::OpenedPath opened = platform::OpenFolderFromRoot(path);
    if (!opened.item.IsOpen()) {
        return opened.failure;
    }
    std::string refusal = TrustRefusal(opened.steps);
    if (refusal.empty()) {
        held = std::move(opened.item);
    }
    return refusal;
}

std::string DownloadFolderRefusal(const char* path) {
    platform::Held held;
    std::string refusal = OpenTrustedFolder(path, held);
    if (held.IsOpen() || platform::InspectFolder(path).exists) {
        return refusal;
    }
    // Not made yet: it will be made in the nearest folder that exists, which must keep it ours.
    std::string folder = path;
    std::vector<size_t> separators = SeparatorsIn(folder, platform::kPathSeparator, kPathCodePage);
    while (!separators.empty()) {
        folder.resize(separators.back() == 0 ? 1 : separators.back());
        separators.pop_back();
        if (folder.back() == ':') {
            folder += platform::kPathSeparator;  // a drive's root
        }
        if (!platform::InspectFolder(folder.c_str()).exists) {
            continue;
        }
        platform::OpenedPath above = platform::OpenFolderFromRoot(folder.c_str());
        return above.item.IsOpen() ? TrustRefusal(above.steps, false) : above.failure;
    }
    return refusal;
}

std::string EnterDownloadFolder(const char* path) {
    platform::Held held;
    std::string refusal = OpenTrustedFolder(path, held);
    if (refusal.empty() && !platform::EnterHeldFolder(held)) {
        refusal = Refused(path, "cannot be entered");
    }
    return refusal;
}

std::string LaunchCheckedFile(const char* folder, const char* name, const std::string& sha256,
                              bool& started) {
    started = false;
    // Without a hash nothing tells the file that arrived from another one.
    if (sha256.empty()) {
        return Refused(name, "has no hash in file.json");
    }
    platform::Held held;
    if (std::string refusal = OpenTrustedFolder(folder, held); !refusal.empty()) {
        return refusal;
    }
    platform::OpenedPath file = platform::OpenFileBelow(held, name);
    if (!file.item.IsOpen()) {
        return file.failure;
    }
    if (!file.steps.back().facts.isRegularFile) {
        return Refused(name, "is not a regular file");
    }
    if (std::string refusal = TrustRefusal(file.steps); !refusal.empty()) {
        return refusal;
    }
    platform::Sha256 digest;
    char buffer[65536];
    int64_t got;
    while ((got = platform::ReadHeld(file.item, buffer, sizeof buffer)) > 0) {
        digest.Update(buffer, static_cast<size_t>(got));
    }
    if (got < 0 || digest.FinishHex() != sha256) {
        return Refused(name, "does not match its hash in file.json");
    }
    // Nobody else can change the file or a folder above it (checked above); started from the
    // checked folder, and only while its name still leads to the file that was hashed.
    if (!platform::EnterHeldFolder(held)) {
        return Refused(folder, "cannot be entered");
    }
    switch (platform::LaunchHeldFile(file.item, name, kWhenElevationRefused)) {
        case platform::HeldLaunch::kStarted:
            started = true;
            return "";
        case platform::HeldLaunch::kChanged:
            return Refused(name, "changed after its check");
        case platform::HeldLaunch::kNotStarted:
            break;
    }
    return "";
}

std::string CutLongLines(const std::string& text) {
    std::string cut;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        cut += line.size() <= kLongestLine ? line
                                           : line.substr(0, CutPoint(line, kLongestLine)) + "...";
        if (end < text.size()) {
            cut += '\n';
        }
        start = end + 1;
    }
    return cut;
}

}  // namespace core
