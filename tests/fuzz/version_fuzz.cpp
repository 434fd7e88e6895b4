// libFuzzer target: start-up's reading of "version.txt", whose bytes may be anything a cut write,
// another program or a user left there. The download directory it yields must be the text after
// the first line feed (up to a NUL, without trailing line breaks and blanks), or stay empty when
// that does not fit its field or is no folder to trust; both of its
// copies stay terminated; every folder created lies along it; and saving it and starting again
// gives the same directory. Folders are only recorded, never made: the paths may point anywhere.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/cApp.h"
#include "core/trustedPaths.h"
#include "json/cJson.h"
#include "platform/fake/fake.h"
#include "platform/system.h"

namespace {

void Require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// A work folder of the test's own under the per-test folder, ending in its separator.
std::string WorkFolder() {
    return platform::fake::Root() + "work/";
}

// Reads the stamp at start-up as the program does, with `app`'s work folder.
void StartWith(cApp& app) {
    const std::string work = WorkFolder();
    std::snprintf(app.workDirectory, sizeof app.workDirectory, "%s", work.c_str());
    app.resourceDirectory = app.workDirectory;
    cJson document;
    Require(document.Parse("{ \"version\" : \"201808301023\" }"));
    app.CheckVersion(document);
    Require(std::memchr(app.downloadDirectory, '\0', sizeof app.downloadDirectory) != nullptr);
    bool terminated = false;
    for (char16_t unit : app.downloadDirectoryWide) {
        terminated = terminated || unit == u'\0';
    }
    Require(terminated);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::fake::Reset();
    platform::fake::SetFolderCreation(false);
    const std::string stamp(reinterpret_cast<const char*>(data), size);
    std::filesystem::create_directory(WorkFolder());
    std::ofstream(WorkFolder() + "version.txt", std::ios::binary) << stamp;

    std::string expected;
    const size_t lineFeed = stamp.find('\n');
    if (lineFeed != std::string::npos) {
        expected = stamp.substr(lineFeed + 1);
        expected = expected.substr(0, expected.find('\0'));
        expected.erase(expected.find_last_not_of("\r\n \t") + 1);
        if (!expected.empty()) {
            expected = platform::ExpandUserPath(expected.c_str());
        }
        if (expected.size() >= cApp::kPathSize ||
            !core::DownloadFolderRefusal(expected.c_str()).empty()) {
            expected.clear();
        }
    }

    std::string first;
    {
        cApp app;
        StartWith(app);
        first = app.downloadDirectory;
        Require(first == expected);
        for (const std::string& folder : platform::fake::CreatedFolders()) {
            Require(!folder.empty() && first.compare(0, folder.size(), folder) == 0);
        }
        app.SaveVersion();
    }
    cApp again;
    StartWith(again);
    Require(first == again.downloadDirectory);
    return 0;
}
