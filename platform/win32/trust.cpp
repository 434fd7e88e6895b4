// Trust facts on Windows, the same for the Windows backend and the test backend built for
// Windows: owners and write grants read from the access lists of open handles, paths opened
// one component at a time refusing every reparse point (junction, symbolic link), and the start
// of a held file. A held handle shares reading only (a folder: reading and writing), never
// deletion: while it is held nobody can rename, replace or remove it, and nobody can write the
// held installer; LaunchElevated runs while it is held.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <memory>

#include "platform/system.h"
#include "platform/trust.h"
#include "platform/win32/codepage.h"
#include "platform/win32/security.h"

namespace platform {

namespace security = win32_security;

namespace {

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

HANDLE ToHandle(const Held& held) {
    return reinterpret_cast<HANDLE>(held.Native());
}

// Opens `path` itself, a reparse point included, to read its facts; folders shared for reading
// and writing, files for reading only; never for deletion.
HANDLE OpenItself(const std::wstring& path, DWORD access, bool folder) {
    const DWORD share = folder ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    return CreateFileW(path.c_str(), access | READ_CONTROL | FILE_READ_ATTRIBUTES, share, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
}

bool IsReparsePoint(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return !GetFileInformationByHandle(handle, &info) ||
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

// The path the system finds the open `handle` at, as "C:\a\b" (no "\\?\" prefix).
std::wstring FinalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    path.resize(length < path.size() ? length : 0);
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        return L"\\\\" + path.substr(8);
    }
    if (path.starts_with(L"\\\\?\\")) {
        return path.substr(4);
    }
    return path;
}

std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::string Narrow(const std::wstring& path) {
    return win32_codepage::FromWide(win32_codepage::kDocumentCodePage, path);
}

// Opens each folder of `folders` below the held `start` (named `startPath`), then `file` when
// not empty, each one itself, refusing reparse points; the steps and the last handle go to
// `opened`.
void WalkBelow(const std::wstring& startPath, const std::vector<std::wstring>& folders,
               const std::wstring& file, OpenedPath& opened, std::string shownStart) {
    std::wstring path = startPath;
    std::string shown = std::move(shownStart);
    std::vector<Held> above;
    const size_t count = folders.size() + (file.empty() ? 0 : 1);
    for (size_t i = 0; i < count; ++i) {
        const bool isFile = i == folders.size();
        const std::wstring& name = isFile ? file : folders[i];
        path += (path.empty() || path.back() == L'\\' ? L"" : L"\\") + name;
        shown += (shown.empty() || shown.back() == '\\' ? "" : "\\") + Narrow(name);
        HANDLE handle = OpenItself(path, isFile ? GENERIC_READ : 0, !isFile);
        if (handle == INVALID_HANDLE_VALUE) {
            opened.failure = shown + " cannot be opened";
            return;
        }
        Held held(reinterpret_cast<intptr_t>(handle));
        if (IsReparsePoint(handle)) {
            opened.failure = shown + " is a link";
            return;
        }
        opened.steps.push_back({shown, security::FactsOf(handle)});
        above.push_back(std::move(held));
    }
    if (!above.empty()) {
        opened.item = std::move(above.back());
    }
}

}  // namespace

Held::~Held() {
    if (native != kClosed) {
        CloseHandle(reinterpret_cast<HANDLE>(native));
    }
}

OpenedPath OpenFolderFromRoot(const char* path) {
    OpenedPath opened;
    // Where the system finds the folder, links resolved once; then walked again from the root.
    HANDLE found = CreateFileW(win32_codepage::WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (found == INVALID_HANDLE_VALUE) {
        opened.failure = std::string(path) + " cannot be opened";
        return opened;
    }
    const std::wstring real = FinalPath(found);
    CloseHandle(found);
    std::vector<std::wstring> parts = Components(real);
    if (parts.empty()) {
        opened.failure = std::string(path) + " cannot be opened";
        return opened;
    }
    // The drive ("C:") or the share ("\\server\share") is the root.
    std::wstring root = parts.front() + L"\\";
    size_t first = 1;
    if (real.starts_with(L"\\\\") && parts.size() >= 2) {
        root = L"\\\\" + parts[0] + L"\\" + parts[1] + L"\\";
        first = 2;
    }
    HANDLE rootHandle = OpenItself(root, 0, true);
    if (rootHandle == INVALID_HANDLE_VALUE) {
        opened.failure = Narrow(root) + " cannot be opened";
        return opened;
    }
    Held rootHeld(reinterpret_cast<intptr_t>(rootHandle));
    opened.steps.push_back({Narrow(root), security::FactsOf(rootHandle)});
    const std::vector<std::wstring> folders(parts.begin() + static_cast<ptrdiff_t>(first),
                                            parts.end());
    if (folders.empty()) {
        opened.item = std::move(rootHeld);
        return opened;
    }
    WalkBelow(root, folders, L"", opened, Narrow(root));
    if (!opened.item.IsOpen() && opened.failure.empty()) {
        opened.failure = std::string(path) + " cannot be opened";
    }
    return opened;
}

OpenedPath OpenFileBelow(const Held& base, const char* relative) {
    OpenedPath opened;
    std::vector<std::wstring> parts = Components(win32_codepage::WidePath(relative));
    if (parts.empty() || !base.IsOpen()) {
        opened.failure = std::string(relative) + " cannot be opened";
        return opened;
    }
    for (const std::wstring& part : parts) {
        if (part == L"..") {
            opened.failure = std::string(relative) + " leaves its folder";
            return opened;
        }
    }
    const std::wstring file = parts.back();
    parts.pop_back();
    WalkBelow(FinalPath(ToHandle(base)), parts, file, opened, "");
    return opened;
}

int64_t ReadHeld(const Held& file, void* buffer, size_t count) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(count < (1u << 30) ? count : (1u << 30));
    return ReadFile(ToHandle(file), buffer, want, &got, nullptr) ? static_cast<int64_t>(got) : -1;
}

bool EnterHeldFolder(const Held& folder) {
    if (!folder.IsOpen() || !SetCurrentDirectoryW(FinalPath(ToHandle(folder)).c_str())) {
        return false;
    }
    // The current folder is held by the system as well, without deletion shared: once it is
    // the held folder, it stays that folder.
    HANDLE current = OpenItself(L".", 0, true);
    const bool same = current != INVALID_HANDLE_VALUE && SameFile(current, ToHandle(folder));
    if (current != INVALID_HANDLE_VALUE) {
        CloseHandle(current);
    }
    return same;
}

HeldLaunch LaunchHeldFile(const Held& file, const char* path, WhenElevationRefused whenRefused) {
    HANDLE named = CreateFileW(win32_codepage::WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool same = named != INVALID_HANDLE_VALUE && SameFile(named, ToHandle(file));
    if (named != INVALID_HANDLE_VALUE) {
        CloseHandle(named);
    }
    if (!same) {
        return HeldLaunch::kChanged;
    }
    // Still held, shared for reading only: the file started is the file checked.
    return LaunchElevated(path, whenRefused) ? HeldLaunch::kStarted : HeldLaunch::kNotStarted;
}

std::vector<BYTE> security::CurrentUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    const bool read = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    if (!read) {
        return {};
    }
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const BYTE* start = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(start, start + GetLengthSid(sid));
}

bool security::IsUserOrAdmin(PSID sid, PSID user) {
    static const std::unique_ptr<void, LocalFreer> installer = [] {
        PSID made = nullptr;
        ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                               &made);
        return std::unique_ptr<void, LocalFreer>(made);
    }();
    return (user != nullptr && EqualSid(sid, user)) ||
           IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(sid, WinLocalSystemSid) || (installer && EqualSid(sid, installer.get()));
}

