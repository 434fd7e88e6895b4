// The window benchmark's download part: the real program downloads the package offered at its
// built-in server address through its window (Start clicked with real input on a private Xvfb)
// and, in turn, the headless engine (bench_driver) downloads the same package. For the window it
// takes the wall time from the click to the Launch button coming on, and the CPU time of the UI
// thread (the main thread) and of the other threads (the transfers) over that time; for the
// engine, its process's wall and CPU time. Prints the medians side by side with the targets.
// Every download is checked byte for byte against the package afterwards (not timed).
//
//   window_download_bench RUNS PACKAGE_FOLDER SERVER_URL
//
// SERVER_URL must be the address built into the program; scripts/bench-window serves the
// package there in a network of its own.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/window/cpu_time.h"
#include "tests/gui/skin_layout.h"
#include "tests/gui/x_input.h"
#include "tests/gui/x_session.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const char* kMainTitle = "DezirodOR Downloader";
// Far beyond a loopback download of a few GiB; only a stuck run reaches it.
constexpr double kDownloadLimitSeconds = 600;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// The q-quantile of `values` (0.5: the median), interpolated where it falls between two.
double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const size_t below = static_cast<size_t>(at);
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (at - static_cast<double>(below));
}

struct PackageFile {
    std::string name;  // relative to the package's folder
    int64_t size;
};

// Every file of the package but its manifest.
std::vector<PackageFile> ListPackage(const std::string& folder) {
    std::vector<PackageFile> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_regular_file() && name != "file.json") {
            files.push_back({name, static_cast<int64_t>(entry.file_size())});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const PackageFile& a, const PackageFile& b) { return a.name < b.name; });
    return files;
}

class Package {
public:
    explicit Package(std::string folder)
        : folder(std::move(folder)), files(ListPackage(this->folder)) {}

    int64_t Bytes() const {
        int64_t bytes = 0;
        for (const PackageFile& file : files) {
            bytes += file.size;
        }
        return bytes;
    }

    size_t Count() const { return files.size(); }

    // Every file has its full size in `destination`.
    bool CompleteIn(const std::string& destination) const {
        for (const PackageFile& file : files) {
            struct stat info {};
            if (stat((destination + "/" + file.name).c_str(), &info) != 0 ||
                info.st_size != file.size) {
                return false;
            }
        }
        return true;
    }

    // Throws unless every file in `destination` equals the package's byte for byte.
    void CheckCopy(const std::string& destination, const char* who) const {
        std::vector<char> ours(1 << 20);
        std::vector<char> theirs(1 << 20);
        for (const PackageFile& file : files) {
            std::ifstream a(folder + "/" + file.name, std::ios::binary);
            std::ifstream b(destination + "/" + file.name, std::ios::binary);
            bool same = static_cast<bool>(b);
            while (same && a) {
                a.read(ours.data(), static_cast<std::streamsize>(ours.size()));
                b.read(theirs.data(), static_cast<std::streamsize>(theirs.size()));
                same = a.gcount() == b.gcount() &&
                       std::equal(ours.begin(), ours.begin() + a.gcount(), theirs.begin());
            }
            if (!same || b.peek() != std::char_traits<char>::eof()) {
                throw std::runtime_error(std::string(who) + ": " + destination + "/" + file.name +
                                         " differs from the package");
            }
        }
    }

private:
    std::string folder;
    std::vector<PackageFile> files;
};

// The process this one started whose name is `name`; -1 when there is none.
pid_t ChildNamed(const std::string& name) {
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string id = entry.path().filename().string();
        if (id.find_first_not_of("0123456789") != std::string::npos) {
            continue;  // not a process
        }
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        size_t open = text.find('(');
        size_t close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos) {
            continue;
        }
        // After the name: " state ppid ...".
        pid_t parent = std::atoi(text.c_str() + close + 4);
        if (parent == getpid() && text.substr(open + 1, close - open - 1) == name) {
            return std::atoi(text.c_str());
        }
    }
    return -1;
}

struct WindowRun {
    double wall;       // the click to the Launch button on
    double filesWall;  // the click to every file at its full size
    double uiCpu;      // the main thread
    double uiRun;      // the main thread, as the scheduler counts it
    double otherCpu;   // every other thread, ended ones included
    double serverCpu;  // the X server, which does the drawing the window asks for
};

struct EngineRun {
    double wall;  // process start to exit
    double cpu;
};

// One run of each, one after the other.
struct Run {
    WindowRun window;
    EngineRun engine;
};

