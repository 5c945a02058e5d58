#pragma once

// A per-user lock between runs of this program: a named mutex in the session, owned by the
// thread that took it, and shared memory in which its holder names itself to the runs that
// wait. A run that ended without letting go (it crashed or was killed) leaves the mutex
// abandoned, which the next run takes as free.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.hpp"
#include "platform/win32/handle.hpp"
#include "runs/run_lock_plan.hpp"

namespace ml {

// The names of one lock's two objects.
struct RunLockNames {
    std::wstring_view mutex;
    std::wstring_view holder;
};

// Holds a lock until destroyed. Every run does its work on the main thread, which owns the
// mutex from taking it to letting it go.
class RunLock {
  public:
    RunLock(UniqueHandle mutex, UniqueHandle holder)
        : mutex_(std::move(mutex)), holder_(std::move(holder)) {}
    RunLock(RunLock&&) noexcept = default;
    RunLock& operator=(RunLock&&) = delete;
    ~RunLock();

  private:
    UniqueHandle mutex_;
    UniqueHandle holder_;  // keeps this run's name readable for runs that wait
};

// How a run waits for a lock that another run holds. Both callbacks get what the holder says
// of itself (nullopt when it has said nothing).
struct RunLockWait {
    std::chrono::steady_clock::time_point deadline;
    // Called once, when the run finds the lock held and starts to wait.
    std::function<void(std::optional<std::string_view> holder)> on_wait;
    // The message of the error returned once the deadline has passed.
    std::function<std::string(std::optional<std::string_view> holder)> busy_reason;
};

// Takes the lock for `run`, waiting for another holder until the deadline at most. A mutex of
// that name that cannot be opened (another program made it first, for a user this one is
// not) counts as held, the same way. Past the deadline: Other with busy_reason's message.
Result<RunLock> take_run_lock(const RunLockNames& names, RunKind run, const RunLockWait& wait);

// `fallback`, or the milliseconds that the environment variable `variable` gives (a testing
// aid, see lock_wait_with).
std::chrono::milliseconds lock_wait_from_env(std::string_view variable,
                                             std::chrono::milliseconds fallback);

// Shared memory named `name` in the session, holding `text` (at most 127 bytes kept), that
// exists for as long as the returned handle or any copy of it is open: with `inheritable` a
// child can be handed one. Made so that only this user may open it. Where the name exists
// already, the text is written into what is there, or with `only_new` nothing is: the handle
// is then empty, as when the system refuses.
UniqueHandle publish_text(std::wstring_view name, std::string_view text, bool inheritable = false,
                          bool only_new = false);

// What answers to a name in the session.
struct PublishedName {
    // Something has that name: shared memory, also one this user may not open, or any other
    // kind of object. Only "not found" means nothing.
    bool present = false;
    // Its text as printable_holder_text shows it; nullopt when it cannot be read.
    std::optional<std::string> text;
};
PublishedName look_up_published(std::wstring_view name);

// The text of shared memory `name` as look_up_published gives it; nullopt when nothing
// readable has that name.
std::optional<std::string> read_published_text(std::wstring_view name);

}  // namespace ml
