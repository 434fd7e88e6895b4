#include "app_fixture.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/system.h"

namespace apptest {

std::string MinimalDocument(const std::string& extra) {
    return "{\n\t\"version\" : \"201808301023\",\n\t\"window-title\" : \"DezirodOR Downloader\",\n"
           "\t\"server-url\" : \"http://127.0.0.1:9/\"" +
           extra + "\n}\n";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void AppTest::SetUp() {
    platform::fake::Reset();
}

void AppTest::TearDown() {
    platform::fake::Shutdown();
}

void AppTest::Ship(const std::string& document) {
    platform::fake::SetResource(105, document);
}

std::string AppTest::WorkDirectory() const {
    return platform::UserStateFolder() + "VuZediroze/";
}

void AppTest::Prepare(cApp& app) const {
    std::strcpy(app.workDirectory, WorkDirectory().c_str());
    std::strcpy(app.moduleDirectory, platform::ModuleFolder().c_str());
    std::filesystem::create_directories(app.workDirectory);
}

}  // namespace apptest
