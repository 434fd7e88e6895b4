// A budget of bytes a second shared by every transfer that reads through it: a token bucket
// that transfers draw from after each read and wait on before the next, so that what they
// leave unread backs up into the connections and the server slows down to the budget.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

class RateLimit {
public:
    // Microseconds of a steady clock; tests pass their own.
    using Clock = std::function<int64_t()>;
    // The bucket holds at most this share of a second's budget: a pause does not turn into a
    // burst later.
    static constexpr int64_t kBurstDivisor = 10;
    // Reads are cut to this share of a second's budget (within the bounds below), so that the
    // transfers take turns in small steps.
    static constexpr int64_t kReadDivisor = 20;
    static constexpr int64_t kSmallestRead = 16 * 1024;

    RateLimit();
    explicit RateLimit(Clock clock);

    // 0: no limit. Takes effect at once, for reads in flight too: the bucket starts empty.
    void SetRate(int64_t bytesPerSecond);
    int64_t Rate() const;
    // How many bytes the next read may ask for, at most `bufferSize`.
    int64_t ReadSize(int64_t bufferSize) const;
    // `count` bytes were read.
    void Take(int64_t count);
    // Milliseconds until the next read may begin; 0: at once.
    uint32_t Delay();

private:
    // Adds what the time since the last refill earned, under `guard`.
    void Refill(int64_t now);

    Clock clock;
    mutable std::mutex guard;
    int64_t rate = 0;      // bytes a second; 0: no limit
    int64_t tokens = 0;    // bytes that may be read now; negative: owed
    int64_t refilled = 0;  // the clock when `tokens` was last brought up to date
};

// The limit every file transfer of the program keeps to together (the user's setting).
RateLimit& DownloadRateLimit();
