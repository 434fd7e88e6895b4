// Base of every engine object that works on a thread of its own. `running` is both the stop
// request (the owner clears it) and the busy signal (the thread clears it when its body returns).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

class cThread {
public:
    static constexpr size_t kNameSize = 128;

    explicit cThread(const char* threadName);
    virtual ~cThread();
    cThread(const cThread&) = delete;
    cThread& operator=(const cThread&) = delete;

    // Starts the body on a new thread. False (and `running` back at 0) when no thread could
    // be created, so that pollers never wait for a body that will not run.
    bool Start();
    // Asks the body to stop and waits until it has returned; idempotent. On the UI thread the
    // wait keeps serving what workers hand to the UI thread, so it cannot wait on a worker that
    // waits on it. Never call it from the object's own thread.
    void Stop();

    char name[kNameSize];
    std::atomic<int32_t> running{0};
    int32_t stopped = 0;

protected:
    virtual void OnExecute() = 0;
    // Called by Stop once `running` is clear, before the wait: a body that sleeps on something
    // other than the flag is woken here.
    virtual void OnStopRequested() {}

private:
    void Run();

    std::vector<std::thread> threads;
    // Set as the thread's last step, just before `running` is cleared; a join after it does not
    // wait for the body.
    std::atomic<int32_t> exited{0};
};
