// Named mutexes of the POSIX table shared between real processes: a busy holder, a holder that
// dies, when a name exists, and how the lock files are made.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix_named_lock.h"
#include "platform/system_table.h"
#include "support/child_process.h"

namespace {

const DWORD MUTEX_ALL_ACCESS_RIGHTS = 0x1F0001;

std::string WorkingDirectory()
{
    char path[4096];
    return getcwd(path, sizeof path) ? path : ".";
}

std::string UniqueName(const char* what)
{
    return std::string("qzv-test/") + what + "/" + std::to_string(getpid());
}

// The child's part in most tests: own the mutex, say so, and hold it until told to go on.
bool HoldUntilGo(ChildProcess& child, const std::string& name, bool release)
{
    HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr || g_sys.WaitForSingleObject(mutex, 5000) != WAIT_OBJECT_0)
        return false;
    child.Signal();
    child.AwaitGo();
    bool released = !release || g_sys.ReleaseMutex(mutex);
    child.Signal();
    child.AwaitGo();
    return released;
}

TEST(NamedMutexProcesses, AnotherProcessHoldingTheMutexMakesTheWaitTimeOutUntilItReleases)
{
    std::string name = UniqueName("busy");
    HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    ChildProcess child([&](ChildProcess& self) { return HoldUntilGo(self, name, true); });
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.AwaitSignal());

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(mutex, 150));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    // A wait without time is refused too.
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(mutex, 0));

    child.Go();
    ASSERT_TRUE(child.AwaitSignal());
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(mutex, 2000));
    EXPECT_TRUE(g_sys.ReleaseMutex(mutex));
    child.Go();
    EXPECT_EQ(0, child.Finish());
    g_sys.CloseHandle(mutex);
}

TEST(NamedMutexProcesses, AMutexWhoseHolderDiedIsFreeAgain)
{
    std::string name = UniqueName("dead");
    HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    ChildProcess child([&](ChildProcess& self) { return HoldUntilGo(self, name, false); });
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.AwaitSignal());
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(mutex, 50));

    child.Kill();
    EXPECT_EQ(-1, child.Finish());
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(mutex, 2000));
    EXPECT_TRUE(g_sys.ReleaseMutex(mutex));
    g_sys.CloseHandle(mutex);
}

TEST(NamedMutexProcesses, ANameExistsWhileSomeProcessHasItOpen)
{
    std::string name = UniqueName("exists");
    EXPECT_EQ(nullptr, g_sys.OpenMutexA(MUTEX_ALL_ACCESS_RIGHTS, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());

    ChildProcess child([&](ChildProcess& self) {
        HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
        bool created = mutex != nullptr && g_sys.GetLastError() == 0;
        self.Signal();
        self.AwaitGo();
        g_sys.CloseHandle(mutex);
        self.Signal();
        self.AwaitGo();
        return created;
    });
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.AwaitSignal());

    HANDLE created = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), g_sys.GetLastError());
    g_sys.CloseHandle(created);
    HANDLE opened = g_sys.OpenMutexA(MUTEX_ALL_ACCESS_RIGHTS, FALSE, name.c_str());
    EXPECT_NE(nullptr, opened);
    g_sys.CloseHandle(opened);

    // Once the child has closed its handle, the name is gone.
    child.Go();
    ASSERT_TRUE(child.AwaitSignal());
    EXPECT_EQ(nullptr, g_sys.OpenMutexA(MUTEX_ALL_ACCESS_RIGHTS, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    child.Go();
    EXPECT_EQ(0, child.Finish());
}

TEST(NamedMutexProcesses, InitialOwnershipIsNotTakenFromAnotherProcess)
{
    std::string name = UniqueName("initial");
    HANDLE mine = g_sys.CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, mine);
    ChildProcess child([&](ChildProcess& self) {
        HANDLE theirs = g_sys.CreateMutexA(nullptr, TRUE, name.c_str());
        bool refused = theirs != nullptr && g_sys.GetLastError() == ERROR_ALREADY_EXISTS &&
                       !g_sys.ReleaseMutex(theirs) && g_sys.WaitForSingleObject(theirs, 20) == WAIT_TIMEOUT;
        self.Signal();
        return refused;
    });
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.AwaitSignal());
    EXPECT_EQ(0, child.Finish());
    EXPECT_TRUE(g_sys.ReleaseMutex(mine));
    g_sys.CloseHandle(mine);
}

// Reads a number from the file, pauses, and writes it back plus one: only exclusion keeps counts.
void IncrementSlowly(const std::string& path)
{
    int value = 0;
    { std::ifstream(path) >> value; }
    usleep(50);
    std::ofstream(path) << value + 1;
}

TEST(NamedMutexProcesses, ExclusionHoldsWhileProcessesOpenAndCloseTheNameAllTheTime)
{
    // Every round opens the name afresh and closes it again, so the files are removed and made
    // anew while other processes are opening them.
    std::string name = UniqueName("churn");
    std::string counter = WorkingDirectory() + "/churn-counter";
    { std::ofstream(counter) << 0; }
    const int PROCESSES = 4, ROUNDS = 150;
    auto work = [&](ChildProcess& self) {
        self.AwaitGo();
        for (int round = 0; round < ROUNDS; ++round) {
            HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
            if (mutex == nullptr || g_sys.WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0)
                return false;
            IncrementSlowly(counter);
            g_sys.ReleaseMutex(mutex);
            g_sys.CloseHandle(mutex);
        }
        return true;
    };
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < PROCESSES; ++i)
        children.push_back(std::make_unique<ChildProcess>(work));
    for (auto& child : children)
        child->Go();
    for (auto& child : children)
        EXPECT_EQ(0, child->Finish());
    int total = 0;
    std::ifstream(counter) >> total;
    EXPECT_EQ(PROCESSES * ROUNDS, total);
    EXPECT_NE(0, access(PosixLockFilePath(PosixLockDirectory(), name, ".open").c_str(), F_OK));
}

