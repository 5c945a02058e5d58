#include "platform/win32/private_copy.hpp"

#include <windows.h>

#include <algorithm>

#include "platform/win32/desktop_shell.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "platform/win32/security.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// Who owns the folder and may change it. An elevated process's own user also runs that
// user's normal programs, which must not reach a program that will run elevated: the
// administrators' group, which a normal token holds only for denying, owns it then. Wine
// knows no such split and makes every file the user's own, whatever was asked.
std::optional<std::wstring> folder_owner() {
    if (current_token_elevation().elevated && !running_under_wine()) return L"BA";
    return process_user_sid(GetCurrentProcess());
}

// The owner as the system reads it back: the string form of the SID an SDDL alias stands for.
std::wstring owner_as_read_back(const std::wstring& sddl_sid) {
    return sddl_sid == L"BA" ? L"S-1-5-32-544" : sddl_sid;
}

// True when `handle` stands for `path` itself, as the system names it.
bool is_at(HANDLE handle, const std::string& path) {
    const std::wstring final = final_path_of(handle);
    return !final.empty() && same_path_text(final, widen(path));
}

Result<void> write_all(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return std::unexpected(last_os_error());
        bytes.remove_prefix(written);
    }
    return {};
}

Error refused(std::string_view what) {
    return Error::make(ErrorKind::Other, std::string(what));
}

}  // namespace

Result<PrivateProgramCopy> PrivateProgramCopy::make(const std::string& parent,
                                                    std::string_view folder_name,
                                                    std::string_view program_name) {
    const auto self = running_program_path();
    const auto owner = folder_owner();
    if (!self || !owner) return std::unexpected(refused("this program cannot be copied"));
    // Resolved first, so that what the system says of the handles can be compared with it.
    UniqueFile parent_handle(CreateFileW(widen(parent).c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                         nullptr));
    const std::wstring parent_final = parent_handle ? final_path_of(parent_handle.get()) : L"";
    if (parent_final.empty()) return std::unexpected(last_os_error());
    const std::string folder = path_join(narrow(parent_final), folder_name);
    PrivateProgramCopy copy(folder, path_join(folder, program_name));

    // OICI: the copy inside inherits the same entries. P: nothing from the parent's.
    const std::wstring grant = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;" + *owner + L")";
    auto attributes = SecurityAttributes::from_sddl(L"O:" + *owner + L"D:P" + grant);
    if (!attributes) return std::unexpected(last_os_error());
    if (!CreateDirectoryW(widen(folder).c_str(), attributes->get()))
        return std::unexpected(last_os_error());
    // Without delete sharing, nobody can rename the folder away while this handle is open.
    // Between its making and this open, anyone allowed to delete in the parent could have
    // put a folder of their own there: that one is theirs, not owned as ours is.
    copy.folder_handle_.reset(
        CreateFileW(widen(folder).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!copy.folder_handle_ || !GetFileInformationByHandle(copy.folder_handle_.get(), &info))
        return std::unexpected(last_os_error());
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !is_at(copy.folder_handle_.get(), folder) ||
        owner_sid_of(copy.folder_handle_.get()) != owner_as_read_back(*owner)) {
        return std::unexpected(refused("the folder made for the copy was replaced"));
    }
    copy.made_ = true;

    auto image = read_file(*self);
    if (!image) return std::unexpected(image.error());
    {
        UniqueFile out(CreateFileW(widen(copy.program_).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return std::unexpected(last_os_error());
        if (auto written = write_all(out.get(), *image); !written)
            return std::unexpected(written.error());
    }
    // Read sharing only: the copy can be started, not written, renamed or deleted.
    copy.program_handle_.reset(CreateFileW(widen(copy.program_).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!copy.program_handle_) return std::unexpected(last_os_error());
    if (!is_at(copy.program_handle_.get(), copy.program_))
        return std::unexpected(refused("the copy was replaced"));
    return copy;
}

PrivateProgramCopy::PrivateProgramCopy(PrivateProgramCopy&& other) noexcept
    : folder_(std::move(other.folder_)),
      program_(std::move(other.program_)),
      folder_handle_(std::move(other.folder_handle_)),
      program_handle_(std::move(other.program_handle_)),
      made_(std::exchange(other.made_, false)),
      keep_(other.keep_) {}

PrivateProgramCopy::~PrivateProgramCopy() {
    program_handle_.reset();
    // Only what was made here, and while the folder is still held: a folder that turned
    // out not to be ours is not touched.
    if (made_ && !keep_) DeleteFileW(widen(program_).c_str());
    folder_handle_.reset();
    if (made_ && !keep_) RemoveDirectoryW(widen(folder_).c_str());
}

}  // namespace ml
