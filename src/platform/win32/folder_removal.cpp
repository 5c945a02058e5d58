#include "platform/win32/folder_removal.hpp"

#include <windows.h>

#include <algorithm>
#include <optional>

#include "platform/win32/handle.hpp"
#include "platform/path.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// One folder entry as the listing reports it, links not followed.
struct Entry {
    std::wstring name;
    DWORD attributes;
};

std::optional<std::vector<Entry>> list_entries(const std::wstring& folder) {
    std::vector<Entry> entries;
    const bool listed = for_each_folder_entry(folder, [&](const WIN32_FIND_DATAW& data) {
        entries.push_back({data.cFileName, data.dwFileAttributes});
    });
    if (!listed) return std::nullopt;
    return entries;
}

std::wstring child_path(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L"\\" + name;
}

// An entry opened as itself: with FILE_FLAG_OPEN_REPARSE_POINT, Windows opens a link rather
// than its target.
struct Opened {
    UniqueFile handle;
    DWORD attributes = 0;  // from the handle, joined with the listing's
    std::wstring final;    // what the system says the handle stands for
};

// Opens an entry to look at it (attributes only, which conflicts with no sharing mode that
// another program chose) or to delete it. A folder is never kept open with DELETE access
// while it is listed: the listing's own open does not share deletion.
std::optional<Opened> open_entry(const std::wstring& path, DWORD listed_attributes,
                                 bool for_deletion) {
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    constexpr DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD access =
        for_deletion ? DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES : FILE_READ_ATTRIBUTES;
    Opened opened;
    opened.handle.reset(
        CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!opened.handle) return std::nullopt;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(opened.handle.get(), FileAttributeTagInfo, &tag, sizeof tag))
        return std::nullopt;
    opened.attributes = tag.FileAttributes | listed_attributes;
    opened.final = final_path_of(opened.handle.get());
    return opened;
}

// Marks an opened entry for deletion; it goes when the handle closes. POSIX semantics take
// the name away at once even while another program still holds the file with delete
// sharing, so that its folder can go too; systems before Windows 10 1809 (and Wine) take the
// classic request, for which a read-only file first loses that attribute.
bool mark_for_deletion(HANDLE handle, DWORD attributes) {
    // FileDispositionInfoEx (Windows 10 1809), which the headers declare only for builds
    // that require that version.
    constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    FILE_DISPOSITION_INFO_EX ex{FILE_DISPOSITION_FLAG_DELETE |
                                FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE};
    if (SetFileInformationByHandle(handle, kDispositionInfoEx, &ex, sizeof ex)) return true;
    FILE_DISPOSITION_INFO classic{TRUE};
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &classic, sizeof classic))
        return true;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return false;
    FILE_BASIC_INFO basic{};  // zero times: left as they are
    constexpr DWORD kNotSettable =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    basic.FileAttributes = attributes & ~kNotSettable;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) &&
           SetFileInformationByHandle(handle, FileDispositionInfo, &classic, sizeof classic);
}

class TreeRemover {
  public:
    explicit TreeRemover(FolderLeftovers& out) : out_(out) {}

    // Removes one entry of a folder whose own path the system gives as `folder_final`.
    // Returns false when the entry stays.
    bool remove(const std::wstring& path, const std::wstring& folder_final, const Entry& entry,
                const std::wstring& relative, std::span<const std::string_view> first = {}) {
        const std::wstring expected = child_path(folder_final, entry.name);
        const auto looked = open_entry(path, entry.attributes, false);
        // An entry whose handle stands for another path is a link the system resolved on
        // opening (Wine does so for every symbolic link, and reports no reparse point for a
        // file link): deleting through it would delete the target, wherever that is.
        if (!looked || !is_itself(*looked, expected)) {
            ++out_.kept;
            return false;
        }
        const DWORD attributes = looked->attributes;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // The link itself, never entered.
            if (delete_entry(path, entry.attributes, expected)) return true;
            ++out_.kept;
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            empty(path, looked->final, relative, first);
            // A folder still holding something refuses; it is then left for later.
            if (delete_entry(path, entry.attributes, expected)) return true;
            leave(out_.folders, relative);
            return false;
        }
        if (delete_entry(path, entry.attributes, expected)) return true;
        leave(out_.files, relative);
        return false;
    }

  private:
    void empty(const std::wstring& folder, const std::wstring& folder_final,
               const std::wstring& relative, std::span<const std::string_view> first) {
        auto entries = list_entries(folder);
        if (!entries) return;  // the folder itself then stays, and is reported
        // The names asked for first, in their order; the rest as listed.
        std::vector<std::wstring> wanted;
        for (const std::string_view name : first) wanted.push_back(widen(name));
        const auto rank = [&](const Entry& e) {
            for (std::size_t i = 0; i < wanted.size(); ++i) {
                if (same_path_text(e.name, wanted[i])) return i;
            }
            return wanted.size();
        };
        std::stable_sort(entries->begin(), entries->end(),
                         [&](const Entry& a, const Entry& b) { return rank(a) < rank(b); });
        for (const Entry& entry : *entries) {
            const std::wstring child_relative =
                relative.empty() ? entry.name : relative + L"\\" + entry.name;
            (void)remove(child_path(folder, entry.name), folder_final, entry, child_relative);
        }
    }

    static bool is_itself(const Opened& opened, const std::wstring& expected) {
        return !opened.final.empty() && same_path_text(opened.final, expected);
    }

    // Opens the entry again, for deletion, and deletes it if it is still what was looked at;
    // false when it stays (held without delete sharing, in use as a running image, a folder
    // not yet empty, or replaced meanwhile by a link the system resolves).
    static bool delete_entry(const std::wstring& path, DWORD listed_attributes,
                             const std::wstring& expected) {
        const auto opened = open_entry(path, listed_attributes, true);
        return opened && is_itself(*opened, expected) &&
               mark_for_deletion(opened->handle.get(), opened->attributes);
    }

    // A later attempt needs the name as text; one that is not valid Unicode cannot be given.
    void leave(std::vector<std::string>& list, const std::wstring& relative) {
        if (is_valid_utf16(relative)) {
            list.push_back(narrow(relative));
        } else {
            ++out_.kept;
        }
    }

    FolderLeftovers& out_;
};

