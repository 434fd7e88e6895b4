// The user's choices kept between runs beside the version stamp, in a file of their own in the
// work folder: "key=value" lines. What a reader does not know or cannot use is left out, so
// that a file of another version or one edited by hand never stops the program.
#pragma once

#include <cstdint>
#include <string>

namespace downloader {

// The download speed limits the user chooses from, in MiB a second; 0: no limit.
inline constexpr int kSpeedLimits[] = {0, 1, 2, 5, 10, 20};

struct Settings {
    // One of kSpeedLimits.
    int speedLimitMib = 0;
};

// The settings a file's text gives; lines with unknown keys or unusable values are ignored.
Settings ParseSettings(const std::string& text);
std::string FormatSettings(const Settings& settings);
// The bytes a second of a limit in MiB a second; 0: no limit.
inline int64_t SpeedLimitBytes(int mib) {
    return int64_t{mib} << 20;
}

}  // namespace downloader
