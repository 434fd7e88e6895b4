#include "download/cThread.h"

#include <cstring>
#include <system_error>

#include "platform/ui.h"

cThread::cThread(const char* threadName) {
    std::strncpy(name, threadName, kNameSize - 1);
    name[kNameSize - 1] = '\0';
}

cThread::~cThread() {
    Stop();
}

bool cThread::Start() {
    running = 1;
    stopped = 0;
    exited = 0;
    try {
        threads.emplace_back(&cThread::Run, this);
    } catch (const std::system_error&) {
        running = 0;
        exited = 1;
        return false;
    }
    return true;
}

void cThread::Stop() {
    if (stopped) {
        return;
    }
    running = 0;
    OnStopRequested();
    if (!threads.empty() && !exited && platform::IsUiThread()) {
        platform::WaitOnUiThread([this] { return exited.load() != 0; });
    }
    for (std::thread& thread : threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    threads.clear();
    stopped = 1;
}

void cThread::Run() {
    // Clears the flags even when the body leaves by unwinding (a test backend may end the
    // thread from inside a fatal exit).
    struct EndOfBody {
        cThread& self;
        ~EndOfBody() {
            self.exited = 1;
            self.running = 0;
        }
    } endOfBody{*this};
    OnExecute();
}
