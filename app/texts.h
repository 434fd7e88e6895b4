// The texts the application shell shows or stores, in the document's code page.
#pragma once

namespace app::texts {

inline constexpr const char* kInstanceName = "kestra-downloader...";
inline constexpr const char* kAlreadyRunning = "The downloader is already running.";
inline constexpr const char* kDefaultTitle = "kestra-downloader...";
// "中止しますか？" in code page 932.
inline constexpr const char* kDefaultExitQuestion =
    "\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48";
inline constexpr const char* kDefaultNetworkError = "network error, try again.";
inline constexpr const char* kLoadingError = "cApp::OnExecute :: file(ux.json) loading error (-22)";
inline constexpr const char* kServerUrlError = "cApp::LoadServerURL :: server-url error(-42)";
inline constexpr const char* kVersionError = "cApp::CheckVersion :: version check error(-41)";
inline constexpr const char* kDirectoryError = "cApp::CreateDownloadDirectory :: error (-32)";
inline constexpr const char* kWorkFolderName = "VuZediroze";
// Followed by each refused folder with the reason, and the folder used instead.
inline constexpr const char* kWorkFolderRefused = "WinMain :: work folder refused (-23): ";
inline constexpr const char* kVersionFileName = "version.txt";
inline constexpr const char* kSettingsFileName = "settings.txt";
// Followed by the folder (or the folder above it) that others could change, and why.
inline constexpr const char* kDownloadFolderRefused =
    "cApp::CheckVersion :: download folder refused (-36): ";

}  // namespace app::texts