// The folder holding `path` as the system names it (links, short names and letter case
// resolved); empty when it cannot be opened.
std::wstring final_parent_of(const std::string& path) {
    const std::wstring parent = widen(path_parent(path));
    UniqueFile handle(CreateFileW(parent.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? final_path_of(handle.get()) : L"";
}

bool is_missing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// What became of one deletion by exact path.
enum class Fate { Removed, Gone, Foreign, Stays };

// Deletes the entry at `path` (a full path in the system's own spelling) only when the
// handle opened for it stands for that very path: neither a link on the way, which Windows
// follows to reach the last name, nor one at the end, which Wine resolves on every open.
Fate remove_exactly(const std::wstring& path) {
    const auto opened = open_entry(path, 0, true);
    if (!opened) return is_missing(GetLastError()) ? Fate::Gone : Fate::Stays;
    if (opened->final.empty() || !same_path_text(opened->final, path)) return Fate::Foreign;
    return mark_for_deletion(opened->handle.get(), opened->attributes) ? Fate::Removed
                                                                       : Fate::Stays;
}

}  // namespace

FolderLeftovers remove_folder_tree(const std::string& folder,
                                   std::span<const std::string_view> first) {
    FolderLeftovers out;
    const std::wstring path = widen(folder);
    // The entry as its parent lists it: its name on disk, and whether it is a link.
    WIN32_FIND_DATAW data{};
    UniqueFind find(FindFirstFileW(path.c_str(), &data));
    if (!find) return out;
    const Entry entry{data.cFileName, data.dwFileAttributes};

    const std::wstring parent_final = final_parent_of(folder);
    if (parent_final.empty()) {
        out.folder_left = true;
        ++out.kept;
        return out;
    }
    TreeRemover remover(out);
    out.folder_left = !remover.remove(path, parent_final, entry, L"", first);
    // The folder itself is reported through folder_left, not as a folder of its own.
    if (!out.folders.empty() && out.folders.back().empty()) out.folders.pop_back();
    return out;
}

std::optional<std::string> resolved_folder_path(const std::string& folder) {
    const std::wstring parent_final = final_parent_of(folder);
    if (parent_final.empty()) return std::nullopt;
    return narrow(child_path(parent_final, widen(path_file_name(folder))));
}

FolderLeftovers remove_leftovers(const std::string& folder, const FolderLeftovers& left) {
    FolderLeftovers next;
    next.kept = left.kept;
    const std::wstring root = widen(folder);
    {
        const auto looked = open_entry(root, 0, false);
        if (!looked) {
            if (is_missing(GetLastError())) return next;
            return left;
        }
        // Swapped for a link, or for anything else that is not the folder the uninstaller
        // emptied: nothing of ours can be reached through that path any more.
        constexpr DWORD kLink = FILE_ATTRIBUTE_REPARSE_POINT;
        if ((looked->attributes & kLink) || !(looked->attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            looked->final.empty() || !same_path_text(looked->final, root)) {
            ++next.kept;
            return next;
        }
    }
    const auto attempt = [&](std::vector<std::string>& stays, const std::string& relative) {
        const Fate fate = remove_exactly(child_path(root, widen(relative)));
        if (fate == Fate::Stays) stays.push_back(relative);
        if (fate == Fate::Foreign) ++next.kept;
    };
    for (const std::string& file : left.files) attempt(next.files, file);
    for (const std::string& sub : left.folders) attempt(next.folders, sub);
    const Fate itself = remove_exactly(root);
    next.folder_left = itself == Fate::Stays;
    if (itself == Fate::Foreign) ++next.kept;
    return next;
}

}  // namespace ml
