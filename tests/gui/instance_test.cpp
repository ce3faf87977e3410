// The single-instance lock: a second start brings the running instance's window forward and ends.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/gui/instance_lock.h"

namespace {

std::string UniqueName(const char* what) { return std::string("vqtest-") + what + "-" + std::to_string(getpid()); }

// Reads one line of a child's output; empty at its end.
std::string ReadLine(FILE* f) {
  char line[256];
  return std::fgets(line, sizeof line, f) ? std::string(line) : std::string();
}

TEST(InstanceLockTest, SecondLockOfTheSameNameFindsItTakenUntilReleased) {
  std::string name = UniqueName("lock");
  gui::CInstanceLock first(name);
  ASSERT_TRUE(first.IsOwner());
  EXPECT_FALSE(first.AlreadyExists());
  {
    gui::CInstanceLock second(name);
    EXPECT_TRUE(second.AlreadyExists());
    EXPECT_FALSE(second.IsOwner());
    gui::CInstanceLock other(UniqueName("other"));
    EXPECT_TRUE(other.IsOwner());
  }
  first.Release();
  gui::CInstanceLock third(name);
  EXPECT_TRUE(third.IsOwner());
}

TEST(InstanceLockTest, ActivationWithoutARunningInstanceReportsNoAnswer) {
  EXPECT_EQ(gui::CInstanceLock::ActivateRunningInstance(UniqueName("nobody"), "x", 500), -1);
}

TEST(InstanceLockTest, SecondStartBringsTheFirstWindowForwardAndEnds) {
  setenv("VQ_TEST_LOCK", UniqueName("app").c_str(), 1);
  const std::string program = VQ_INSTANCE_APP;
  FILE* first = popen(program.c_str(), "r");
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(ReadLine(first), "ready\n") << "the first start shows its (minimised) window";

  FILE* second = popen(program.c_str(), "r");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(ReadLine(second), "activated 1\n");
  int secondStatus = pclose(second);
  EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0) << "the second start ends at once";

  EXPECT_EQ(ReadLine(first), "brought forward\n");
  int firstStatus = pclose(first);
  EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0);
}

}  // namespace
