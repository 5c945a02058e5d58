#include "platform/win32/known_folder.hpp"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// The shell hands the path out in memory of the COM allocator, which the caller frees.
struct CoTaskMemTraits {
    using type = PWSTR;
    static type invalid() noexcept { return nullptr; }
    static void close(type p) noexcept { CoTaskMemFree(p); }
};
using UniqueCoTaskString = Unique<CoTaskMemTraits>;

const KNOWNFOLDERID& folder_id(KnownFolder folder) {
    switch (folder) {
        case KnownFolder::Desktop:
            return FOLDERID_Desktop;
        case KnownFolder::Programs:
            break;
    }
    return FOLDERID_Programs;
}

}  // namespace

std::optional<std::string> known_folder_path(KnownFolder folder) {
    UniqueCoTaskString path;
    // Without KF_FLAG_DONT_VERIFY the shell fails for a folder it cannot reach just now, and
    // a caller would then fall back to a folder the user never sees.
    const HRESULT hr =
        SHGetKnownFolderPath(folder_id(folder), KF_FLAG_DONT_VERIFY, nullptr, path.put());
    if (FAILED(hr) || !path) return std::nullopt;
    const std::wstring_view text(path.get());
    if (text.empty() || !is_valid_utf16(text)) return std::nullopt;
    return narrow(text);
}

}  // namespace ml
