#include "platform/win32/files.hpp"

#include <algorithm>
#include <atomic>
#include <functional>

#include "platform/win32/handle.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

DWORD attributes(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str());
}

}  // namespace

bool path_exists(const std::string& path) {
    return attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool is_directory(const std::string& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_regular_file(const std::string& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::uint64_t> file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Result<std::string> full_path(const std::string& path) {
    const std::wstring wide = widen(path);
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()),
                                         buffer.data(), nullptr);
        if (n == 0) return std::unexpected(last_os_error());
        if (n < buffer.size()) {
            buffer.resize(n);
            return narrow(buffer);
        }
        buffer.resize(n);  // n counts the terminating NUL when the buffer was too small
    }
}

Result<void> create_directories(const std::string& path) {
    if (path.empty() || is_directory(path)) return {};
    const std::string parent = path_parent(path);
    if (!parent.empty() && parent != path) {
        auto made = create_directories(parent);
        if (!made) return made;
    }
    if (CreateDirectoryW(widen(path).c_str(), nullptr)) return {};
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS && is_directory(path)) return {};
    return std::unexpected(os_error(code));
}

namespace {

UniqueFile open_for_reading(const std::string& path) {
    return UniqueFile(CreateFileW(widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Reads up to data.size() bytes from the file's current position; the string is cut to what
// was read (a file may shrink while we read it).
Result<void> read_into(HANDLE file, std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
        if (!ReadFile(file, data.data() + done, want, &got, nullptr)) {
            return std::unexpected(last_os_error());
        }
        if (got == 0) break;
        done += got;
    }
    data.resize(done);
    return {};
}

}  // namespace

Result<std::string> read_file(const std::string& path) {
    return read_file(path, UINT64_MAX);
}

Result<std::string> read_file(const std::string& path, std::uint64_t max_bytes) {
    UniqueFile file = open_for_reading(path);
    if (!file) return std::unexpected(last_os_error());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return std::unexpected(last_os_error());
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes > max_bytes) {
        return fail(ErrorKind::InvalidData, debug_quote(path) + " is " + byte_size_text(bytes) +
                                                ", more than the " + byte_size_text(max_bytes) +
                                                " such a file can be");
    }
    std::string data(static_cast<std::size_t>(bytes), '\0');
    if (auto read = read_into(file.get(), data); !read) return std::unexpected(read.error());
    return data;
}

std::optional<std::string> read_file_head(const std::string& path, std::size_t count) {
    UniqueFile file = open_for_reading(path);
    if (!file) return std::nullopt;
    std::string data(count, '\0');
    if (!read_into(file.get(), data)) return std::nullopt;
    return data;
}

namespace {

Result<void> write_all(HANDLE file, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
            return std::unexpected(last_os_error());
        }
        done += written;
    }
    return {};
}

}  // namespace

Result<void> write_file(const std::string& path, std::string_view bytes) {
    UniqueFile file(CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::unexpected(last_os_error());
    return write_all(file.get(), bytes);
}

bool same_file(const std::string& a, const std::string& b) {
    const auto first = file_identity(a);
    return first && first == file_identity(b);
}

std::optional<std::string> running_program_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::nullopt;
        if (n < buffer.size()) {
            buffer.resize(n);
            return narrow(buffer);
        }
        if (buffer.size() >= 32768) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

std::string temporary_path_beside(const std::string& path, std::string_view tag) {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        std::string candidate = path + "." + std::string(tag) + "-" +
                                std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(counter.fetch_add(1)) + ".tmp";
        if (!path_exists(candidate)) return candidate;
    }
}

