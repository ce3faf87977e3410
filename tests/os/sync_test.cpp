// Named mutexes, threads, the injectable clock and movable memory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/os/clock.h"
#include "platform/os/command_line.h"
#include "platform/os/global_memory.h"
#include "platform/os/named_mutex.h"
#include "platform/os/thread.h"

namespace {

using std::chrono::milliseconds;

TEST(NamedMutex, SerialisesThreadsAndAWaitTimesOutWhileAnotherOwnsIt) {
    os::NamedMutex* created = os::CreateNamedMutex("mvx_mutex", false);
    ASSERT_NE(created, nullptr);
    ASSERT_EQ(os::WaitNamedMutex(created, os::kInfinite), os::WaitResult::Acquired);

    std::atomic<int> stage{0};
    std::atomic<bool> ownedWhileHeld{false};
    std::thread other([&] {
        os::NamedMutex* opened = os::OpenNamedMutex("mvx_mutex");
        ASSERT_NE(opened, nullptr);
        EXPECT_EQ(os::WaitNamedMutex(opened, 100), os::WaitResult::TimedOut);
        EXPECT_FALSE(os::ReleaseNamedMutex(opened));  // not the owner
        stage = 1;
        EXPECT_EQ(os::WaitNamedMutex(opened, 10000), os::WaitResult::Acquired);
        ownedWhileHeld = stage.load() == 1;  // the main thread still held it in stage 1
        EXPECT_TRUE(os::ReleaseNamedMutex(opened));
        os::CloseNamedMutex(opened);
    });
    while (stage.load() == 0) std::this_thread::sleep_for(milliseconds(1));
    std::this_thread::sleep_for(milliseconds(50));
    stage = 2;
    EXPECT_TRUE(os::ReleaseNamedMutex(created));
    other.join();
    EXPECT_FALSE(ownedWhileHeld.load());
    EXPECT_TRUE(os::CloseNamedMutex(created));
}

TEST(NamedMutex, TheOwnerMayWaitAgainAndNeedsAReleasePerWait) {
    os::NamedMutex* mutex = os::CreateNamedMutex("recursive", true);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(os::WaitNamedMutex(mutex, 0), os::WaitResult::Acquired);
    EXPECT_TRUE(os::ReleaseNamedMutex(mutex));
    std::thread([] {
        os::NamedMutex* opened = os::OpenNamedMutex("recursive");
        EXPECT_EQ(os::WaitNamedMutex(opened, 0), os::WaitResult::TimedOut);  // one ownership left
        os::CloseNamedMutex(opened);
    }).join();
    EXPECT_TRUE(os::ReleaseNamedMutex(mutex));
    EXPECT_FALSE(os::ReleaseNamedMutex(mutex));
    os::CloseNamedMutex(mutex);
}

TEST(NamedMutex, OpeningNeedsAnExistingMutexAndTheLastCloseEndsIt) {
    EXPECT_EQ(os::OpenNamedMutex("nobody"), nullptr);
    os::NamedMutex* first = os::CreateNamedMutex("shortlived", false);
    os::NamedMutex* second = os::CreateNamedMutex("shortlived", true);  // exists: opened, not owned
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(os::ReleaseNamedMutex(second));
    os::CloseNamedMutex(first);
    os::NamedMutex* third = os::OpenNamedMutex("shortlived");
    EXPECT_NE(third, nullptr);
    os::CloseNamedMutex(second);
    os::CloseNamedMutex(third);
    EXPECT_EQ(os::OpenNamedMutex("shortlived"), nullptr);
    EXPECT_EQ(os::CreateNamedMutex("", false), nullptr);
}

TEST(NamedMutex, ClosingAnOwnedHandleLetsOthersIn) {
    os::NamedMutex* keeper = os::CreateNamedMutex("handover", false);
    std::thread([] {
        os::NamedMutex* owner = os::OpenNamedMutex("handover");
        ASSERT_EQ(os::WaitNamedMutex(owner, os::kInfinite), os::WaitResult::Acquired);
        os::CloseNamedMutex(owner);
    }).join();
    EXPECT_EQ(os::WaitNamedMutex(keeper, 1000), os::WaitResult::Acquired);
    os::CloseNamedMutex(keeper);
}

TEST(Thread, RunsItsBodyAtTheAskedPriority) {
    for (auto priority : {os::ThreadPriority::Lowest, os::ThreadPriority::AboveNormal,
                          os::ThreadPriority::Highest}) {
        std::atomic<int> seen{-1};
        os::Thread thread([&] { seen = static_cast<int>(os::GetCurrentThreadPriority()); },
                          priority);
        thread.join();
        EXPECT_EQ(seen.load(), static_cast<int>(priority));
    }
    std::atomic<bool> ran{false};
    ASSERT_TRUE(os::StartDetachedThread([&] { ran = true; }));
    for (int i = 0; i < 5000 && !ran.load(); ++i) std::this_thread::sleep_for(milliseconds(1));
    EXPECT_TRUE(ran.load());
}

TEST(FakeClock, SleepsAdvanceTimeWithoutWaitingAndTheRealClockComesBack) {
    const auto realStart = std::chrono::steady_clock::now();
    {
        os::FakeClock fake(1000);
        os::ScopedClock scope(fake);
        EXPECT_EQ(os::TickCount(), 1000u);
        for (int i = 0; i < 3; ++i) os::Sleep(3333);
        EXPECT_EQ(os::TickCount(), 1000u + 9999u);
        fake.advance(1);
        EXPECT_EQ(os::TickCount(), 11000u);
        EXPECT_EQ(fake.totalSleptMs(), 9999u);
        EXPECT_EQ(fake.sleepCount(), 3u);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
    const std::uint32_t before = os::TickCount();
    os::Sleep(20);
    const std::uint32_t after = os::TickCount();
    EXPECT_GE(after - before, 19u);
    EXPECT_LT(after - before, 5000u);
}

TEST(Clock, LocalTimeAndCounterAreSane) {
    const os::LocalTime now = os::GetLocalTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.milliseconds >= 0 && now.milliseconds < 1000);
    const std::uint64_t first = os::HighResCounter();
    EXPECT_GE(os::HighResCounter(), first);
    EXPECT_GT(os::HighResFrequency(), 1000u);
}

TEST(GlobalMemory, ZeroFilledMovableBlocksLockUnlockAndFree) {
    os::GlobalBlock* block = os::GlobalAlloc(os::kGmemMoveable | os::kGmemZeroInit, 4096);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(os::GlobalSize(block), 4096u);
    auto* bytes = static_cast<unsigned char*>(os::GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    for (std::size_t i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(os::GlobalLock(block), bytes);
    EXPECT_TRUE(os::GlobalUnlock(block));
    EXPECT_FALSE(os::GlobalUnlock(block));
    EXPECT_EQ(os::GlobalFree(block), nullptr);
    EXPECT_EQ(os::GlobalAlloc(os::kGmemMoveable, 0), nullptr);
}

TEST(CommandLine, StartsWithTheQuotedAbsolutePathOfTheExecutable) {
    const std::string line = os::GetCommandLine();
    ASSERT_GE(line.size(), 3u);
    ASSERT_EQ(line.front(), '"');
    const std::size_t close = line.find('"', 1);
    ASSERT_NE(close, std::string::npos);
    const std::filesystem::path path = line.substr(1, close - 1);
    EXPECT_TRUE(path.is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(path, "/proc/self/exe"));
    EXPECT_EQ(line.substr(close + 1, 1), " ");  // ctest runs each case with arguments
    EXPECT_STREQ(os::ExecutableSuffix(), "");
}

}  // namespace
