#include "runs/steam_lock.hpp"

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/console.hpp"
#include "platform/env.hpp"
#include "platform/win32.hpp"

namespace ml {
namespace {

constexpr DWORD kHolderBytes = 128;

// Names this run in shared memory that lives as long as a run holds it open.
UniqueHandle publish_holder(SteamRun run) {
    UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kHolderBytes,
                                            std::wstring(kSteamLockHolderName).c_str()));
    if (!mapping) return mapping;
    if (void* view = MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, kHolderBytes)) {
        const std::string text = steam_lock_holder_text(GetCurrentProcessId(), run);
        const std::size_t n = std::min<std::size_t>(text.size(), kHolderBytes - 1);
        std::memcpy(view, text.data(), n);
        static_cast<char*>(view)[n] = '\0';
        UnmapViewOfFile(view);
    }
    return mapping;
}

// What the holding run says of itself; nullopt when it says nothing.
std::optional<std::string> read_holder() {
    UniqueHandle mapping(
        OpenFileMappingW(FILE_MAP_READ, FALSE, std::wstring(kSteamLockHolderName).c_str()));
    if (!mapping) return std::nullopt;
    const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kHolderBytes);
    if (view == nullptr) return std::nullopt;
    const char* text = static_cast<const char*>(view);
    std::string holder(text, strnlen(text, kHolderBytes));
    UnmapViewOfFile(view);
    return holder;
}

bool acquired(DWORD wait_result) {
    // WAIT_ABANDONED: a run that held it ended without letting go (it crashed or was
    // killed). Its write was atomic, so the files are whole; the lock is ours now.
    return wait_result == WAIT_OBJECT_0 || wait_result == WAIT_ABANDONED;
}

}  // namespace

SteamFilesLock::~SteamFilesLock() {
    if (mutex_) ReleaseMutex(mutex_.get());
}

Result<SteamFilesLock> lock_steam_files(SteamRun run) {
    static const std::chrono::milliseconds wait = [] {
        const auto value = env_var("ML_TEST_STEAM_LOCK_MS");
        return steam_lock_wait_with(value ? std::optional<std::string_view>(*value) : std::nullopt);
    }();
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, std::wstring(kSteamLockName).c_str()));
    if (!mutex) return std::unexpected(last_os_error());
    DWORD result = WaitForSingleObject(mutex.get(), 0);
    if (result == WAIT_TIMEOUT) {
        err(kSteamLockWaiting);
        result = WaitForSingleObject(mutex.get(), static_cast<DWORD>(wait.count()));
    }
    if (!acquired(result)) {
        if (result == WAIT_FAILED) return std::unexpected(last_os_error());
        return fail(ErrorKind::Other, steam_lock_busy_reason(read_holder(), wait));
    }
    return SteamFilesLock(std::move(mutex), publish_holder(run));
}

}  // namespace ml