class DownloadBench {
public:
    DownloadBench(const Package& package, std::string serverUrl)
        : package(package), serverUrl(std::move(serverUrl)) {
        if (!layout.loaded) {
            throw std::runtime_error("cannot read the layout " UX_DOCUMENT_105);
        }
        xServer = ChildNamed("Xvfb");
        if (xServer < 0) {
            throw std::runtime_error("cannot find the session's X server");
        }
    }

    WindowRun Window() {
        // A fresh home: no download folder, no work folder with a record of an earlier run.
        const std::string home = session.HomeFolder();
        fs::create_directories(home);
        sync();  // the previous run's writeback would otherwise land on this one
        pid_t program = session.StartProgram();
        unsigned long window = 0;
        if (!guitest::Poll([&] { return (window = input.FindWindow(kMainTitle)) != 0; }, 20)) {
            throw std::runtime_error("the program's window did not open:\n" + session.Report());
        }
        input.Origin(window, &left, &top);
        const guitest::ButtonLayout& start = layout.Button("start");
        const guitest::ButtonLayout& launch = layout.Button("launch");
        WaitForPicture(start, start.firstPicture, 20);
        input.MoveTo(left + start.x + 35, top + start.y + 15);
        WaitForPicture(start, start.firstPicture + 1, 10);  // the pointer is over it

        const double ui = bench::ThreadCpuSeconds(program, program);
        const double uiRun = bench::ThreadRunSeconds(program, program);
        const double all = bench::ProcessCpuSeconds(program);
        const double server = bench::ProcessCpuSeconds(xServer);
        const Clock::time_point clicked = Clock::now();
        input.Press();
        input.Release();
        input.MoveTo(left + 200, top + 100);  // off every control
        const std::string folder = home + "download/dezirodor";
        if (!guitest::Poll([&] { return package.CompleteIn(folder); }, kDownloadLimitSeconds)) {
            throw std::runtime_error("the window's download did not complete:\n" +
                                     session.Report());
        }
        WindowRun run{};
        run.filesWall = Since(clicked);
        WaitForPicture(launch, launch.firstPicture, 60);
        run.wall = Since(clicked);
        const double uiAfter = bench::ThreadCpuSeconds(program, program);
        run.uiCpu = uiAfter - ui;
        run.uiRun = bench::ThreadRunSeconds(program, program) - uiRun;
        run.otherCpu = bench::ProcessCpuSeconds(program) - all - run.uiCpu;
        run.serverCpu = bench::ProcessCpuSeconds(xServer) - server;
        session.Kill(program);
        package.CheckCopy(folder, "the window");
        fs::remove_all(home);
        return run;
    }

    EngineRun Engine() {
        const std::string folder = session.Folder() + "/engine-download";
        const std::string log = session.Folder() + "/engine.log";
        fs::remove_all(folder);
        fs::create_directories(folder);
        sync();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> args = {const_cast<char*>(BENCH_DRIVER),
                                   const_cast<char*>(serverUrl.c_str()),
                                   const_cast<char*>(folder.c_str()), nullptr};
        const Clock::time_point started = Clock::now();
        pid_t engine = -1;
        int failed = posix_spawn(&engine, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage usage{};
        if (failed != 0 || wait4(engine, &status, 0, &usage) != engine) {
            throw std::runtime_error("cannot run " BENCH_DRIVER);
        }
        EngineRun run{Since(started), Seconds(usage.ru_utime) + Seconds(usage.ru_stime)};
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::ifstream output(log);
            throw std::runtime_error("the headless engine failed:\n" +
                                     std::string((std::istreambuf_iterator<char>(output)),
                                                 std::istreambuf_iterator<char>()));
        }
        package.CheckCopy(folder, "the headless engine");
        fs::remove_all(folder);
        return run;
    }

private:
    void WaitForPicture(const guitest::ButtonLayout& button, int id, double seconds) {
        const guitest::Image expected = guitest::Picture(id);
        if (!guitest::Poll(
                [&] {
                    return input.Grab(left + button.x, top + button.y, expected.width,
                                      expected.height) == expected;
                },
                seconds)) {
            throw std::runtime_error(std::string(button.name) + " did not show picture " +
                                     std::to_string(id) + ":\n" + session.Report());
        }
    }

    const Package& package;
    const std::string serverUrl;
    guitest::Layout layout;
    guitest::XSession session;
    guitest::XInput input;  // after the session, which starts the X server it opens
    pid_t xServer = -1;
    int left = 0;
    int top = 0;
};

