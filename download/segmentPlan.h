// A large file fetched by several connections at once: its missing bytes as segments, each
// taken by at most one transfer, and the record that lets a later start fetch only what is
// missing.
//
// The record is the rule that makes this safe across a crash, kill -9 or a power cut. It lists
// the gaps, the ranges not known to be on the disk, and is rewritten whole (a temporary file
// written out to the disk, then renamed over it). A gap only ever shrinks after the bytes it
// gives up have been written out to the disk (FlushToDisk), so the record never claims a byte
// that is not there; it may claim less, which a later start fetches again. It is written before
// a second transfer writes its first byte at the split offset, so a file with bytes beyond a
// hole always has a record; it is removed only once the file is whole (and matched its hash).
// A file without a record resumes from its size on disk, as any single transfer does.
//
// The record lives in the work folder ("segments-<key>.txt", the key as the verified-file
// record's), which only the user may write and where no name of the package can stand: its
// first line "segments <length>", then one "<from> <to>" line per gap, in order.
//
// Splitting: a file of at least two smallest segments is split only while no other file waits
// to start, by a free connection, which takes the upper half of the running segment with most
// left (the bytes nobody fetches yet, so the running transfer goes on where it is, and each
// half still pays for its new request). Fewer, larger segments keep the record and the number of
// requests small; the connection limit bounds the transfers.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class SegmentPlan {
public:
    // A new transfer takes a half of at least this much; files below twice it are never split.
    static constexpr int64_t kMinSegment = 8 * 1024 * 1024;
    // What Next answers when no gap is left to take.
    static constexpr int kOthersBusy = -1;
    static constexpr int kWhole = -2;

    // `recordPath`: where the record of a file of `length` bytes is kept.
    SegmentPlan(std::string recordPath, int64_t length);

    // Reads the record. False when it cannot be trusted (unreadable, another length, or claims
    // bytes past the end of the file of `sizeOnDisk` bytes) or claims no byte: the file must
    // start over.
    bool Load(int64_t sizeOnDisk);
    // Bytes outside the gaps of the loaded record; -1 when none was loaded.
    int64_t HeldAtLoad() const { return heldAtLoad; }

    // The first transfer, whose answer honours ranges, owns the rest of the file from
    // `offset`; the segment's index, or -1 when the plan has segments already.
    int Open(int64_t offset);
    // A gap nobody fetches, taken; -1 when there is none.
    int Take();
    // Takes a gap nobody fetches, or else splits the running segment with most left in half
    // (when both halves are at least kMinSegment) and takes the upper half; -1 when neither.
    int TakeOrSplit();
    // The most a TakeOrSplit would hand out now; 0 when nothing.
    int64_t Spare();

    // Where segment `index` continues, and where it ends now (a split moves its end closer).
    int64_t At(int index);
    int64_t End(int index);
    // Bytes up to `offset` were written (`durable`: and written out to the disk).
    void Wrote(int index, int64_t offset, bool durable);
    // Whether the record exists: then a segment's progress must be made durable to count.
    bool Recorded();

    // Segment `index` is fetched whole and written out: takes the next gap (its index), or
    // answers kOthersBusy (other transfers still fetch) or kWhole (the file is complete).
    int Next(int index);
    // The transfer of segment `index` ends before its end: the gap is left for another. True
    // when other transfers still fetch parts of the file; else the plan takes no more.
    bool Release(int index);
    // The server ignores ranges: no more splits. With other transfers still fetching, the gap
    // is left to them (true); else the plan is dropped and the file is fetched whole (false).
    bool Abandon(int index);
    // The file is whole, or starts over: no segments, no record.
    void Close();

    // Bytes of the file its transfers added to the window's counters.
    std::atomic<int64_t> counted{0};

private:
    struct Segment {
        int64_t durable = 0;  // bytes before it are on the disk
        int64_t at = 0;       // bytes before it are written (not necessarily on the disk)
        int64_t to = 0;
        bool taken = false;
    };
    // Under `guard`.
    bool BusyLocked() const;
    int TakeLocked();
    // False when the record could not be written.
    bool SaveLocked();

    std::mutex guard;
    const std::string recordPath;
    const int64_t length;
    int64_t heldAtLoad = -1;
    bool recorded = false;
    bool splittable = true;
    bool over = false;  // the last transfer has left: nothing more is taken
    std::vector<Segment> segments;
};
