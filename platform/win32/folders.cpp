// Folders on Windows, the same for the Windows backend and the test backend built for Windows:
// the current folder, private folders and what stands at a path. Paths are the core's narrow
// text in the documents' code page and go to the wide calls.
//
// A folder is private when its access list grants nobody but the user, the system and the
// administrators; a junction or symbolic link (a reparse point) counts as a link.
#include <aclapi.h>
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/system.h"
#include "platform/win32/codepage.h"
#include "platform/win32/security.h"

namespace platform {

namespace {

std::wstring WithoutFinalSeparator(const char* path) {
    std::wstring text = win32_codepage::WidePath(path);
    while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) {
        text.pop_back();
    }
    return text;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    return IsWellKnownSid(sid, type) != FALSE;
}

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

}  // namespace

bool SetCurrentFolder(const char* path) {
    return SetCurrentDirectoryW(win32_codepage::WidePath(path).c_str()) != FALSE;
}

std::string CurrentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring text(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, text.data());
    if (length == 0 || length >= size) {
        return "";
    }
    text.resize(length);
    return win32_codepage::FromWide(win32_codepage::kDocumentCodePage, text);
}

bool CreatePrivateFolder(const char* path) {
    // A new folder inherits its parent's access list; below the user's profile (the temporary
    // folder) that is private already, and RestrictFolderToUser makes it so elsewhere.
    return CreateDirectoryW(win32_codepage::WidePath(path).c_str(), nullptr) != FALSE;
}

FolderFacts InspectFolder(const char* path) {
    FolderFacts facts;
    const std::wstring name = WithoutFinalSeparator(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return facts;
    }
    facts.exists = true;
    facts.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

    PSID owner = nullptr;
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &access, nullptr, &descriptor) != ERROR_SUCCESS) {
        return facts;
    }
    std::unique_ptr<void, LocalFreer> release(descriptor);
    std::vector<BYTE> user = win32_security::CurrentUser();
    if (user.empty()) {
        return facts;
    }
    const PSID self = user.data();
    // An elevated user's new folders belong to the administrators.
    facts.ownedByUser = owner != nullptr &&
                        (EqualSid(owner, self) || IsWellKnown(owner, WinBuiltinAdministratorsSid));
    if (access == nullptr) {
        facts.othersMayEnter = true;  // no access list: everyone may do everything
        return facts;
    }
    for (DWORD i = 0; i < access->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(access, i, reinterpret_cast<void**>(&header)) ||
            header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue;
        }
        const PSID grantee = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
        if (!EqualSid(grantee, self) && !IsWellKnown(grantee, WinLocalSystemSid) &&
            !IsWellKnown(grantee, WinBuiltinAdministratorsSid) &&
            !IsWellKnown(grantee, WinCreatorOwnerSid)) {
            facts.othersMayEnter = true;
        }
    }
    return facts;
}

bool RestrictFolderToUser(const char* path) {
    const std::wstring name = WithoutFinalSeparator(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    // A link is refused instead of followed.
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    std::vector<BYTE> user = win32_security::CurrentUser();
    if (user.empty()) {
        return false;
    }
    EXPLICIT_ACCESSW grant{};
    grant.grfAccessPermissions = GENERIC_ALL;
    grant.grfAccessMode = SET_ACCESS;
    grant.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    grant.Trustee.TrusteeType = TRUSTEE_IS_USER;
    grant.Trustee.ptstrName = reinterpret_cast<LPWSTR>(user.data());
    PACL only = nullptr;
    if (SetEntriesInAclW(1, &grant, nullptr, &only) != ERROR_SUCCESS) {
        return false;
    }
    std::unique_ptr<void, LocalFreer> release(only);
    // Protected: the parent's grants no longer flow in.
    return SetNamedSecurityInfoW(const_cast<LPWSTR>(name.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, only, nullptr) == ERROR_SUCCESS;
}

}  // namespace platform
