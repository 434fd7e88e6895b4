#include "cpu_time.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

namespace {

// Fields 14 and 15 (utime, stime) of a stat file, in seconds.
double StatCpuSeconds(const std::string& path) {
    std::ifstream stat(path);
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold spaces: count the fields from after its end.
    size_t end = text.rfind(')');
    if (end == std::string::npos) {
        return -1;
    }
    std::vector<std::string> fields;
    size_t at = end + 2;
    while (at < text.size()) {
        size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        at = space == std::string::npos ? text.size() : space + 1;
    }
    if (fields.size() < 13) {
        return -1;
    }
    // The list starts at field 3.
    double ticks = std::stod(fields[11]) + std::stod(fields[12]);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string TaskFolder(pid_t pid, pid_t tid) {
    return "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/";
}

}  // namespace

double ProcessCpuSeconds(pid_t pid) {
    return StatCpuSeconds("/proc/" + std::to_string(pid) + "/stat");
}

double ThreadCpuSeconds(pid_t pid, pid_t tid) {
    return StatCpuSeconds(TaskFolder(pid, tid) + "stat");
}

double ThreadRunSeconds(pid_t pid, pid_t tid) {
    // "run-time wait-time timeslices", the times in nanoseconds.
    std::ifstream schedstat(TaskFolder(pid, tid) + "schedstat");
    double nanoseconds = -1e9;
    schedstat >> nanoseconds;
    return nanoseconds / 1e9;
}

}  // namespace bench
