// A budget of bytes a second shared by every transfer that reads through it: a token bucket
// that transfers draw from after each read and wait on before the next, so that what they
// leave unread backs up into the connections and the server slows down to the budget.
#pragma once

#include <condition_variable>
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
    // A transfer reads this share of a second's budget (within the bounds below) between two
    // waits, so that the transfers take turns in small steps.
    static constexpr int64_t kTurnDivisor = 20;
    static constexpr int64_t kSmallestTurn = 16 * 1024;

    RateLimit();
    explicit RateLimit(Clock clock);

    // 0: no limit. Takes effect at once, for reads in flight too: the bucket starts empty.
    void SetRate(int64_t bytesPerSecond);
    int64_t Rate() const;
    // How many bytes a transfer may read in its next turn, at most `bufferSize`; 0 with no
    // limit (no turns: a limit set later holds from the next read on).
    int64_t TurnSize(int64_t bufferSize) const;
    // `count` bytes were read.
    void Take(int64_t count);
    // Milliseconds until the next read may begin; 0: at once.
    uint32_t Delay();
    // Sleeps until the next turn may begin: true then, false once `stopped` says so. A changed
    // rate and `Wake` end the sleep early for a fresh look, so nobody polls meanwhile.
    bool AwaitTurn(const std::function<bool()>& stopped);
    // Every sleeper looks again (one of them is being stopped).
    void Wake();

private:
    // Delay under `guard`.
    uint32_t DelayHeld();
    // Adds what the time since the last refill earned, under `guard`.
    void Refill(int64_t now);

    Clock clock;
    mutable std::mutex guard;
    std::condition_variable turn;
    uint64_t rateChanges = 0;  // a sleeper that sees it move looks again
    int64_t rate = 0;          // bytes a second; 0: no limit
    int64_t tokens = 0;        // bytes that may be read now; negative: owed
    int64_t refilled = 0;      // the clock when `tokens` was last brought up to date
};

// The limit every file transfer of the program keeps to together (the user's setting).
RateLimit& DownloadRateLimit();
