#include "window_fixture.h"

#include <cstring>
#include <filesystem>

#include "platform/system.h"
#include "platform/ui.h"
#include "test_signing.h"

namespace windowtest {

void WindowTest::SetUp() {
    platform::fake_net::Reset();
    fake::SetResource(cWinMain::kBackgroundResource, fake::MakeBmp(640, 380, 0x102040));
    for (int id = 134; id <= 153; ++id) {
        fake::SetResource(id, fake::MakeBmp(70, 30, 0x010101u * static_cast<uint32_t>(id)));
    }
    app = std::make_unique<cApp>();
    std::string work = platform::UserStateFolder() + "VuZediroze/";
    std::strcpy(app->workDirectory, work.c_str());
    std::filesystem::create_directories(work);
    app->resourceDirectory = app->workDirectory;
    app->serverUrl = kServerUrl;
    std::strcpy(app->versionString, "201808301023");
}

void WindowTest::TearDown() {
    Close();
    app.reset();
}

void WindowTest::Open(const std::string& documentText) {
    if (documentText.empty()) {
        uitest::LoadShippedDocument(document);
    } else {
        ASSERT_TRUE(document.Parse(documentText.c_str()));
    }
    window = new cWinMain(document);
    app->mainWindow = window;
    window->x = 10;
    window->y = 10;
    window->width = 100;
    window->height = 100;
    handle = platform::CreateNativeWindow(cWindow::kClassName, cWindow::kWindowName,
                                          platform::kWsPopup, 10, 10, 100, 100, nullptr, window);
    ASSERT_NE(handle, nullptr);
}

void WindowTest::Close() {
    if (app != nullptr) {
        app->StopDownload();
    }
    if (window != nullptr) {
        if (window->hwnd != nullptr) {
            platform::DestroyNativeWindow(window->hwnd);
        }
        app->mainWindow = nullptr;
        delete window;
        window = nullptr;
    }
}

void WindowTest::ServeSigned(const std::string& manifest) {
    platform::fake_net::Serve(std::string(kServerUrl) + "file.json", manifest);
    platform::fake_net::Serve(std::string(kServerUrl) + "file.json.sig",
                              test_signing::Sign(manifest));
}

void WindowTest::ServeManifest(int64_t totalSize) {
    ServeSigned("{ \"TotalCount\" : 1, \"TotalSize\" : " + std::to_string(totalSize) +
                ", \"URL\" : \"http://127.0.0.1:9/files/\", \"FileList\" : [ { \"Name\" : "
                "\"data.bin\", \"Size\" : " +
                std::to_string(totalSize) + ", \"SHA256\" : \"" + std::string(64, 'a') +
                "\" } ] }");
}

void WindowTest::Tick() {
    platform::SendWindowMessage(window->infoPanel.hwnd, platform::kWmTimer,
                                cWinDownloadInfo::kTimerId, 0);
}

}  // namespace windowtest

namespace windowtest {

void WindowTest::FetchManifest() {
    Tick();
    platform::WaitOnUiThread([&] { return window->infoPanel.ManifestReady(); });
}

}  // namespace windowtest
