#include "download/rateLimit.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>

namespace {

int64_t SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr int64_t kMicrosecondsPerSecond = 1000000;

}  // namespace

RateLimit::RateLimit() : RateLimit(SteadyMicroseconds) {}

RateLimit::RateLimit(Clock clock) : clock(std::move(clock)) {}

void RateLimit::SetRate(int64_t bytesPerSecond) {
    std::lock_guard<std::mutex> lock(guard);
    rate = std::max<int64_t>(bytesPerSecond, 0);
    tokens = 0;
    refilled = clock();
    ++rateChanges;
    turn.notify_all();
}

int64_t RateLimit::Rate() const {
    std::lock_guard<std::mutex> lock(guard);
    return rate;
}

int64_t RateLimit::TurnSize(int64_t bufferSize) const {
    std::lock_guard<std::mutex> lock(guard);
    if (rate == 0) {
        return 0;
    }
    return std::min(bufferSize, std::max(rate / kTurnDivisor, kSmallestTurn));
}

void RateLimit::Take(int64_t count) {
    std::lock_guard<std::mutex> lock(guard);
    if (rate == 0 || count <= 0) {
        return;
    }
    Refill(clock());
    tokens -= count;
}

uint32_t RateLimit::Delay() {
    std::lock_guard<std::mutex> lock(guard);
    return DelayHeld();
}

bool RateLimit::AwaitTurn(const std::function<bool()>& stopped) {
    std::unique_lock<std::mutex> lock(guard);
    for (;;) {
        // Looked at under the guard that Wake takes: a stop between the look and the sleep
        // still wakes the sleeper.
        if (stopped()) {
            return false;
        }
        const uint32_t ms = DelayHeld();
        if (ms == 0) {
            return true;
        }
        // One sleep until the debt seen now is paid, not until the bucket is back above zero:
        // the others read their turns meanwhile, and waiting for them too would wake this
        // thread again and again. The debt stays bounded all the same, as a larger debt
        // means longer sleeps.
        const uint64_t seen = rateChanges;
        if (!turn.wait_for(lock, std::chrono::milliseconds(ms),
                           [&] { return stopped() || rateChanges != seen; })) {
            return true;
        }
    }
}

void RateLimit::Wake() {
    std::lock_guard<std::mutex> lock(guard);
    turn.notify_all();
}

uint32_t RateLimit::DelayHeld() {
    if (rate == 0) {
        return 0;
    }
    Refill(clock());
    if (tokens >= 0) {
        return 0;
    }
    // Rounded up: a wait that ends early finds the bucket still short.
    const int64_t micros = (-tokens * kMicrosecondsPerSecond + rate - 1) / rate;
    return static_cast<uint32_t>(std::min<int64_t>((micros + 999) / 1000, UINT32_MAX));
}

void RateLimit::Refill(int64_t now) {
    const int64_t elapsed = now - refilled;
    if (elapsed <= 0) {
        return;
    }
    if (elapsed >= kMicrosecondsPerSecond) {
        // The bucket is full by now whatever it owed (and the product below cannot overflow).
        refilled = now;
        tokens = std::min(tokens + rate, rate / kBurstDivisor);
        return;
    }
    // Whole bytes only; the remainder of the time stays for the next refill.
    const int64_t earned = elapsed * rate / kMicrosecondsPerSecond;
    if (earned == 0) {
        return;
    }
    refilled += earned * kMicrosecondsPerSecond / rate;
    tokens = std::min(tokens + earned, rate / kBurstDivisor);
}

RateLimit& DownloadRateLimit() {
    static RateLimit limit;
    return limit;
}
