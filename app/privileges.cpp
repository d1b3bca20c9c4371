// The membership test of the process token.
#include "app/privileges.h"

#include "app/message_area.h"
#include "app/res/resource.h"
#include "platform/system_table.h"

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version query names its structure by this size");

bool PlatformNeedsAdministrators(DWORD platformId)
{
    return platformId == VER_PLATFORM_WIN32_NT || platformId == VER_PLATFORM_LINUX;
}

BOOL IsAdministrator(void)
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!g_sys.GetVersionExA(&version))
        return FALSE;
    if (!PlatformNeedsAdministrators(version.dwPlatformId))
        return TRUE;
    BOOL member = FALSE;
    if (!IsMemberOfAlias(DOMAIN_ALIAS_RID_ADMINS, &member))
        return FALSE;
    return member;
}

BOOL CheckUpdatePrivileges(MessageArea& area)
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!g_sys.GetVersionExA(&version))
        return FALSE;
    if (PlatformNeedsAdministrators(version.dwPlatformId) && !IsAdministrator()) {
        area.Show(area.MessageText(IDS_NEED_ADMINISTRATORS), IDS_NEED_ADMINISTRATORS);
        return FALSE;
    }
    return TRUE;
}

BOOL IsMemberOfAlias(DWORD rid, BOOL* answer)
{
    if (answer == nullptr) {
        g_sys.SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HANDLE token = nullptr;
    if (!g_sys.OpenProcessToken(g_sys.GetCurrentProcess(), TOKEN_QUERY, &token))
        return FALSE;

    DWORD remembered = g_sys.GetLastError();
    DWORD needed = 0;
    g_sys.GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
    if (g_sys.GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
        g_sys.CloseHandle(token);
        return FALSE;
    }
    g_sys.SetLastError(remembered);

    auto* groups = static_cast<TOKEN_GROUPS*>(g_sys.LocalAlloc(LMEM_FIXED, needed));
    if (!groups) {
        g_sys.CloseHandle(token);
        return FALSE;
    }
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID alias = nullptr;
    if (!g_sys.GetTokenInformation(token, TokenGroups, groups, needed, &needed) ||
        !g_sys.AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, &alias)) {
        g_sys.LocalFree(groups);
        g_sys.CloseHandle(token);
        return FALSE;
    }

    // The attributes (enabled, deny-only, ...) are not looked at: any entry with the alias counts.
    *answer = FALSE;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (g_sys.EqualSid(groups->Groups[i].Sid, alias)) {
            *answer = TRUE;
            break;
        }
    }
    g_sys.FreeSid(alias);
    g_sys.LocalFree(groups);
    g_sys.CloseHandle(token);
    return TRUE;
}
