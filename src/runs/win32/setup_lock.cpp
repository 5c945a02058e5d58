#include "runs/win32/setup_lock.hpp"

#include <windows.h>

#include "platform/win32/console.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// One spelling for one folder, whichever the run was given: the parent as the system names
// it (links, short names and letter case resolved) when it exists, the name in it, and the
// whole in upper case as the file system compares names.
std::string folder_key(const std::string& folder) {
    std::string full = full_path(folder).value_or(folder);
    while (full.size() > 3 && is_separator(full.back())) full.pop_back();
    const std::string parent = path_parent(full);
    std::wstring key = widen(parent);
    UniqueFile handle(CreateFileW(key.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) {
        if (std::wstring final = final_path_of(handle.get()); !final.empty()) key = final;
    }
    if (!key.empty() && key.back() != L'\\') key.push_back(L'\\');
    key += widen(path_file_name(full));
    std::wstring upper(key.size(), L'\0');
    const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.c_str(),
                                static_cast<int>(key.size()), upper.data(),
                                static_cast<int>(upper.size()), nullptr, nullptr, 0);
    return narrow(n > 0 ? std::wstring_view(upper.data(), static_cast<std::size_t>(n)) : key);
}

}  // namespace

std::wstring removal_mark_name(const std::string& folder) {
    return removal_marker_name(folder_key(folder));
}

UniqueHandle SetupLock::mark_removal_pending(const std::string& folder) const {
    // A mark that is already there was not made by a setup: every setup waits for the mark
    // before it works on the folder, and this one holds the lock. Another program made it,
    // and may keep it or let it go at any time, so the removal is not handed to it.
    return publish_text(removal_mark_name(folder),
                        run_holder_text(GetCurrentProcessId(), RunKind::Uninstallation), true,
                        true);
}

Result<SetupLock> lock_setup(RunKind run, const std::optional<std::string>& folder,
                             const std::function<void()>& on_wait) {
    static const std::chrono::milliseconds wait =
        lock_wait_from_env("ML_TEST_SETUP_LOCK_MS", kSetupLockWait);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    RunLockWait waiting;
    waiting.deadline = deadline;
    waiting.on_wait = [&](std::optional<std::string_view> holder) {
        err(setup_lock_waiting_line(holder));
        if (on_wait) on_wait();
    };
    waiting.busy_reason = [](std::optional<std::string_view> holder) {
        return setup_lock_busy_reason(holder, wait);
    };
    auto lock = take_run_lock({kSetupLockName, kSetupLockHolderName}, run, waiting);
    if (!lock) return std::unexpected(std::move(lock.error()));
    SetupLock held(std::move(*lock));
    if (!folder) return held;

    // The remover cannot be waited for by handle (another run started it), so its mark is
    // looked at in short slices. A mark that cannot be opened (made for a user this one is
    // not, or squatted as another kind of object) counts as pending all the same: taking it
    // for absent would let this run work on a folder that a removal may still be emptying.
    const std::wstring marker = removal_mark_name(*folder);
    bool told = false;
    for (PublishedName mark = look_up_published(marker); mark.present;
         mark = look_up_published(marker)) {
        if (!told) {
            err(removal_waiting_line(*folder, mark.text));
            if (on_wait) on_wait();
            told = true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return fail(ErrorKind::Other, removal_busy_reason(mark.text, wait));
        Sleep(100);
    }
    return held;
}

}  // namespace ml
