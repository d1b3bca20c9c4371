// The privilege check: the membership test over a process token that a test table of the system
// seam hands out, the refusal in the main dialog, and the platforms that need no rights.
#include <cstddef>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/privileges.h"
#include "app_test_support.h"
#include "platform/system_table.h"
#include "sim/machine/emulated_machine.h"

namespace {

// A process token of the test's making. The identifiers are built with the system's own calls.
struct TestToken {
    std::vector<PSID> sids;
    std::vector<DWORD> attributes;
    // The call that fails ("open", "size", "alloc", "read", "sid"), if any.
    std::string failing;
    int opened = 0, closed = 0, allocated = 0, freed = 0, sidsMade = 0, sidsFreed = 0, calls = 0;
    DWORD lastErrorAtAlloc = 0;
    SystemTable previous;
};
TestToken* s_token = nullptr;
const HANDLE TOKEN_HANDLE = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x70C0));

BOOL WINAPI TokenOpen(HANDLE, DWORD access, PHANDLE token)
{
    ++s_token->calls;
    EXPECT_EQ(static_cast<DWORD>(TOKEN_QUERY), access);
    if (s_token->failing == "open") {
        g_sys.SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    ++s_token->opened;
    *token = TOKEN_HANDLE;
    return TRUE;
}

BOOL WINAPI TokenClose(HANDLE handle)
{
    if (handle != TOKEN_HANDLE)
        return s_token->previous.CloseHandle(handle);
    ++s_token->closed;
    return TRUE;
}

BOOL WINAPI TokenGroupsOf(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD length, PDWORD needed)
{
    ++s_token->calls;
    EXPECT_EQ(TOKEN_HANDLE, token);
    EXPECT_EQ(TokenGroups, kind);
    DWORD size = static_cast<DWORD>(offsetof(TOKEN_GROUPS, Groups) + s_token->sids.size() * sizeof(SID_AND_ATTRIBUTES));
    *needed = size;
    if (!buffer || length < size) {
        g_sys.SetLastError(s_token->failing == "size" ? ERROR_ACCESS_DENIED : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (s_token->failing == "read") {
        g_sys.SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
    groups->GroupCount = static_cast<DWORD>(s_token->sids.size());
    for (size_t i = 0; i < s_token->sids.size(); ++i) {
        groups->Groups[i].Sid = s_token->sids[i];
        groups->Groups[i].Attributes = s_token->attributes[i];
    }
    return TRUE;
}

HLOCAL WINAPI TokenLocalAlloc(UINT flags, SIZE_T bytes)
{
    s_token->lastErrorAtAlloc = g_sys.GetLastError();
    if (s_token->failing == "alloc") {
        g_sys.SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ++s_token->allocated;
    return s_token->previous.LocalAlloc(flags, bytes);
}

HLOCAL WINAPI TokenLocalFree(HLOCAL block)
{
    ++s_token->freed;
    return s_token->previous.LocalFree(block);
}

BOOL WINAPI TokenMakeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD a, DWORD b, DWORD c, DWORD d, DWORD e,
                         DWORD f, DWORD g, DWORD h, PSID* sid)
{
    if (s_token->failing == "sid") {
        g_sys.SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    ++s_token->sidsMade;
    return s_token->previous.AllocateAndInitializeSid(authority, count, a, b, c, d, e, f, g, h, sid);
}

PVOID WINAPI TokenFreeSid(PSID sid)
{
    ++s_token->sidsFreed;
    return s_token->previous.FreeSid(sid);
}

// Puts the token into the table in force; the test's groups are aliases S-1-5-32-<rid>.
class TokenTable {
public:
    explicit TokenTable(std::vector<std::pair<DWORD, DWORD>> aliases)
    {
        m_token.previous = g_sys;
        for (const auto& alias : aliases) {
            SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
            PSID sid = nullptr;
            g_sys.AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, alias.first, 0, 0, 0, 0, 0, 0, &sid);
            m_token.sids.push_back(sid);
            m_token.attributes.push_back(alias.second);
        }
        s_token = &m_token;
        g_sys.OpenProcessToken = TokenOpen;
        g_sys.CloseHandle = TokenClose;
        g_sys.GetTokenInformation = TokenGroupsOf;
        g_sys.LocalAlloc = TokenLocalAlloc;
        g_sys.LocalFree = TokenLocalFree;
        g_sys.AllocateAndInitializeSid = TokenMakeSid;
        g_sys.FreeSid = TokenFreeSid;
    }
    ~TokenTable()
    {
        g_sys = m_token.previous;
        for (PSID sid : m_token.sids)
            g_sys.FreeSid(sid);
        s_token = nullptr;
    }
    TestToken& Token() { return m_token; }

    // Every token, block and identifier taken was given back.
    void ExpectAllReleased()
    {
        EXPECT_EQ(m_token.opened, m_token.closed);
        EXPECT_EQ(m_token.allocated, m_token.freed);
        EXPECT_EQ(m_token.sidsMade, m_token.sidsFreed);
    }

private:
    TestToken m_token;
};

const DWORD ENABLED = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;

class Privileges : public UpdaterRun {
protected:
    EmulatedMachine machine{VER_PLATFORM_WIN32_NT};
};

TEST_F(Privileges, WithoutAdministratorsTheProbeEndsBeforeAnyUnitIsTouched)
{
    SimUnit& unit = machine.AttachUnit(SimUnitConfig(), NtSlot::Letter('E'));
    TokenTable table({{DOMAIN_ALIAS_RID_USERS, ENABLED}});
    EXPECT_EQ(1, Run(""));
    EXPECT_EQ((std::vector<std::string>{NEED_ADMINISTRATORS_TEXT}), shown);
    EXPECT_FALSE(startEnabled);
    EXPECT_TRUE(unit.Commands().empty());
    EXPECT_EQ(0u, machine.OpenHandleCount());
    table.ExpectAllReleased();
}

TEST_F(Privileges, AnAdministratorsEntryCountsWhateverItsAttributes)
{
    TokenTable table({{DOMAIN_ALIAS_RID_USERS, ENABLED}, {DOMAIN_ALIAS_RID_ADMINS, SE_GROUP_USE_FOR_DENY_ONLY}});
    BOOL member = FALSE;
    EXPECT_TRUE(IsMemberOfAlias(DOMAIN_ALIAS_RID_ADMINS, &member));
    EXPECT_TRUE(member);
    EXPECT_TRUE(IsAdministrator());
    EXPECT_TRUE(IsMemberOfAlias(0x222, &member));
    EXPECT_FALSE(member);
    table.ExpectAllReleased();
    // Past the check, the probe finds no unit on this machine.
    EXPECT_EQ(1, Run(""));
    EXPECT_EQ(NO_UNIT_TEXT, Last());
}

TEST_F(Privileges, EveryFailedStepOfTheTestRefusesAndReleasesWhatItTook)
{
    for (const char* failing : {"open", "size", "alloc", "read", "sid"}) {
        SCOPED_TRACE(failing);
        TokenTable table({{DOMAIN_ALIAS_RID_ADMINS, ENABLED}});
        table.Token().failing = failing;
        BOOL member = 12345;
        EXPECT_FALSE(IsMemberOfAlias(DOMAIN_ALIAS_RID_ADMINS, &member));
        EXPECT_FALSE(IsAdministrator());
        table.ExpectAllReleased();
        EXPECT_EQ(1, Run(""));
        EXPECT_EQ(NEED_ADMINISTRATORS_TEXT, Last());
    }
}

TEST_F(Privileges, ANullAnswerFailsWithInvalidParameter)
{
    TokenTable table({{DOMAIN_ALIAS_RID_ADMINS, ENABLED}});
    g_sys.SetLastError(0);
    EXPECT_FALSE(IsMemberOfAlias(DOMAIN_ALIAS_RID_ADMINS, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), g_sys.GetLastError());
    EXPECT_EQ(0, table.Token().calls);
}

TEST_F(Privileges, TheSizeQueryLeavesTheCallersLastErrorInPlace)
{
    TokenTable table({{DOMAIN_ALIAS_RID_ADMINS, ENABLED}});
    g_sys.SetLastError(ERROR_FILE_EXISTS);
    BOOL member = FALSE;
    EXPECT_TRUE(IsMemberOfAlias(DOMAIN_ALIAS_RID_ADMINS, &member));
    // The expected ERROR_INSUFFICIENT_BUFFER of the size query is gone before the next call.
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), table.Token().lastErrorAtAlloc);
}

TEST_F(Privileges, Windows9xNeedsNoRightsAndNoToken)
{
    machine.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    TokenTable table({});
    table.Token().failing = "open";
    EXPECT_TRUE(IsAdministrator());
    EXPECT_EQ(0, table.Token().calls);
    EXPECT_EQ(1, Run(""));
    EXPECT_EQ(NO_UNIT_TEXT, Last());
    EXPECT_EQ(0, table.Token().calls);
}

BOOL WINAPI VersionQueryFails(LPOSVERSIONINFOA)
{
    g_sys.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

TEST_F(Privileges, AFailedVersionQueryEndsTheProbeWithoutAText)
{
    SimUnit& unit = machine.AttachUnit(SimUnitConfig(), NtSlot::Letter('E'));
    g_sys.GetVersionExA = VersionQueryFails;
    EXPECT_FALSE(IsAdministrator());
    EXPECT_EQ(1, Run(""));
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(unit.Commands().empty());
}

#ifndef _WIN32
TEST(LinuxPrivileges, TheProcessTokenListsAdministratorsExactlyForRoot)
{
    SystemTableReset();
    BOOL member = 12345;
    ASSERT_TRUE(IsMemberOfAlias(DOMAIN_ALIAS_RID_ADMINS, &member));
    EXPECT_EQ(geteuid() == 0, member == TRUE);
    EXPECT_EQ(geteuid() == 0, IsAdministrator() == TRUE);
    EXPECT_TRUE(PlatformNeedsAdministrators(VER_PLATFORM_LINUX));
}
#endif

}  // namespace
