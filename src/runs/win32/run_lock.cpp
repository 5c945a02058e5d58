#include "runs/win32/run_lock.hpp"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/env.hpp"
#include "platform/win32/security.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

constexpr DWORD kTextBytes = 128;

bool acquired(DWORD wait_result) {
    // WAIT_ABANDONED: a run that held it ended without letting go (it crashed or was
    // killed). The lock is ours now: each file it wrote was replaced whole, and what it did
    // not get to is this run's to do or undo.
    return wait_result == WAIT_OBJECT_0 || wait_result == WAIT_ABANDONED;
}

DWORD milliseconds_until(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INFINITE - 1));
}

// The names live in the session, where any program can create them first. Ours grant this
// user alone: an elevated run's default descriptor would shut out the user's next run.
SECURITY_ATTRIBUTES* attributes_for(std::optional<SecurityAttributes>& own) {
    return own ? own->get() : nullptr;
}

// The lock's mutex, made or opened with only the rights a holder uses. Empty when the name
// cannot be had: another program may have made it with a descriptor that shuts us out, or
// as another kind of object.
UniqueHandle open_lock_mutex(std::wstring_view name) {
    auto own = own_user_only();
    return UniqueHandle(CreateMutexExW(attributes_for(own), std::wstring(name).c_str(), 0,
                                       SYNCHRONIZE | MUTEX_MODIFY_STATE));
}

// Waits up to `ms` for the mutex, making or opening it first where that failed so far: a
// name that cannot be opened counts as held until it can.
DWORD wait_for_mutex(UniqueHandle& mutex, std::wstring_view name, DWORD ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (!mutex) mutex = open_lock_mutex(name);
        const DWORD left = milliseconds_until(until);
        if (mutex) return WaitForSingleObject(mutex.get(), left);
        if (left == 0) return WAIT_TIMEOUT;
        Sleep(std::min<DWORD>(left, 100));
    }
}

}  // namespace

RunLock::~RunLock() {
    // The name goes first: a run that finds the lock taken by the next holder must not read
    // this one's.
    holder_.reset();
    if (mutex_) ReleaseMutex(mutex_.get());
}

UniqueHandle publish_text(std::wstring_view name, std::string_view text, bool inheritable,
                          bool only_new) {
    auto own = own_user_only(inheritable);
    SECURITY_ATTRIBUTES fallback{sizeof(fallback), nullptr, inheritable ? TRUE : FALSE};
    UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, own ? own->get() : &fallback,
                                            PAGE_READWRITE, 0, kTextBytes,
                                            std::wstring(name).c_str()));
    if (!mapping) return mapping;
    // Made by someone else: whatever it is, it is not ours to vouch for.
    if (only_new && GetLastError() == ERROR_ALREADY_EXISTS) return {};
    if (void* view = MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, kTextBytes)) {
        const std::size_t n = std::min<std::size_t>(text.size(), kTextBytes - 1);
        std::memcpy(view, text.data(), n);
        static_cast<char*>(view)[n] = '\0';
        UnmapViewOfFile(view);
    }
    return mapping;
}

PublishedName look_up_published(std::wstring_view name) {
    UniqueHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, std::wstring(name).c_str()));
    if (!mapping) return {GetLastError() != ERROR_FILE_NOT_FOUND, std::nullopt};
    // A mapping made smaller than ours cannot be viewed whole: it says nothing then.
    const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kTextBytes);
    if (view == nullptr) return {true, std::string()};
    const char* text = static_cast<const char*>(view);
    std::string published = printable_holder_text({text, strnlen(text, kTextBytes)});
    UnmapViewOfFile(view);
    return {true, std::move(published)};
}

std::optional<std::string> read_published_text(std::wstring_view name) {
    return look_up_published(name).text;
}

std::chrono::milliseconds lock_wait_from_env(std::string_view variable,
                                             std::chrono::milliseconds fallback) {
    const auto value = env_var(variable);
    return lock_wait_with(value ? std::optional<std::string_view>(*value) : std::nullopt, fallback);
}

Result<RunLock> take_run_lock(const RunLockNames& names, RunKind run, const RunLockWait& wait) {
    UniqueHandle mutex = open_lock_mutex(names.mutex);
    DWORD result = mutex ? WaitForSingleObject(mutex.get(), 0) : WAIT_TIMEOUT;
    if (result == WAIT_TIMEOUT) {
        // A holder names itself just after it took the mutex (and its text may still be
        // empty for a moment after the name exists): up to two seconds for it to do so, on
        // a busy machine, so that the line about the wait can say whom it waits for.
        const auto named = [](const std::optional<std::string>& text) {
            return text && !text->empty();
        };
        std::optional<std::string> holder = read_published_text(names.holder);
        for (int i = 0; i < 40 && !named(holder) && result == WAIT_TIMEOUT; ++i) {
            result = wait_for_mutex(mutex, names.mutex, 50);
            if (result == WAIT_TIMEOUT) holder = read_published_text(names.holder);
        }
        if (result == WAIT_TIMEOUT) {
            if (wait.on_wait) wait.on_wait(holder);
            result = wait_for_mutex(mutex, names.mutex, milliseconds_until(wait.deadline));
        }
    }
    if (!acquired(result)) {
        if (result == WAIT_FAILED) return std::unexpected(last_os_error());
        const auto holder = read_published_text(names.holder);
        return fail(ErrorKind::Other, wait.busy_reason(holder));
    }
    return RunLock(std::move(mutex),
                   publish_text(names.holder, run_holder_text(GetCurrentProcessId(), run)));
}

}  // namespace ml
