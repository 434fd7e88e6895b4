#include "download/segmentPlan.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <sstream>
#include <utility>

#include "core/wholeFile.h"
#include "download/localFile.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

constexpr const char* kRecordTag = "segments";

// The whole record; empty when it cannot be read.
std::string ReadRecord(const std::string& path) {
    return core::ReadWholeFile(path.c_str()).value_or(std::string());
}

}  // namespace

SegmentPlan::SegmentPlan(std::string recordPath, int64_t length)
    : recordPath(std::move(recordPath)), length(length) {}

bool SegmentPlan::Load(int64_t sizeOnDisk) {
    std::lock_guard<std::mutex> lock(guard);
    // No transfer of the file runs yet, so no rewrite of the record is under way.
    platform::RemoveLeftoverCopies(recordPath.c_str());
    const std::string text = ReadRecord(recordPath);
    if (text.empty()) {
        return true;
    }
    std::istringstream in(text);
    std::string tag;
    int64_t listed = -1;
    bool trusted = in >> tag >> listed && tag == kRecordTag && listed == length;
    // Gaps in order, apart, inside the file. The file must reach the last byte they claim.
    int64_t previous = 0;
    int64_t lastClaimed = 0;
    int64_t gapBytes = 0;
    for (int64_t from = 0, to = 0; trusted && in >> from >> to;) {
        trusted = from >= previous && from < to && to <= length;
        if (from > previous) {
            lastClaimed = from;
        }
        segments.push_back({from, from, to, false});
        gapBytes += to - from;
        previous = to;
    }
    trusted = trusted && in.eof();
    if (previous < length) {
        lastClaimed = length;
    }
    // A record that claims nothing keeps nothing either: the file's bytes may lie above holes.
    if (!trusted || sizeOnDisk < lastClaimed || gapBytes == length) {
        segments.clear();
        platform::RemoveFile(recordPath.c_str());
        return false;
    }
    recorded = true;
    heldAtLoad = length - gapBytes;
    return true;
}

int SegmentPlan::Open(int64_t offset) {
    std::lock_guard<std::mutex> lock(guard);
    if (!segments.empty() || offset >= length) {
        return -1;
    }
    segments.push_back({offset, offset, length, true});
    return 0;
}

int SegmentPlan::Take() {
    std::lock_guard<std::mutex> lock(guard);
    return TakeLocked();
}

int SegmentPlan::TakeLocked() {
    if (over) {
        return -1;
    }
    for (size_t i = 0; i < segments.size(); ++i) {
        Segment& segment = segments[i];
        if (!segment.taken && segment.at < segment.to) {
            segment.taken = true;
            return static_cast<int>(i);
        }
    }
    return -1;
}

int64_t SegmentPlan::Spare() {
    std::lock_guard<std::mutex> lock(guard);
    if (over) {
        return 0;
    }
    int64_t most = 0;
    for (const Segment& segment : segments) {
        const int64_t left = segment.to - segment.at;
        if (!segment.taken) {
            most = std::max(most, left);
        } else if (splittable && left >= 2 * kMinSegment) {
            most = std::max(most, left / 2);
        }
    }
    return most;
}

int SegmentPlan::TakeOrSplit() {
    std::lock_guard<std::mutex> lock(guard);
    if (const int gap = TakeLocked(); gap >= 0) {
        return gap;
    }
    Segment* widest = nullptr;
    for (Segment& segment : segments) {
        if (segment.taken &&
            (widest == nullptr || segment.to - segment.at > widest->to - widest->at)) {
            widest = &segment;
        }
    }
    if (!splittable || !widest || widest->to - widest->at < 2 * kMinSegment) {
        return -1;
    }
    // Its transfer writes at most one buffer (well below kMinSegment) past `at` before it reads
    // the new end, so no byte above the split is written twice.
    const int64_t split = widest->at + (widest->to - widest->at) / 2;
    const Segment upper{split, split, widest->to, true};
    const int64_t end = widest->to;
    widest->to = split;
    segments.push_back(upper);
    // Before the new transfer writes its first byte above a hole; without a record, no split.
    if (!SaveLocked()) {
        segments.pop_back();
        segments.back().to = end;
        return -1;
    }
    return static_cast<int>(segments.size() - 1);
}

int64_t SegmentPlan::At(int index) {
    std::lock_guard<std::mutex> lock(guard);
    return segments.at(static_cast<size_t>(index)).at;
}

int64_t SegmentPlan::End(int index) {
    std::lock_guard<std::mutex> lock(guard);
    return segments.at(static_cast<size_t>(index)).to;
}

void SegmentPlan::Wrote(int index, int64_t offset, bool durable) {
    std::lock_guard<std::mutex> lock(guard);
    Segment& segment = segments.at(static_cast<size_t>(index));
    segment.at = offset;
    if (durable && offset > segment.durable) {
        segment.durable = offset;
        if (recorded) {
            SaveLocked();
        }
    }
}

bool SegmentPlan::Recorded() {
    std::lock_guard<std::mutex> lock(guard);
    return recorded;
}

int SegmentPlan::Next(int index) {
    std::lock_guard<std::mutex> lock(guard);
    segments.at(static_cast<size_t>(index)).taken = false;
    if (const int gap = TakeLocked(); gap >= 0) {
        return gap;
    }
    return BusyLocked() ? kOthersBusy : kWhole;
}

bool SegmentPlan::Release(int index) {
    std::lock_guard<std::mutex> lock(guard);
    if (static_cast<size_t>(index) < segments.size()) {
        segments[static_cast<size_t>(index)].taken = false;
    }
    // The last transfer's end is the file's: no later one may take up what it left.
    over = !BusyLocked();
    return !over;
}

bool SegmentPlan::Abandon(int index) {
    std::lock_guard<std::mutex> lock(guard);
    splittable = false;
    segments.at(static_cast<size_t>(index)).taken = false;
    if (BusyLocked()) {
        return true;
    }
    segments.clear();
    recorded = false;
    platform::RemoveFile(recordPath.c_str());
    return false;
}

void SegmentPlan::Close() {
    std::lock_guard<std::mutex> lock(guard);
    segments.clear();
    if (recorded) {
        recorded = false;
        platform::RemoveFile(recordPath.c_str());
    }
}

bool SegmentPlan::BusyLocked() const {
    for (const Segment& segment : segments) {
        if (segment.taken) {
            return true;
        }
    }
    return false;
}

bool SegmentPlan::SaveLocked() {
    char line[64];
    std::snprintf(line, sizeof line, "%s %" PRId64 "\n", kRecordTag, length);
    std::string text = line;
    std::vector<std::pair<int64_t, int64_t>> gaps;
    for (const Segment& segment : segments) {
        if (segment.durable < segment.to) {
            gaps.emplace_back(segment.durable, segment.to);
        }
    }
    std::sort(gaps.begin(), gaps.end());
    for (const auto& [from, to] : gaps) {
        std::snprintf(line, sizeof line, "%" PRId64 " %" PRId64 "\n", from, to);
        text += line;
    }
    // Unsaved, the old record stays, which claims no more than this one: only more is fetched
    // again.
    const bool saved = platform::ReplaceFileAtomically(recordPath.c_str(), text);
    recorded = saved || recorded;
    return saved;
}
