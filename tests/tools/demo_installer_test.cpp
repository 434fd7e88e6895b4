// The demo package's installer without a display, as pkexec starts it: the marker next to it
// says when, where, as whom and with what it ran.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class DemoInstallerTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "demo-installer-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        package = root / "package";
        elsewhere = root / "elsewhere";
        fs::create_directories(package);
        fs::create_directories(elsewhere);
        fs::copy_file(DEMO_INSTALLER, package / "setup.exe");
    }
    void TearDown() override { fs::remove_all(root); }

    // Runs the copy in the package from another working folder with no display; answers its
    // exit status and keeps what it printed (only complaints).
    int Run(const std::string& arguments) {
        const fs::path output = root / "output.txt";
        const std::string command = "cd '" + elsewhere.string() +
                                    "' && env -u DISPLAY -u WAYLAND_DISPLAY '" +
                                    (package / "setup.exe").string() + "' " + arguments + " > '" +
                                    output.string() + "' 2>&1";
        const int status = std::system(command.c_str());
        printed = ReadFile(output);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path root, package, elsewhere;
    std::string printed;
};

TEST_F(DemoInstallerTest, MarkerSaysWhereAsWhomAndWithWhatItRan) {
    struct Case {
        const char* arguments;
        const char* listed;
    };
    const Case cases[] = {
        {"", "none"},
        {"--quiet 'two words'", "\"--quiet\" \"two words\""},
    };
    const fs::path marker = package / "demo-installer-ran.txt";
    // A marker of an earlier run is replaced, not added to.
    std::ofstream(marker) << "arguments: from an earlier run\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        ASSERT_EQ(Run(c.arguments), 0) << printed;
        const std::string text = ReadFile(marker);
        EXPECT_EQ(text.find("earlier run"), std::string::npos) << text;
        EXPECT_NE(text.find("\nfolder: " + package.string() + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\nworking folder: " + elsewhere.string() + "\n"), std::string::npos)
            << text;
        EXPECT_NE(text.find("\nuser: uid " + std::to_string(getuid()) + " "), std::string::npos)
            << text;
        const char* rights = getuid() == 0 ? "administrator rights" : "ordinary user rights";
        EXPECT_NE(text.find(rights), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("\narguments: ") + c.listed + "\n"), std::string::npos)
            << text;
        EXPECT_NE(text.find("\nwindow: none (no display)\n"), std::string::npos) << text;
        EXPECT_EQ(text.rfind("time: ", 0), 0u) << text;
    }
}

TEST_F(DemoInstallerTest, MarkerThatCannotBeWrittenFailsAndSaysSo) {
    // A folder in the marker's place: no permission trick, so it holds for root too.
    fs::create_directory(package / "demo-installer-ran.txt");
    EXPECT_EQ(Run(""), 1);
    EXPECT_NE(printed.find("cannot write " + (package / "demo-installer-ran.txt").string()),
              std::string::npos)
        << printed;
}

}  // namespace
