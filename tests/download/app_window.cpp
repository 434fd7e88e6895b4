// How the tests give the application a main window: the application's own window object with
// its native window in the fake backend, which records what is sent to it.
#include "app/mainWindow.h"
#include "engine_fixture.h"

namespace engine_test {

platform::WindowHandle EngineTest::GiveAppAWindow() {
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
