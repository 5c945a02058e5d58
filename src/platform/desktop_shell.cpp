#include "platform/desktop_shell.hpp"

#include <windows.h>

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include <future>
#include <memory>
#include <thread>

#include "platform/com.hpp"
#include "platform/handle.hpp"
#include "platform/win32.hpp"

namespace ml {
namespace {

// The elevation of a process's token; nullopt when it cannot be read.
std::optional<ProcessElevation> token_elevation_of(HANDLE process) {
    UniqueHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) return std::nullopt;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        return std::nullopt;
    }
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (!GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size)) {
        type = TokenElevationTypeDefault;
    }
    return ProcessElevation{elevation.TokenIsElevated != 0, type == TokenElevationTypeFull};
}

// A BSTR owned for one call.
class Bstr {
  public:
    explicit Bstr(const std::wstring& text) : p_(SysAllocString(text.c_str())) {}
    ~Bstr() { SysFreeString(p_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return p_; }

  private:
    BSTR p_;
};

// A VARIANT cleared when it goes.
struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

// The desktop's entry in the shell windows collection and the window that shows it.
struct DesktopWindow {
    ComPtr<IDispatch> dispatch;
    HWND hwnd = nullptr;
};

std::optional<DesktopWindow> find_desktop() {
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.put_void()))) {
        return std::nullopt;
    }
    Variant location;
    location.v.vt = VT_I4;
    location.v.lVal = CSIDL_DESKTOP;
    Variant root;
    long hwnd = 0;
    DesktopWindow desktop;
    if (windows->FindWindowSW(&location.v, &root.v, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH,
                              desktop.dispatch.put()) != S_OK ||
        !desktop.dispatch) {
        return std::nullopt;
    }
    desktop.hwnd = reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd));
    return desktop;
}

// Whether the process behind the desktop window runs elevated; a token that cannot be read
// counts as a normal one (the user's, which an elevated process could read).
bool shell_is_elevated(HWND desktop) {
    DWORD pid = 0;
    if (!desktop || !GetWindowThreadProcessId(desktop, &pid) || pid == 0) return false;
    UniqueHandle shell(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!shell) return false;
    const auto elevation = token_elevation_of(shell.get());
    return elevation && elevation->elevated;
}

// The desktop view's automation object, which offers ShellExecute in the shell's process.
ComPtr<IShellDispatch2> shell_dispatch(IDispatch* desktop) {
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folder_view;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> dispatch;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, provider.put_void())) ||
        FAILED(
            provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) ||
        FAILED(browser->QueryActiveShellView(view.put())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folder_view.put_void())) ||
        FAILED(folder_view->get_Application(application.put())) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, dispatch.put_void()))) {
        return {};
    }
    return dispatch;
}

ShellStart start_on_this_thread(const std::wstring& file, const std::wstring& directory,
                                const std::function<bool(bool)>& use_shell) {
    const ComScope com;
    ShellStart result;
    auto desktop = find_desktop();
    if (!desktop) return result;
    result.shell_elevated = shell_is_elevated(desktop->hwnd);
    if (!use_shell(*result.shell_elevated)) {
        result.outcome = ShellStartOutcome::Declined;
        return result;
    }
    result.outcome = ShellStartOutcome::Failed;
    const ComPtr<IShellDispatch2> dispatch = shell_dispatch(desktop->dispatch.get());
    if (!dispatch) return result;
    const Bstr name(file);
    Variant arguments;
    Variant folder;
    if (!directory.empty()) {
        folder.v.vt = VT_BSTR;
        folder.v.bstrVal = SysAllocString(directory.c_str());
    }
    Variant operation;
    Variant show;
    show.v.vt = VT_I4;
    show.v.lVal = SW_SHOWNORMAL;
    if (SUCCEEDED(dispatch->ShellExecute(name.get(), arguments.v, folder.v, operation.v, show.v)))
        result.outcome = ShellStartOutcome::Started;
    return result;
}

}  // namespace

ProcessElevation current_token_elevation() {
    return token_elevation_of(GetCurrentProcess()).value_or(ProcessElevation{});
}

ShellStart start_through_desktop_shell(const std::string& file, const std::string& directory,
                                       const std::function<bool(bool shell_elevated)>& use_shell) {
    // A thread of its own, with its own apartment: a shell that never answers keeps only that
    // thread, which the process's end then takes with it.
    auto promise = std::make_shared<std::promise<ShellStart>>();
    std::future<ShellStart> done = promise->get_future();
    std::thread worker([promise, file = widen(file), directory = widen(directory), use_shell] {
        promise->set_value(start_on_this_thread(file, directory, use_shell));
    });
    if (done.wait_for(kShellStartLimit) != std::future_status::ready) {
        worker.detach();
        return {};
    }
    worker.join();
    return done.get();
}

}  // namespace ml