namespace {

// The file a path finally names once every symbolic link on the way is followed; the path
// itself when it names nothing yet or cannot be resolved. Replacing a link by moving a new
// file onto it would turn the link into a copy: the real file (kept in a synced folder, say)
// would never see the change.
std::string final_target(const std::string& path) {
    UniqueFile file(CreateFileW(widen(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return path;
    const std::wstring target = final_path_of(file.get());
    if (target.empty()) return path;
    return without_verbatim_prefix(narrow(target));
}

}  // namespace

namespace {

// move_file_replacing, also over a read-only file, which MoveFileExW refuses on Windows
// (ERROR_ACCESS_DENIED). The attribute comes back when the move fails.
Result<void> move_over_read_only(const std::string& from, const std::string& to) {
    const DWORD old = attributes(to);
    const bool read_only = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY) &&
                           !(old & FILE_ATTRIBUTE_DIRECTORY);
    if (read_only) {
        const DWORD writable = old & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(widen(to).c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
    }
    auto moved = move_file_replacing(from, to);
    if (!moved && read_only) SetFileAttributesW(widen(to).c_str(), old);
    return moved;
}

// Which destinations a replacement may take the place of.
enum class ReadOnlyRule { Refuse, Replace };

// A new plain file beside `target` (so that a move into place stays on its volume) that
// `fill` wrote, flushed to disk; its path. On failure nothing is left of it.
Result<std::string> write_file_beside(const std::string& target, std::string_view tag,
                                      const std::function<Result<void>(HANDLE)>& fill) {
    const std::string temp = temporary_path_beside(target, tag);
    UniqueFile file(CreateFileW(widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::unexpected(last_os_error());
    auto written = fill(file.get());
    if (written && !FlushFileBuffers(file.get())) written = std::unexpected(last_os_error());
    if (!written) {
        file.reset();
        DeleteFileW(widen(temp).c_str());
        return std::unexpected(written.error());
    }
    return temp;
}

// Replaces the file that `path` finally names by a new plain file that `fill` writes, moved
// into place in one step. On failure the old file is untouched and the new one gone.
Result<void> replace_through_new_file(const std::string& path, std::string_view tag,
                                      const std::function<Result<void>(HANDLE)>& fill,
                                      ReadOnlyRule read_only) {
    const std::string target = final_target(path);
    auto temp = write_file_beside(target, tag, fill);
    if (!temp) return std::unexpected(temp.error());
    auto moved = read_only == ReadOnlyRule::Replace ? move_over_read_only(*temp, target)
                                                    : move_file_replacing(*temp, target);
    if (!moved) DeleteFileW(widen(*temp).c_str());
    return moved;
}

// Copies what is left to read of `from` into `to`.
Result<void> copy_data(HANDLE from, HANDLE to) {
    std::string buffer(1u << 20, '\0');
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return std::unexpected(last_os_error());
        if (got == 0) return {};
        if (auto written = write_all(to, std::string_view(buffer.data(), got)); !written)
            return written;
    }
}

}  // namespace

Result<void> replace_file_atomically(const std::string& path, std::string_view bytes) {
    return replace_through_new_file(
        path, "new", [bytes](HANDLE file) { return write_all(file, bytes); }, ReadOnlyRule::Refuse);
}

Result<bool> create_file_atomically(const std::string& path, std::string_view bytes) {
    auto temp =
        write_file_beside(path, "new", [bytes](HANDLE file) { return write_all(file, bytes); });
    if (!temp) return std::unexpected(temp.error());
    // Without MOVEFILE_REPLACE_EXISTING the move itself refuses a name that is taken, so a
    // file made meanwhile by someone else is never replaced (no test-then-write gap). A link
    // of that name counts as taken too.
    if (MoveFileExW(widen(*temp).c_str(), widen(path).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD code = GetLastError();
    DeleteFileW(widen(*temp).c_str());
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return false;
    return std::unexpected(os_error(code));
}

Result<void> copy_file(const std::string& from, const std::string& to) {
    // Only the file's data goes: CopyFileW would also bring its attributes (read-only, from
    // a mounted image or a read-only download) and its alternate data streams (the browser's
    // Zone.Identifier mark), and it fails on a read-only destination.
    UniqueFile source = open_for_reading(from);
    if (!source) return std::unexpected(last_os_error());
    return replace_through_new_file(
        to, "copy", [&source](HANDLE file) { return copy_data(source.get(), file); },
        ReadOnlyRule::Replace);
}

Result<void> move_file_replacing(const std::string& from, const std::string& to) {
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return {};
    }
    const DWORD code = GetLastError();
    // A destination that another program holds open (an image viewer) or runs (a running
    // runner) is reported as "access denied", which reads like a permission problem. Asking
    // to open it for deletion tells the first apart. A running program's image has no open
    // handle to collide with; the file system refuses to open it for writing instead, with a
    // sharing violation (Microsoft's "Executable Images" page for file system drivers).
    if (code == ERROR_ACCESS_DENIED) {
        for (const DWORD access : {DWORD{DELETE}, DWORD{FILE_WRITE_DATA}}) {
            UniqueFile held(CreateFileW(
                widen(to).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            if (!held && GetLastError() == ERROR_SHARING_VIOLATION) {
                return std::unexpected(os_error(ERROR_SHARING_VIOLATION));
            }
        }
    }
    return std::unexpected(os_error(code));
}

std::optional<FileIdentity> file_identity(const std::string& path) {
    // No access rights are asked for: the attributes can be read even while another
    // program holds the file open without sharing.
    UniqueFile file(CreateFileW(widen(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileIdentity{
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

Result<void> remove_file(const std::string& path) {
    if (!DeleteFileW(widen(path).c_str())) return std::unexpected(last_os_error());
    return {};
}

std::optional<std::vector<DirectoryEntry>> list_directory(const std::string& path) {
    std::vector<DirectoryEntry> entries;
    const bool listed = for_each_folder_entry(widen(path), [&](const WIN32_FIND_DATAW& data) {
        const std::wstring_view name(data.cFileName);
        DirectoryEntry e;
        e.name = narrow(name);
        e.name_is_unicode = is_valid_utf16(name);
        // A link (junction or symlink) is followed, as a plain metadata lookup would.
        e.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                             ? is_directory(path_join(path, e.name))
                             : (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back(std::move(e));
    });
    if (!listed) return std::nullopt;
    return entries;
}

std::optional<std::vector<FolderEntry>> list_folder_entries(const std::string& path) {
    std::vector<FolderEntry> entries;
    const bool listed = for_each_folder_entry(widen(path), [&](const WIN32_FIND_DATAW& data) {
        FolderEntry e;
        e.name = narrow(data.cFileName);
        // The listing's own attributes describe the link, not what it points at.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            e.kind = FolderEntry::Kind::Link;
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            e.kind = FolderEntry::Kind::Folder;
        } else {
            e.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
        entries.push_back(std::move(e));
    });
    if (!listed) return std::nullopt;
    return entries;
}

std::optional<std::uint64_t> folder_size(const std::string& path) {
    return total_file_bytes(path, list_folder_entries);
}

}  // namespace ml
