// Stop requests: a signal is noted rather than ending the program while the object lives, the first
// one is kept, the handlers in force before come back afterwards, and (POSIX) a blocking read is not
// restarted after the signal, so that no system call is ever carried out twice on its account.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/stop_signals.h"

#ifndef _WIN32
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#endif

namespace {

volatile std::sig_atomic_t s_earlierHandlerRan = 0;

void EarlierHandler(int)
{
    s_earlierHandlerRan = 1;
}

TEST(StopSignals, NotesTheFirstSignalAndPutsTheEarlierHandlersBack)
{
    std::signal(SIGTERM, EarlierHandler);
    {
        StopSignals stop;
        EXPECT_EQ(0, StopSignals::Received());
        std::raise(SIGINT);
        std::raise(SIGTERM);
        EXPECT_EQ(SIGINT, StopSignals::Received());
        EXPECT_STREQ("SIGINT", StopSignals::Name(StopSignals::Received()));
        EXPECT_STREQ("SIGTERM", StopSignals::Name(SIGTERM));
        EXPECT_EQ(0, s_earlierHandlerRan);
    }
    {
        StopSignals again;
        EXPECT_EQ(0, StopSignals::Received()) << "each object starts afresh";
    }
    std::raise(SIGTERM);
    EXPECT_EQ(1, s_earlierHandlerRan);
    std::signal(SIGTERM, SIG_DFL);
}

#ifndef _WIN32
TEST(StopSignals, ABlockingReadReturnsWhenTheSignalComesInsteadOfStartingAgain)
{
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    StopSignals stop;
    const pthread_t reader = pthread_self();
    // Again and again until the read has returned: one sent before the read began would be missed.
    std::atomic<bool> returned(false);
    std::thread sender([reader, &returned] {
        while (!returned) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pthread_kill(reader, SIGINT);
        }
    });
    char byte = 0;
    const ssize_t got = read(ends[0], &byte, 1);
    const int error = errno;
    returned = true;
    sender.join();
    EXPECT_EQ(-1, got);
    EXPECT_EQ(EINTR, error);
    EXPECT_EQ(SIGINT, StopSignals::Received());
    close(ends[0]);
    close(ends[1]);
}
#endif

}  // namespace
