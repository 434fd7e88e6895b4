#include "app_fixture.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/system.h"

namespace apptest {

std::string MinimalDocument(const std::string& extra) {
    // The layout the main window needs to open: five buttons, the progress bar and its font (the
    // fake backend draws without pictures).
    static const std::string layout = R"(,
	"button" : {
		"launch" : { "x" : 312, "y" : 334, "disable" : "d", "over" : "o", "down" : "s", "normal" : "n" },
		"start" : { "x" : 390, "y" : 334, "disable" : "d", "over" : "o", "down" : "s", "normal" : "n" },
		"pause" : { "x" : 468, "y" : 334, "disable" : "d", "over" : "o", "down" : "s", "normal" : "n" },
		"cancel" : { "x" : 546, "y" : 334, "disable" : "d", "over" : "o", "down" : "s", "normal" : "n" },
		"folder" : { "x" : 30, "y" : 334, "disable" : "d", "over" : "o", "down" : "s", "normal" : "n" }
	},
	"font" : {
		"progressbar" : { "name" : "Sans", "size" : 12, "bold" : 500, "alpha" : 79, "color" : "0xFFFFFF" }
	},
	"progressbar" : {
		"total" : { "x" : 30, "y" : 306, "width" : 586, "height" : 18, "bg-color" : "0x333333", "fg-color" : "0x33DDFF", "draw-rate-text" : true }
	})";
    return "{\n\t\"version\" : \"201808301023\",\n\t\"window-title\" : \"DezirodOR Downloader\",\n"
           "\t\"server-url\" : \"http://127.0.0.1:9/\"" +
           layout + extra + "\n}\n";
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
