// How the tests give the application a main window: the application's own window object with
// its native window in the fake backend, which records what is sent to it.
#include <fstream>
#include <iterator>
#include <string>

#include "app/mainWindow.h"
#include "engine_fixture.h"

namespace engine_test {

platform::WindowHandle EngineTest::GiveAppAWindow() {
    // The shipped layout, so that the window opens as in the program.
    if (windowDocument.root == nullptr) {
        std::ifstream file(UX_DOCUMENT_105, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(windowDocument.Parse(text.c_str()));
    }
    app->mainWindow = NewMainWindow(windowDocument);
    EXPECT_TRUE(CreateMainWindowNative(app->mainWindow));
    return app->MainWindowHandle();
}

void EngineTest::TakeAppsWindow() {
    if (app->mainWindow != nullptr) {
        DeleteMainWindow(app->mainWindow);
        app->mainWindow = nullptr;
    }
}

}  // namespace engine_test
