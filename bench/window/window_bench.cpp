// The window benchmark: the toolkit's test program (the GTK backend) beside a plain GTK window
// that draws the same picture, each in turn on one private Xvfb. For each it prints the time
// from process start to the first frame with every control drawn (median of the runs, after
// one warm-up run), and the CPU the process uses over 10 s with the progress bar updated every
// 333 ms and with no updates at all.
//
//   window_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/window/cpu_time.h"
#include "tests/gui/x_input.h"
#include "tests/gui/x_session.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Contender {
    const char* name;
    const char* title;
    std::vector<std::string> argv;
};

struct Picture {
    int x;
    int y;
    guitest::Image image;
};

// What the first full frame shows: the five buttons' normal pictures where the shipped layout
// puts them, and the progress bar's border.
std::vector<Picture> Expected() {
    std::string skin = SKIN_FOLDER;
    const struct {
        int id;
        int x;
    } buttons[] = {{138, 30}, {142, 312}, {146, 390}, {150, 468}, {134, 546}};
    std::vector<Picture> pictures;
    for (const auto& button : buttons) {
        pictures.push_back({button.x, 334,
                            guitest::LoadImageFile(skin + "/" + std::to_string(button.id) +
                                                   (button.id == 134 ? ".jpg" : ".bmp"))});
    }
    guitest::Image border{586, 1, std::vector<uint32_t>(586, 0x333333)};
    pictures.push_back({30, 306, border});
    return pictures;
}

class Bench {
public:
    // Starts the contender and waits for its first full frame; the time it took in ms, or a
    // negative value when it did not come within 20 s.
    double StartAndWait(const Contender& contender, const std::vector<std::string>& extra,
                        pid_t* pid) {
        std::vector<std::string> argv = contender.argv;
        argv.insert(argv.end(), extra.begin(), extra.end());
        Clock::time_point start = Clock::now();
        *pid = session.Start(argv);
        unsigned long window = 0;
        int left = 0;
        int top = 0;
        while (std::chrono::duration<double>(Clock::now() - start).count() < 20) {
            if (window == 0 && (window = input.FindWindow(contender.title)) != 0) {
                input.Origin(window, &left, &top);
            }
            if (window != 0 && Drawn(left, top)) {
                return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
            // A short pause between looks, so the watching takes no CPU from the watched.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return -1;
    }

    double FirstFrameMs(const Contender& contender, int runs) {
        std::vector<double> times;
        for (int run = 0; run <= runs; ++run) {
            pid_t pid = -1;
            double ms = StartAndWait(contender, {}, &pid);
            session.Kill(pid);
            if (run > 0) {  // the first run fills the system's caches
                times.push_back(ms);
            }
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    // Per cent of one core over `seconds` once the first frame is up.
    double CpuPercent(const Contender& contender, const std::vector<std::string>& extra,
                      double seconds) {
        pid_t pid = -1;
        if (StartAndWait(contender, extra, &pid) < 0) {
            session.Kill(pid);
            return -1;
        }
        double before = bench::ProcessCpuSeconds(pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        double after = bench::ProcessCpuSeconds(pid);
        session.Kill(pid);
        return (after - before) / seconds * 100;
    }

private:
    bool Drawn(int left, int top) {
        for (const Picture& picture : expected) {
            if (input.Grab(left + picture.x, top + picture.y, picture.image.width,
                           picture.image.height) != picture.image) {
                return false;
            }
        }
        return true;
    }

    guitest::XSession session;
    guitest::XInput input;
    std::vector<Picture> expected = Expected();
};

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const Contender contenders[] = {
        {"toolkit (GTK backend)", "toolkit demo", {TOOLKIT_DEMO}},
        {"plain GTK window (peer)", "plain window", {PLAIN_WINDOW, SKIN_FOLDER}},
    };
    Bench bench;
    double first[2];
    double busy[2];
    double idle[2];
    for (int i = 0; i < 2; ++i) {
        std::fprintf(stderr, "measuring %s...\n", contenders[i].name);
        first[i] = bench.FirstFrameMs(contenders[i], runs);
        busy[i] = bench.CpuPercent(contenders[i], {"--tick", "333"}, 10);
        idle[i] = bench.CpuPercent(contenders[i], {}, 10);
    }
    std::printf("Window benchmark, Xvfb 1280x800x24, one process at a time\n");
    std::printf("%-44s %24s %24s\n", "", contenders[0].name, contenders[1].name);
    std::printf("%-44s %21.1f ms %21.1f ms\n", "first frame, all controls drawn (median)", first[0],
                first[1]);
    std::printf("%-44s %22.2f %% %22.2f %%\n", "CPU over 10 s, bar updated every 333 ms", busy[0],
                busy[1]);
    std::printf("%-44s %22.2f %% %22.2f %%\n", "CPU over 10 s, no updates", idle[0], idle[1]);
    std::printf(
        "(CPU in per cent of one core; targets: first frame < 300 ms, updating < 2 %%, "
        "idle about 0)\n");
    return 0;
}
