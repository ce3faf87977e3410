// Threads with a scheduling priority. A priority the OS refuses (no privilege to raise it) is not
// a failure: the thread runs at the priority it has.
#pragma once

#include <functional>
#include <memory>

namespace os {

enum class ThreadPriority { Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// Sets the calling thread's priority as far as the OS allows. Always true; the value is remembered
// for GetCurrentThreadPriority even where the OS refused it.
bool SetCurrentThreadPriority(ThreadPriority priority);
ThreadPriority GetCurrentThreadPriority();

// A started thread. The destructor waits for a joinable thread to end; detach() lets it run on.
class Thread {
public:
    Thread() = default;
    // Starts body at once, at the given priority.
    explicit Thread(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);
    ~Thread();
    Thread(Thread&& other) noexcept;
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool joinable() const;
    void join();
    void detach();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Starts body on a thread of its own that nobody joins (a framework worker thread).
bool StartDetachedThread(std::function<void()> body,
                         ThreadPriority priority = ThreadPriority::Normal);

}  // namespace os