// Measures `runs` pairs of the window and the headless engine; throws what a run throws.
std::vector<Run> Measure(const Package& package, const char* serverUrl, int runs) {
    std::vector<Run> done;
    DownloadBench bench(package, serverUrl);
    for (int run = 0; run < runs; ++run) {
        // Each run starts a different one first: whoever runs first meets a colder system.
        Run figures{};
        if (run % 2 == 0) {
            figures.engine = bench.Engine();
            figures.window = bench.Window();
        } else {
            figures.window = bench.Window();
            figures.engine = bench.Engine();
        }
        done.push_back(figures);
        const WindowRun& w = figures.window;
        std::fprintf(stderr,
                     "run %d/%d: engine %.2f s (CPU %.2f s); window %.2f s (files %.2f s), "
                     "CPU UI thread %.3f s (ran %.3f s), other threads %.2f s, X server "
                     "%.2f s\n",
                     run + 1, runs, figures.engine.wall, figures.engine.cpu, w.wall, w.filesWall,
                     w.uiCpu, w.uiRun, w.otherCpu, w.serverCpu);
    }
    return done;
}

// Prints the medians of `done` beside each other, and whether the targets are met.
void Report(const std::vector<Run>& done, const Package& package, const char* serverUrl, int runs) {
    auto quantile = [&](double q, auto figure) {
        std::vector<double> values;
        for (const Run& run : done) {
            values.push_back(figure(run.window, run.engine));
        }
        return Quantile(values, q);
    };
    auto median = [&](auto figure) { return quantile(0.5, figure); };
    using W = const WindowRun&;
    using E = const EngineRun&;
    const double wall = median([](W window, E) { return window.wall; });
    const double engineWall = median([](W, E engine) { return engine.wall; });
    const double ratio = wall / engineWall;
    auto runRatio = [](W window, E engine) { return window.wall / engine.wall; };
    const double pairedRatio = median(runRatio);
    const double ui = median([](W window, E) { return window.uiCpu / window.wall * 100; });
    const double uiRun = median([](W window, E) { return window.uiRun / window.wall * 100; });

    std::printf("\nDownload through the window: %zu files, %.0f MiB from %s, median of %d runs\n",
                package.Count(), static_cast<double>(package.Bytes()) / (1 << 20), serverUrl, runs);
    auto row = [](const char* label, double window, const char* unit) {
        std::printf("%-42s %14.3f %s\n", label, window, unit);
    };
    auto both = [](const char* label, double window, double engine, const char* unit) {
        std::printf("%-42s %14.3f %s %14.3f %s\n", label, window, unit, engine, unit);
    };
    std::printf("%-42s %16s %16s\n", "", "program's window", "headless engine");
    both("wall time (window: click to Launch on)", wall, engineWall, "s");
    row("  click to every file at its full size",
        median([](W window, E) { return window.filesWall; }), "s");
    row("CPU, UI thread (utime + stime)", median([](W window, E) { return window.uiCpu; }), "s");
    row("CPU, UI thread (scheduler's run time)", median([](W window, E) { return window.uiRun; }),
        "s");
    row("CPU, other threads (transfers)", median([](W window, E) { return window.otherCpu; }), "s");
    both("CPU, whole process", median([](W window, E) { return window.uiCpu + window.otherCpu; }),
         median([](W, E engine) { return engine.cpu; }), "s");
    row("CPU, X server (drawing the window)", median([](W window, E) { return window.serverCpu; }),
        "s");
    row("UI thread, % of one core (utime + stime)", ui, "%");
    row("UI thread, % of one core (run time)", uiRun, "%");
    row("other threads, % of one core",
        median([](W window, E) { return window.otherCpu / window.wall * 100; }), "%");
    // The two of a run are measured seconds apart, under much the same load on the machine:
    // each run's ratio leaves out how that load drifts from run to run.
    std::printf(
        "window wall / engine wall: %.3f of the medians; each run's: median %.3f, quartiles %.3f "
        "to %.3f\n",
        ratio, pairedRatio, quantile(0.25, runRatio), quantile(0.75, runRatio));
    std::printf(
        "target UI thread under 5%% of one core: %s; window wall within 5%% of the engine's "
        "(median of each run's ratio): %s\n",
        ui < 5 && uiRun < 5 ? "met" : "NOT met", pairedRatio <= 1.05 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::atoi(argv[1]) < 1) {
        std::fprintf(stderr, "usage: window_download_bench RUNS PACKAGE_FOLDER SERVER_URL\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const Package package(argv[2]);
    std::vector<Run> done;
    try {
        done = Measure(package, argv[3], runs);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "window_download_bench: %s\n", error.what());
        return 1;
    }
    Report(done, package, argv[3], runs);
    return 0;
}
