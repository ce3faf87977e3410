#include "platform/os/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

namespace os {
namespace {

thread_local ThreadPriority currentPriority = ThreadPriority::Normal;

// Threads are scheduled with the ordinary policy; Linux gives each thread its own nice value,
// so a priority is a nice offset from the process's nice at start.
int NiceOffset(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::Lowest:
            return 10;
        case ThreadPriority::BelowNormal:
            return 5;
        case ThreadPriority::Normal:
            return 0;
        case ThreadPriority::AboveNormal:
            return -5;
        case ThreadPriority::Highest:
            return -10;
        case ThreadPriority::TimeCritical:
            return -20;
    }
    return 0;
}

int ProcessBaseNice() {
    static const int base = [] {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, 0);
        return errno == 0 ? nice : 0;
    }();
    return base;
}

}  // namespace

bool SetCurrentThreadPriority(ThreadPriority priority) {
    currentPriority = priority;
    const int nice = std::clamp(ProcessBaseNice() + NiceOffset(priority), -20, 19);
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    // Without the privilege to raise it, the thread keeps the priority it has.
    (void)setpriority(PRIO_PROCESS, tid, nice);
    return true;
}

ThreadPriority GetCurrentThreadPriority() {
    return currentPriority;
}

struct Thread::State {
    std::thread thread;
};

namespace {
std::thread Launch(std::function<void()> body, ThreadPriority priority) {
    ProcessBaseNice();  // fixed before any thread changes its own nice value
    return std::thread([body = std::move(body), priority] {
        SetCurrentThreadPriority(priority);
        body();
    });
}
}  // namespace

Thread::Thread(std::function<void()> body, ThreadPriority priority)
    : state_(std::make_unique<State>(State{Launch(std::move(body), priority)})) {}

Thread::~Thread() {
    if (joinable()) join();
}

Thread::Thread(Thread&& other) noexcept = default;

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        if (joinable()) join();
        state_ = std::move(other.state_);
    }
    return *this;
}

bool Thread::joinable() const {
    return state_ != nullptr && state_->thread.joinable();
}

void Thread::join() {
    if (joinable()) state_->thread.join();
}

void Thread::detach() {
    if (joinable()) state_->thread.detach();
}

bool StartDetachedThread(std::function<void()> body, ThreadPriority priority) {
    try {
        Launch(std::move(body), priority).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace os