TrustFacts security::FactsOf(HANDLE handle) {
    TrustFacts facts;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return facts;
    }
    const bool reparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !reparse;
    facts.isRegularFile = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !reparse &&
                          GetFileType(handle) == FILE_TYPE_DISK;
    PSID owner = nullptr;
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &access, nullptr, &descriptor) != ERROR_SUCCESS) {
        return facts;
    }
    const std::unique_ptr<void, LocalFreer> release(descriptor);
    std::vector<BYTE> user = CurrentUser();
    const PSID self = user.empty() ? nullptr : static_cast<PSID>(user.data());
    facts.ownedByUserOrAdmin = owner != nullptr && IsUserOrAdmin(owner, self);
    if (access == nullptr) {
        return facts;  // no access list: everyone may do everything
    }
    // Changing a folder's entries that others own, or the item itself and who may change it.
    constexpr DWORD kReplace = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
    constexpr DWORD kAdd = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE;
    facts.othersWrite = OthersWrite::kNone;
    for (DWORD i = 0; i < access->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(access, i, reinterpret_cast<void**>(&header)) ||
            header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        const auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const PSID grantee = const_cast<DWORD*>(&ace->SidStart);
        if (IsUserOrAdmin(grantee, self) || IsWellKnownSid(grantee, WinCreatorOwnerSid)) {
            continue;
        }
        // A file's data is written with the same rights that add entries to a folder.
        if ((ace->Mask & kReplace) != 0 || (!facts.isFolder && (ace->Mask & kAdd) != 0)) {
            facts.othersWrite = OthersWrite::kAny;
        } else if ((ace->Mask & kAdd) != 0 && facts.othersWrite == OthersWrite::kNone) {
            facts.othersWrite = OthersWrite::kAddOnly;
        }
    }
    return facts;
}

bool security::CreateProtectedFolder(const std::wstring& path) {
    std::vector<BYTE> user = CurrentUser();
    if (user.empty()) {
        return false;
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    DWORD systemSize = sizeof system;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize)) {
        return false;
    }
    EXPLICIT_ACCESSW grants[3]{};
    const PSID grantees[3] = {user.data(), administrators, system};
    for (int i = 0; i < 3; ++i) {
        grants[i].grfAccessPermissions = GENERIC_ALL;
        grants[i].grfAccessMode = SET_ACCESS;
        grants[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        grants[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        grants[i].Trustee.ptstrName = static_cast<LPWSTR>(grantees[i]);
    }
    PACL list = nullptr;
    if (SetEntriesInAclW(3, grants, nullptr, &list) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFreer> release(list);
    SECURITY_DESCRIPTOR descriptor{};
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

}  // namespace platform
