// libFuzzer target: one cHttp transfer over the in-memory client, against a server whose every
// answer the input chooses: status, Content-Length text, the Content-Range it states (through
// the client's own parser), ranges honoured or capped, bodies cut or failing anywhere, requests
// refused; the manifest lists the file's hash, a wrong one or none. The local file starts as a
// prefix of the served file, maybe with bytes past its end.
// Beyond the sanitizers, it checks what a transfer must never break: the file on disk only ever
// holds the served file's bytes at their offsets (unless the stale tail was left untouched), and
// the bytes reported to the hooks add up to what is on disk when the transfer finishes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "download/cHttp.h"
#include "platform/content_range.h"
#include "platform/fake/fake.h"
#include "platform/fake_net/fake_net.h"
#include "platform/sha256.h"
#include "tests/download/engine_host.h"

namespace {

namespace fake_net = platform::fake_net;

constexpr const char* kUrl = "http://files.test/a.bin";

// Counts what the hooks say as the download manager does, and checks it on finish.
class CountingTransfer : public cHttp {
public:
    CountingTransfer(const std::string& path, bool resumeFile) : cHttp("cFileDownloader") {
        std::snprintf(url, sizeof url, "%s", kUrl);
        std::snprintf(localPath, sizeof localPath, "%s", path.c_str());
        resume = resumeFile ? 1 : 0;
        // Attempts at once, and a server that stays away or gives nothing is soon given up.
        limits.firstWaitMs = 0;
        limits.progressBytes = 1;
        limits.progressMs = 100;
        limits.outageMs = 20;
    }
    ~CountingTransfer() override { StopTransfer(); }

    void RunHere() {
        running = 1;
        OnExecute();
        running = 0;
    }

    int64_t counted = 0;
    bool finished = false;
    int64_t finishedAt = -1;

protected:
    void OnStart(int64_t offset) override { counted = offset; }
    void OnReceived(int32_t count) override {
        if (count < 0) {
            std::abort();
        }
        counted += count;
    }
    void OnRewind(int64_t offset) override {
        if (offset > counted) {
            std::abort();
        }
        counted = offset;
    }
    void OnFinish(int64_t, int64_t reached) override {
        if (finished || reached != counted) {
            std::abort();
        }
        finished = true;
        finishedAt = reached;
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// A Content-Range as a server writes it, read by the client's parser as the client reads it.
void StateRange(FuzzedDataProvider& input, int64_t bodySize, fake_net::Answer& answer) {
    std::string text;
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return;  // the range the fake server sends
        case 1: {
            const int64_t first = input.ConsumeIntegralInRange<int64_t>(0, bodySize + 2);
            const int64_t last = input.ConsumeIntegralInRange<int64_t>(0, bodySize + 2);
            text = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                   (input.ConsumeBool()
                        ? "*"
                        : std::to_string(input.ConsumeIntegralInRange<int64_t>(0, bodySize + 2)));
            break;
        }
        case 2:
            text = input.ConsumeRandomLengthString(48);  // anything a server might write
            break;
        default:
            text = "bytes " + std::to_string(input.ConsumeIntegral<int64_t>()) + "-" +
                   std::to_string(input.ConsumeIntegral<int64_t>()) + "/" +
                   std::to_string(input.ConsumeIntegral<int64_t>());
            break;
    }
    platform::ContentRange range;
    platform::ParseContentRange(text, range);
    answer.rangeFirst = range.first;
    answer.rangeLast = range.last;
    answer.rangeTotal = range.total;
}

fake_net::Answer ReadAnswer(FuzzedDataProvider& input, int64_t bodySize) {
    static constexpr int kStatuses[] = {200, 206, 200, 206, 204, 301, 404, 416, 500, 0};
    fake_net::Answer answer;
    answer.refuse = input.ConsumeIntegralInRange(0, 15) == 0;
    answer.status = input.ConsumeBool() ? input.PickValueInArray(kStatuses)
                                        : input.ConsumeIntegralInRange(100, 599);
    answer.honourRange = input.ConsumeIntegralInRange(0, 3) != 0;
    // A server that gives a few bytes per connection is followed to the end, one connection
    // per part: caps and cuts of at least 1/16 of the file keep an input to a few dozen parts.
    const int64_t part = std::max<int64_t>(1, bodySize / 16);
    if (input.ConsumeBool()) {
        answer.rangeCap = input.ConsumeIntegralInRange<int64_t>(part, bodySize + 1);
    }
    switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0:
            break;  // the true length
        case 1:
            answer.contentLength = "";  // none, as a chunked answer
            break;
        case 2:
            answer.contentLength =
                std::to_string(input.ConsumeIntegralInRange<int64_t>(0, bodySize + 2));
            break;
        case 3:
            answer.contentLength = std::to_string(input.ConsumeIntegral<uint64_t>()) +
                                   std::to_string(input.ConsumeIntegral<uint64_t>());
            break;
        default:
            answer.contentLength = input.ConsumeRandomLengthString(32);
            break;
    }
    StateRange(input, bodySize, answer);
    if (input.ConsumeBool()) {
        answer.cutAfter = input.ConsumeBool() ? 0
                                              : input.ConsumeIntegralInRange<int64_t>(
                                                    std::min(part, bodySize), bodySize);
    }
    if (input.ConsumeIntegralInRange(0, 3) == 0) {
        answer.failAt = input.ConsumeIntegralInRange<int64_t>(0, bodySize);
        answer.failReads = input.ConsumeIntegralInRange(1, cHttp::kReadRetries + 1);
    }
    answer.chunk = input.ConsumeIntegralInRange<int64_t>(1, 4096);
    return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    platform::fake::Reset();  // fresh folders, no recorded warnings
    platform::fake::SetSleeping(false);
    engine_test::TestHost app;  // warnings go through it; the log goes to its work folder
    const std::string work = platform::fake::Root() + "work/";
    std::filesystem::create_directory(work);
    std::snprintf(app.workDirectory, sizeof app.workDirectory, "%s", work.c_str());
    const std::string path = platform::fake::Root() + "a.bin";

