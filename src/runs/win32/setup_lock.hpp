#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/error.hpp"
#include "platform/win32/handle.hpp"
#include "runs/win32/run_lock.hpp"
#include "runs/setup_lock_plan.hpp"

namespace ml {

// Holds the per-user setup lock until destroyed: one installation or uninstallation at a
// time, from before its first change to after its last.
class SetupLock {
  public:
    explicit SetupLock(RunLock lock) : lock_(std::move(lock)) {}

    // Marks a removal of `folder` as pending for the remover that runs after this program:
    // it stays pending while the returned (inheritable) handle or a copy of it is open, so a
    // remover that inherits it keeps it pending exactly as long as it runs, and one that is
    // ended ends it too. Made while this lock is held, so that no setup can start on the
    // folder between our exit and the remover's end. Empty when the system refuses, and when
    // a mark of that name exists already.
    UniqueHandle mark_removal_pending(const std::string& folder) const;

  private:
    RunLock lock_;
};

// The name of the mark that exists while a removal of `folder` is pending.
std::wstring removal_mark_name(const std::string& folder);

// Takes the setup lock for an installation or an uninstallation, then waits until no removal
// of `folder` (nullopt: the run works on no folder) left by an uninstallation is pending.
// Each wait is told once on standard error, naming the other run, and to `on_wait` (for the
// progress window). Both waits together last at most kSetupLockWait, or
// ML_TEST_SETUP_LOCK_MS milliseconds (a testing aid). Past that: Other, with
// setup_lock_busy_reason or removal_busy_reason; the lock is then not held.
Result<SetupLock> lock_setup(RunKind run, const std::optional<std::string>& folder,
                             const std::function<void()>& on_wait = {});

}  // namespace ml
