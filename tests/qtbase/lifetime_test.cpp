#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <QSysInfo>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/atomicfile.h"

#include "qtbase/lifetime.h"
#include "support/notifysocket.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

int Pings(const std::vector<std::string>& messages) {
    return static_cast<int>(std::count(messages.begin(), messages.end(), "WATCHDOG=1"));
}

TEST(ServiceNotifier, WatchdogPingsComeFromTheEventLoopAndStopWhileItIsBlocked) {
    testing::ScratchDir dir{"zorled-notify"};
    testing::NotifySocket socket(dir / "notify");
    ASSERT_TRUE(socket.Ready());
    ::setenv("NOTIFY_SOCKET", socket.Path().c_str(), 1);
    ::setenv("WATCHDOG_USEC", "100000", 1);
    ::unsetenv("WATCHDOG_PID");
    {
        ServiceNotifier notifier;
        EXPECT_EQ(notifier.WatchdogUsec(), 100000u);
        notifier.Ready();
        notifier.Status("播放 p1");
        std::vector<std::string> messages;
        for (int i = 0; i < 2000 && Pings(messages) < 3; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
            for (auto& m : socket.Take()) messages.push_back(m);
        }
        ASSERT_GE(Pings(messages), 3);
        EXPECT_EQ(messages[0], "READY=1");
        EXPECT_EQ(messages[1], "STATUS=播放 p1");
        // Blocked for ten watchdog intervals: not one ping.
        QThread::msleep(1000);
        EXPECT_EQ(Pings(socket.Take()), 0);
        for (int i = 0; i < 2000 && Pings(messages) < 4; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
            for (auto& m : socket.Take()) messages.push_back(m);
        }
        EXPECT_GE(Pings(messages), 4) << "pings come back with the event loop";
    }
    // Without a notify socket nothing is sent, not even with a watchdog asked for.
    ::unsetenv("NOTIFY_SOCKET");
    {
        ServiceNotifier notifier;
        notifier.Ready();
        EXPECT_EQ(notifier.WatchdogUsec(), 0u);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 300);
        EXPECT_TRUE(socket.Take().empty());
    }
    ::unsetenv("WATCHDOG_USEC");
}

TEST(StopSignals, ASignalRunsTheHandlerInTheEventLoop) {
    std::vector<int> seen;
    {
        StopSignals stop([&](int signal) { seen.push_back(signal); });
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::raise(signal);
        EXPECT_TRUE(seen.empty()) << "never inside the signal handler";
        for (int i = 0; i < 100 && seen.size() < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
}

TEST(HomeLock, OneHolderPerHome) {
    testing::ScratchDir home{"zorled-lock"};
    HomeLock first(home.path()), second(home.path());
    ASSERT_TRUE(first.TryLock());
    // QLockFile within one process: a second object on the same file is refused too.
    EXPECT_FALSE(second.TryLock());
    EXPECT_TRUE(second.Message().contains("is in use by another copy of ZorLED"));
    first.Unlock();
    EXPECT_TRUE(second.TryLock());
}

TEST(HomeLock, OnlyALiveHolderKeepsTheHomeWhateverTheFileSays) {
    testing::ScratchDir home{"zorled-lock"};
    const std::string path = (home / "zorled.lock").string();
    // Left by a copy that died, naming a process id now taken by another live ZorLED process
    // (this test stands in for it), in the format a lock file of earlier versions has.
    WriteFileAtomic(home / "zorled.lock", std::to_string(::getpid()) + "\nzorled\n" + QSysInfo::machineHostName().toStdString() + "\n");
    {
        HomeLock lock(home.path());
        EXPECT_TRUE(lock.TryLock()) << "a stale lock file keeps no sign out";
    }
    // A holder in another process keeps it until it dies, killed without a chance to clean up.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
        ::flock(fd, LOCK_EX);
        (void)!::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    HomeLock lock(home.path());
    EXPECT_FALSE(lock.TryLock());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_TRUE(lock.TryLock());
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace zl