    // Small files: a server that states one-byte ranges is followed byte by byte.
    const size_t bodySize = input.ConsumeIntegralInRange<size_t>(0, 4096);
    std::string body(bodySize, '\0');
    for (size_t i = 0; i < bodySize; ++i) {
        body[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    }
    const bool resume = input.ConsumeBool();
    // A prefix of the file, or the whole file with bytes past its end (a shorter new version).
    std::string before = body.substr(0, input.ConsumeIntegralInRange<size_t>(0, bodySize));
    if (input.ConsumeIntegralInRange(0, 3) == 0) {
        before = body + std::string(input.ConsumeIntegralInRange<size_t>(1, 300), '\x5a');
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << before;
    std::vector<fake_net::Answer> answers;
    const int count = input.ConsumeIntegralInRange(1, 12);
    for (int i = 0; i < count; ++i) {
        answers.push_back(ReadAnswer(input, static_cast<int64_t>(bodySize)));
    }

    fake_net::Reset();
    fake_net::Serve(kUrl, body, answers);
    CountingTransfer transfer(path, resume);
    // The manifest may list the file's SHA-256, or another one (the server's copy is damaged).
    switch (input.ConsumeIntegralInRange(0, 2)) {
        case 1: {
            platform::Sha256 hash;
            hash.Update(body.data(), body.size());
            transfer.sha256 = hash.FinishHex();
            break;
        }
        case 2:
            transfer.sha256 = std::string(64, 'a');
            break;
        default:
            break;
    }
    try {
        transfer.RunHere();
    } catch (const platform::fake::ProcessExit&) {
        // The fatal errors end the program; what is on disk must still be sound.
    }

    const std::string after = ReadFile(path);
    if (after != before &&
        (after.size() > body.size() || body.compare(0, after.size(), after) != 0)) {
        std::abort();  // bytes that are not the file's, or not at their offset
    }
    if (transfer.finished && static_cast<int64_t>(after.size()) != transfer.finishedAt) {
        std::abort();  // the hooks were told of bytes that are not on disk
    }
    return 0;
}
