// What the downloader window tests share: the application object, the shipped document and
// skin pictures in the fake backend, and the main window created as the program creates it.
#pragma once

#include <memory>
#include <string>

#include "../ui/ui_fixture.h"
#include "app/cApp.h"
#include "downloader/cWinMain.h"
#include "platform/fake_net/fake_net.h"

namespace windowtest {

namespace fake = platform::fake;

class WindowTest : public uitest::UiTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The main window over `documentText` (the shipped document when empty), created at
    // x 10, y 10, 100 x 100 as the application creates it.
    void Open(const std::string& documentText = "");
    // Ends the test's main window as the program would: the native window, then the object.
    void Close();
    // Serves `manifest` at the server's "file.json" with its signature beside it.
    static void ServeSigned(const std::string& manifest);
    // Serves a signed manifest of one file of `totalSize` bytes.
    void ServeManifest(int64_t totalSize);
    // One tick of the panel's timer.
    void Tick();
    // Ticks, then serves the UI thread until the manifest's fetch has ended.
    void FetchManifest();

    static constexpr const char* kServerUrl = "http://127.0.0.1:9/";
    std::unique_ptr<cApp> app;
    cJson document;
    cWinMain* window = nullptr;
    platform::WindowHandle handle = nullptr;
};

}  // namespace windowtest
