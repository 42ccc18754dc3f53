// One procedure per kit: the lock on real files, held by this process and by
// another one.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/kit_lock.h"
#include "fakes.h"

namespace ndx {
namespace {

using namespace test;
namespace fs = std::filesystem;

TEST(KitLock, SecondHolderIsRefusedWithTheFirstOnesNumber)
{
    TempBase kit;
    {
        KitLock first(kit.path());
        ASSERT_TRUE(first.held());
        EXPECT_EQ(first.refusal(), "");
        // Even within one process: a second window's click is refused.
        KitLock second(kit.path());
        EXPECT_FALSE(second.held());
        EXPECT_EQ(second.refusal(), "Another upgrade is running from this kit (process " +
                                        std::to_string(::getpid()) +
                                        "). Wait for it to end, or use batch mode for several devices.");
    }
    KitLock third(kit.path());
    EXPECT_TRUE(third.held());
    // Another kit is another lock.
    TempBase other;
    EXPECT_TRUE(KitLock(other.path()).held());
}

TEST(KitLock, HeldByAnotherProcessUntilItEnds)
{
    TempBase kit;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        KitLock lock(kit.path());
        const char byte = lock.held() ? 'y' : 'n';
        static_cast<void>(::write(ready[1], &byte, 1) == 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    EXPECT_EQ(KitLock(kit.path()).refusal(), kitBusyText(holder));

    // Killed, not ended: the lock goes with the process, and its number,
    // still in the file, names no one.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    KitLock after(kit.path());
    EXPECT_TRUE(after.held());
    EXPECT_EQ(readFile(kit.root / "Tool" / kitLockFileName), std::to_string(::getpid()) + "\n");
}

TEST(KitLock, KitWithoutToolFolderIsNotRefused)
{
    TempBase kit;
    fs::remove_all(kit.root / "Tool");
    KitLock lock(kit.path());
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(lock.refusal(), "");
    EXPECT_FALSE(fs::exists(kit.root / "Tool"));
}

TEST(KitLock, ReleaseLeavesNoNumberBehind)
{
    TempBase kit;
    { KitLock lock(kit.path()); }
    EXPECT_EQ(readFile(kit.root / "Tool" / kitLockFileName), "");
    EXPECT_EQ(kitBusyText(0), "Another upgrade is running from this kit (process unknown). Wait for it to end, or "
                              "use batch mode for several devices.");
}

}  // namespace
}  // namespace ndx
