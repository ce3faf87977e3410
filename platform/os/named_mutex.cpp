#include "platform/os/named_mutex.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace os {
namespace {

// One named mutex: owned by a thread, recursively.
struct MutexState {
    std::mutex lock;
    std::condition_variable released;
    std::thread::id owner;
    unsigned depth = 0;
};

std::mutex registryLock;
// Live mutexes by name; an entry goes away with its last handle.
std::map<std::string, std::weak_ptr<MutexState>>& Registry() {
    static std::map<std::string, std::weak_ptr<MutexState>> registry;
    return registry;
}

bool TryOwn(MutexState& state) {
    const auto self = std::this_thread::get_id();
    if (state.depth == 0) state.owner = self;
    if (state.owner != self) return false;
    ++state.depth;
    return true;
}

}  // namespace

class NamedMutex {
public:
    NamedMutex(std::string name, std::shared_ptr<MutexState> state)
        : name_(std::move(name)), state_(std::move(state)) {}
    ~NamedMutex() {
        {
            std::lock_guard guard(state_->lock);
            if (state_->depth > 0 && state_->owner == std::this_thread::get_id()) {
                state_->depth = 0;
                state_->released.notify_all();
            }
        }
        std::lock_guard guard(registryLock);
        state_.reset();
        auto it = Registry().find(name_);
        if (it != Registry().end() && it->second.expired()) Registry().erase(it);
    }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    MutexState& state() { return *state_; }

private:
    std::string name_;
    std::shared_ptr<MutexState> state_;
};

NamedMutex* CreateNamedMutex(const char* name, bool initialOwner) {
    if (name == nullptr || *name == '\0') return nullptr;
    std::shared_ptr<MutexState> state;
    bool created = false;
    {
        std::lock_guard guard(registryLock);
        auto& slot = Registry()[name];
        state = slot.lock();
        if (!state) {
            state = std::make_shared<MutexState>();
            slot = state;
            created = true;
        }
    }
    if (created && initialOwner) {
        std::lock_guard guard(state->lock);
        TryOwn(*state);
    }
    return new NamedMutex(name, std::move(state));
}

NamedMutex* OpenNamedMutex(const char* name) {
    if (name == nullptr) return nullptr;
    std::lock_guard guard(registryLock);
    auto it = Registry().find(name);
    if (it == Registry().end()) return nullptr;
    auto state = it->second.lock();
    if (!state) return nullptr;
    return new NamedMutex(name, std::move(state));
}

WaitResult WaitNamedMutex(NamedMutex* mutex, std::uint32_t timeoutMs) {
    if (mutex == nullptr) return WaitResult::Failed;
    MutexState& state = mutex->state();
    std::unique_lock guard(state.lock);
    auto own = [&] { return TryOwn(state); };
    if (timeoutMs == kInfinite) {
        state.released.wait(guard, own);
        return WaitResult::Acquired;
    }
    return state.released.wait_for(guard, std::chrono::milliseconds(timeoutMs), own)
               ? WaitResult::Acquired
               : WaitResult::TimedOut;
}

bool ReleaseNamedMutex(NamedMutex* mutex) {
    if (mutex == nullptr) return false;
    MutexState& state = mutex->state();
    std::lock_guard guard(state.lock);
    if (state.depth == 0 || state.owner != std::this_thread::get_id()) return false;
    if (--state.depth == 0) state.released.notify_all();
    return true;
}

bool CloseNamedMutex(NamedMutex* mutex) {
    if (mutex == nullptr) return false;
    delete mutex;
    return true;
}

}  // namespace os
