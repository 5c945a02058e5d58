#include "platform/win32/shell_link.hpp"

#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

Error com_error(HRESULT hr) {
    // Most failures here carry a Win32 code inside the HRESULT (a folder that is missing,
    // access denied); others are shown by their HRESULT number.
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return os_error(HRESULT_CODE(hr));
    return os_error(static_cast<DWORD>(hr));
}

Result<ComPtr<IShellLinkW>> make_shell_link() {
    ComPtr<IShellLinkW> link;
    const HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShellLinkW, link.put_void());
    if (FAILED(hr)) return std::unexpected(com_error(hr));
    return link;
}

Result<ComPtr<IPersistFile>> persist_file_of(IShellLinkW* link) {
    ComPtr<IPersistFile> file;
    const HRESULT hr = link->QueryInterface(IID_IPersistFile, file.put_void());
    if (FAILED(hr)) return std::unexpected(com_error(hr));
    return file;
}

// Reads one text of the link through a "fill my buffer" getter.
template <class Getter>
std::string link_text(Getter get) {
    wchar_t buffer[MAX_PATH * 4] = {};
    if (FAILED(get(buffer, static_cast<int>(std::size(buffer))))) return {};
    return narrow(buffer);
}

}  // namespace

Result<void> save_shell_link(const std::string& path, const ShellLink& wanted) {
    auto link = make_shell_link();
    if (!link) return std::unexpected(link.error());
    IShellLinkW* l = link->get();
    const HRESULT steps[] = {
        l->SetPath(widen(wanted.target).c_str()),
        l->SetWorkingDirectory(widen(wanted.working_folder).c_str()),
        l->SetArguments(widen(wanted.arguments).c_str()),
        l->SetIconLocation(widen(wanted.icon_file).c_str(), wanted.icon_index),
    };
    for (const HRESULT hr : steps) {
        if (FAILED(hr)) return std::unexpected(com_error(hr));
    }
    auto file = persist_file_of(l);
    if (!file) return std::unexpected(file.error());
    const HRESULT hr = (*file)->Save(widen(path).c_str(), TRUE);
    if (FAILED(hr)) return std::unexpected(com_error(hr));
    return {};
}

Result<ShellLink> load_shell_link(const std::string& path) {
    auto link = make_shell_link();
    if (!link) return std::unexpected(link.error());
    IShellLinkW* l = link->get();
    auto file = persist_file_of(l);
    if (!file) return std::unexpected(file.error());
    if (const HRESULT hr = (*file)->Load(widen(path).c_str(), STGM_READ); FAILED(hr))
        return std::unexpected(com_error(hr));
    ShellLink read;
    // The item list holds the target as Unicode; GetPath may answer from the link's
    // code-page copy of the path (Wine does), which loses characters outside that page.
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(l->GetIDList(&items)) && items != nullptr) {
        wchar_t buffer[MAX_PATH * 4] = {};
        if (SHGetPathFromIDListEx(items, buffer, static_cast<DWORD>(std::size(buffer)), 0))
            read.target = narrow(buffer);
        CoTaskMemFree(items);
    }
    if (read.target.empty())
        read.target = link_text([&](wchar_t* b, int n) { return l->GetPath(b, n, nullptr, 0); });
    read.working_folder =
        link_text([&](wchar_t* b, int n) { return l->GetWorkingDirectory(b, n); });
    read.arguments = link_text([&](wchar_t* b, int n) { return l->GetArguments(b, n); });
    read.icon_file =
        link_text([&](wchar_t* b, int n) { return l->GetIconLocation(b, n, &read.icon_index); });
    return read;
}

}  // namespace ml