TEST(NamedMutexLockFiles, AreCreatedSoThatEveryUserMayOpenThemWhateverTheUmask)
{
    std::string name = UniqueName("mode");
    mode_t previous = umask(077);
    HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    umask(previous);
    ASSERT_NE(nullptr, mutex);
    for (const char* suffix : {".lock", ".open"}) {
        struct stat st;
        std::string path = PosixLockFilePath(PosixLockDirectory(), name, suffix);
        ASSERT_EQ(0, stat(path.c_str(), &st)) << path;
        EXPECT_EQ(0666u, st.st_mode & 0777u) << path;
    }
    g_sys.CloseHandle(mutex);
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST(NamedMutexLockFiles, TheLastHandleToCloseRemovesThemAndStaleOnesAreHarmless)
{
    std::string name = UniqueName("files");
    std::string presence = PosixLockFilePath(PosixLockDirectory(), name, ".open");
    std::string ownership = PosixLockFilePath(PosixLockDirectory(), name, ".lock");
    HANDLE first = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, first);
    ChildProcess child([&](ChildProcess& self) {
        HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
        self.Signal();
        self.AwaitGo();
        g_sys.CloseHandle(mutex);
        self.Signal();
        self.AwaitGo();
        return mutex != nullptr;
    });
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.AwaitSignal());
    g_sys.CloseHandle(first);
    EXPECT_TRUE(Exists(presence));  // the child still has it open
    EXPECT_TRUE(Exists(ownership));
    child.Go();
    ASSERT_TRUE(child.AwaitSignal());
    EXPECT_FALSE(Exists(presence));
    EXPECT_FALSE(Exists(ownership));
    child.Go();
    EXPECT_EQ(0, child.Finish());

    // Files as a killed process leaves them: a new holder uses them, and looking the name up
    // without a holder clears them away.
    { std::ofstream(presence) << ""; }
    { std::ofstream(ownership) << ""; }
    HANDLE again = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(0u, g_sys.GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(again, 0));
    EXPECT_TRUE(g_sys.ReleaseMutex(again));
    g_sys.CloseHandle(again);
    { std::ofstream(presence) << ""; }
    EXPECT_EQ(nullptr, g_sys.OpenMutexA(MUTEX_ALL_ACCESS_RIGHTS, FALSE, name.c_str()));
    EXPECT_FALSE(Exists(presence));
}

TEST(NamedMutexLockFiles, ALinkPlantedInTheLockFolderIsNotFollowed)
{
    std::string name = UniqueName("link");
    std::string target = WorkingDirectory() + "/link-target";
    { std::ofstream(target) << "keep"; }
    chmod(target.c_str(), 0600);
    std::string path = PosixLockFilePath(PosixLockDirectory(), name, ".open");
    unlink(path.c_str());
    ASSERT_EQ(0, symlink(target.c_str(), path.c_str()));

    EXPECT_EQ(nullptr, g_sys.CreateMutexA(nullptr, FALSE, name.c_str()));
    struct stat st;
    ASSERT_EQ(0, stat(target.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777u);
    unlink(path.c_str());
    unlink(target.c_str());
}

TEST(NamedMutexLockFiles, DistinctNamesGetDistinctFilesOfLegalLength)
{
    EXPECT_EQ("/d/qzv-mutexSgIo%2FQZV-5x%2FDevice3.lock",
              PosixLockFilePath("/d", "mutexSgIo/QZV-5x/Device3", ".lock"));
    EXPECT_NE(PosixLockFilePath("/d", "a/b", ".lock"), PosixLockFilePath("/d", "a%2Fb", ".lock"));

    std::string longA(300, '/'), longB(300, '/');
    longA += "A";
    longB += "B";
    std::string fileA = PosixLockFilePath("/d", longA, ".lock");
    std::string fileB = PosixLockFilePath("/d", longB, ".lock");
    EXPECT_NE(fileA, fileB);
    EXPECT_LE(fileA.size() - 3, 255u);  // the file name alone, without "/d/"
    EXPECT_EQ(std::string::npos, fileA.find('/', 3));
}

TEST(NamedMutexLockFiles, FolderFallsBackToTheTemporaryFolderThenTmp)
{
    std::string scratch = WorkingDirectory();
    EXPECT_EQ(scratch, PosixChooseLockDirectory("/nonexistent/lock", scratch.c_str()));
    EXPECT_EQ(scratch, PosixChooseLockDirectory(scratch.c_str(), "/nonexistent/tmp"));
    EXPECT_EQ("/tmp", PosixChooseLockDirectory("/nonexistent/lock", "relative/tmp"));
    EXPECT_EQ("/tmp", PosixChooseLockDirectory(nullptr, nullptr));
}

}  // namespace
