#include "downloader/settings.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr const char* kSpeedLimitKey = "speed-limit-mib";

// The whole line as a decimal number of at most a few digits; -1 when it is not one.
int SmallNumber(const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stoi(text);
}

bool IsOffered(int mib) {
    return std::find(std::begin(downloader::kSpeedLimits), std::end(downloader::kSpeedLimits),
                     mib) != std::end(downloader::kSpeedLimits);
}

}  // namespace

namespace downloader {

Settings ParseSettings(const std::string& text) {
    Settings settings;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos || line.compare(0, equals, kSpeedLimitKey) != 0) {
            continue;
        }
        if (const int mib = SmallNumber(line.substr(equals + 1)); IsOffered(mib)) {
            settings.speedLimitMib = mib;
        }
    }
    return settings;
}

std::string FormatSettings(const Settings& settings) {
    return std::string(kSpeedLimitKey) + '=' + std::to_string(settings.speedLimitMib) + '\n';
}

}  // namespace downloader
