#include "platform/win32/desktop_shell.hpp"

#include <windows.h>

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include <future>
#include <memory>
#include <thread>

#include "platform/win32/com.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/security.hpp"
#include "platform/win32/win32.hpp"

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

// The desktop's entry in the shell windows collection; empty when no shell answers.
ComPtr<IDispatch> find_desktop() {
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.put_void()))) {
        return {};
    }
    Variant location;
    location.v.vt = VT_I4;
    location.v.lVal = CSIDL_DESKTOP;
    Variant root;
    long hwnd = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&location.v, &root.v, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH,
                              desktop.put()) != S_OK) {
        return {};
    }
    return desktop;
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

ShellStartOutcome start_on_this_thread(const std::wstring& file, const std::wstring& directory) {
    const ComScope com;
    const ComPtr<IDispatch> desktop = find_desktop();
    if (!desktop) return ShellStartOutcome::NoShell;
    const ComPtr<IShellDispatch2> dispatch = shell_dispatch(desktop.get());
    if (!dispatch) return ShellStartOutcome::Failed;
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
    return SUCCEEDED(dispatch->ShellExecute(name.get(), arguments.v, folder.v, operation.v, show.v))
               ? ShellStartOutcome::Started
               : ShellStartOutcome::Failed;
}

}  // namespace

ProcessElevation current_token_elevation() {
    ProcessElevation self = token_elevation_of(GetCurrentProcess()).value_or(ProcessElevation{});
    // Wine gives every program an administrator's full token with a linked normal one,
    // whether or not anyone asked for it: that is its default, not a "Run as administrator",
    // and every Wine program runs as the same Unix user. So no Wine token counts as split.
    if (running_under_wine()) self.split_token = false;
    return self;
}

std::optional<DesktopShellToken> desktop_shell_token() {
    HWND shell = GetShellWindow();
    if (!shell) shell = FindWindowW(L"Shell_TrayWnd", nullptr);
    DWORD pid = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &pid) || pid == 0) return std::nullopt;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return std::nullopt;
    const auto elevation = token_elevation_of(process.get());
    const auto shell_user = process_user_sid(process.get());
    const auto own_user = process_user_sid(GetCurrentProcess());
    if (!elevation || !shell_user || !own_user) return std::nullopt;
    return DesktopShellToken{elevation->elevated, *shell_user == *own_user};
}

ShellStartOutcome start_through_desktop_shell(const std::string& file,
                                              const std::string& directory) {
    // A thread of its own, with its own apartment: a shell that never answers keeps only that
    // thread, which the process's end then takes with it.
    auto promise = std::make_shared<std::promise<ShellStartOutcome>>();
    std::future<ShellStartOutcome> done = promise->get_future();
    std::thread worker([promise, file = widen(file), directory = widen(directory)] {
        promise->set_value(start_on_this_thread(file, directory));
    });
    if (done.wait_for(kShellStartLimit) != std::future_status::ready) {
        worker.detach();
        return ShellStartOutcome::NoShell;
    }
    worker.join();
    return done.get();
}

}  // namespace ml
