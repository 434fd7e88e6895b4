// The texts the downloader window shows, in the document's code page.
#pragma once

namespace downloader::texts {

inline constexpr const char* kLayoutError = "cWinMain::OnCreate :: ux-json error (-21)";
inline constexpr const char* kManifestError =
    "cWinMain::LoadDownloadInfo :: network error, try again...";
// The server address does not leave room for the manifest's name in its field.
inline constexpr const char* kManifestAddressError =
    "cWinMain::LoadDownloadInfo :: server-url is too long";
// In place of the remaining time while a transfer waits for a server it cannot reach:
// "サーバー待ち" in code page 932, "서버 대기 중" in code page 949.
inline constexpr const char* kWaitingForServer =
    DOWNLOADER_CODE_PAGE == 949 ? "\xbc\xad\xb9\xf6 \xb4\xeb\xb1\xe2 \xc1\xdf"
                                : "\x83\x54\x81\x5b\x83\x6f\x81\x5b\x91\xd2\x82\xbf";
// In place of the remaining time while files are read back to check them, followed by a
// count: "確認中" in code page 932, "확인 중" in code page 949.
inline constexpr const char* kChecking =
    DOWNLOADER_CODE_PAGE == 949 ? "\xc8\xae\xc0\xce \xc1\xdf" : "\x8a\x6d\x94\x46\x92\x86";
// The manifest did not arrive within the panel's time limit.
inline constexpr const char* kManifestTimeout =
    "cWinMain::LoadDownloadInfo :: network error, try again...\nfile.json did not arrive in time";
// A manifest that arrived but cannot be trusted, followed by the reason.
inline constexpr const char* kManifestRefused = "cWinMain::LoadDownloadInfo :: file.json refused: ";
inline constexpr const char* kNoExecutable =
    "cBtnLaunch::OnExecute :: can't find an executable module.";
// Starting the installer failed: the downloader closes all the same.
inline constexpr const char* kLaunchError = "cBtnLaunch::OnExecute :: can't start the installer.";
// Each followed by the folder or file that others could change, or what else stood in the way.
inline constexpr const char* kStartFolderRefused =
    "cBtnStart::OnExecute :: download folder refused (-36): ";
inline constexpr const char* kChosenFolderRefused =
    "cBtnFolder::OnExecute :: download folder refused (-36): ";
inline constexpr const char* kLaunchRefused = "cBtnLaunch::OnExecute :: installer refused (-43): ";
// "%.3fGB 以上の空き領域が必要です。\n空き領域 : %.3fGB" in code page 932.
inline constexpr const char* kFolderStatusFormat =
    "%.3fGB \x88\xc8\x8f\xe3\x82\xcc\x8b\xf3\x82\xab\x97\xcc\x88\xe6\x82\xaa\x95\x4b\x97\x76"
    "\x82\xc5\x82\xb7\x81\x42\n\x8b\xf3\x82\xab\x97\xcc\x88\xe6 : %.3fGB";

// The speed menu's first item, in the document's language: "速度制限なし" in code page 932,
// "속도 제한 없음" in code page 949.
inline constexpr const char* kNoSpeedLimit =
    DOWNLOADER_CODE_PAGE == 949 ? "\xbc\xd3\xb5\xb5 \xc1\xa6\xc7\xd1 \xbe\xf8\xc0\xbd"
                                : "\x91\xac\x93\x78\x90\xa7\x8c\xc0\x82\xc8\x82\xb5";
// Each further item: a limit in MiB a second.
inline constexpr const char* kSpeedLimitFormat = "%d MiB/s";

}  // namespace downloader::texts
