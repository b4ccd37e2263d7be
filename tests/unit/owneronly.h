// Reads back who may use a file or folder, with the system's own calls
// rather than the code under test: on Windows the access list as stored
// (GetNamedSecurityInfoW; Wine keeps it but enforces none of it), on Linux
// the owner and the mode.
#pragma once

#include <string>

#include "text/encoding.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>

#include <vector>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace testsupport {

// Empty when `path` (in the process code page) is the current user's alone:
// a protected DACL of exactly one ACE that allows the current user full
// control, or mode 0700/0600 and our own uid. Otherwise what is wrong.
inline std::string NotOwnerOnly(const std::string& path) {
    const platform::WideString wide = AnsiToWide(path);
#ifdef _WIN32
    const std::wstring name(wide.begin(), wide.end());
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return "no access list readable";
    std::string wrong;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    HANDLE token = nullptr;
    std::vector<BYTE> user(256);
    DWORD size = 0;
    const bool haveUser = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                          GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
    if (token) CloseHandle(token);
    void* ace = nullptr;
    if (!(control & SE_DACL_PROTECTED)) {
        wrong = "the DACL inherits from the parent";
    } else if (!dacl || dacl->AceCount != 1) {
        wrong = "the DACL does not hold exactly one ACE";
    } else if (!GetAce(dacl, 0, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) {
        wrong = "its one ACE does not allow";
    } else if (!haveUser ||
               !EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart,
                         reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid)) {
        wrong = "its one ACE is not the current user's";
    } else if ((static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask & FILE_ALL_ACCESS) != FILE_ALL_ACCESS) {
        wrong = "its one ACE is not full control";
    }
    LocalFree(descriptor);
    return wrong;
#else
    struct stat st;
    if (lstat(WideToUtf8(wide).c_str(), &st) != 0) return "missing";
    if (st.st_uid != geteuid()) return "another owner";
    const mode_t wanted = S_ISDIR(st.st_mode) ? 0700 : 0600;
    if ((st.st_mode & 07777) != wanted) return "mode " + std::to_string(st.st_mode & 07777);
    return std::string();
#endif
}

// Whether the file system keeps the access list a file is created with.
// Wine 8 keeps none (a protected one-ACE list reads back as one made from
// the Unix mode), so there only the decisions around the lists are checked.
inline bool AccessListsKept() {
#ifdef _WIN32
    static const bool kept = [] {
        wchar_t temp[MAX_PATH];
        const DWORD n = GetTempPathW(MAX_PATH, temp);
        if (n == 0 || n >= MAX_PATH) return false;
        const std::wstring probe = std::wstring(temp) + L"kova-acl-probe-" + std::to_wstring(GetCurrentProcessId());
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        ACL acl;
        InitializeAcl(&acl, sizeof acl, ACL_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);
        SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
        if (!CreateDirectoryW(probe.c_str(), &sa)) return false;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR read = nullptr;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        const bool ok = GetNamedSecurityInfoW(probe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                              nullptr, &dacl, nullptr, &read) == ERROR_SUCCESS &&
                        GetSecurityDescriptorControl(read, &control, &revision) && (control & SE_DACL_PROTECTED);
        if (read) LocalFree(read);
        RemoveDirectoryW(probe.c_str());
        return ok;
    }();
    return kept;
#else
    return true;
#endif
}

} // namespace testsupport
