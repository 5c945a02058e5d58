#include "win_gui/win32/options_dialog.hpp"

#include <string>

#include "platform/win32/handle.hpp"
#include "win_gui/placement.hpp"
#include "win_gui/win32/wide.hpp"
#include "win_gui/win32/window_class.hpp"

namespace ml {
namespace {

constexpr wchar_t kClassName[] = L"MarrowlaneSetupOptionsDlg";
constexpr int kWidth = 500;
constexpr int kHeight = 250;
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kCheckBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;

// Lives on show_options_dialog's stack for the whole call; the window reaches it through
// GWLP_USERDATA, and the window is gone before the call returns.
struct DialogContext {
    std::string name;
    HWND start_menu_hwnd = nullptr;
    HWND desktop_hwnd = nullptr;
    HWND steam_hwnd = nullptr;
    bool steam_detected = false;
    bool start_menu = false;
    bool desktop = false;
    bool steam_library = false;
    std::optional<OptionsChoice> result;
};

struct ControlLayout {
    const wchar_t* cls;
    DWORD style;
    int x, y, width, height, id;
};

HWND create_control(HWND parent, const ControlLayout& layout, const std::wstring& text,
                    HINSTANCE instance, HFONT font) {
    HWND control = CreateWindowExW(
        0, layout.cls, text.c_str(), layout.style, layout.x, layout.y, layout.width, layout.height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance, nullptr);
    if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return control;
}

HWND create_check_box(HWND parent, const ControlLayout& layout, std::string_view text, bool checked,
                      HINSTANCE instance, HFONT font) {
    HWND box = create_control(parent, layout, to_wide(text), instance, font);
    if (box) SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    return box;
}

void create_controls(HWND hwnd, DialogContext& context, HINSTANCE instance) {
    const auto font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // SS_NOPREFIX: a game name such as "Tom & Jerry" is shown as written, not with an
    // underlined mnemonic in place of the '&'.
    create_control(hwnd, {L"STATIC", WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 24, 18, 440, 24, 0},
                   to_wide("Select the components you want to install for " + context.name + ":"),
                   instance, font);
    context.start_menu_hwnd =
        create_check_box(hwnd, {L"BUTTON", kCheckBoxStyle, 32, 52, 430, 24, kStartMenuBoxId},
                         "Create Start Menu shortcut", context.start_menu, instance, font);
    context.desktop_hwnd =
        create_check_box(hwnd, {L"BUTTON", kCheckBoxStyle, 32, 84, 430, 24, kDesktopBoxId},
                         "Create Desktop shortcut", context.desktop, instance, font);
    // The box stays checkable without Steam: the user may install Steam before first use.
    // Buttons have no SS_NOPREFIX: a single '&' would vanish from the label and make Space
    // its mnemonic, so that Space on any other box would toggle this one too. "&&" shows one.
    context.steam_hwnd = create_check_box(
        hwnd, {L"BUTTON", kCheckBoxStyle, 32, 116, 430, 24, kSteamBoxId},
        context.steam_detected ? "Add to Steam Library (Inject shortcut && custom artwork)"
                               : "Add to Steam Library (Steam not detected - optional)",
        context.steam_library, instance, font);
    create_control(
        hwnd,
        {L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 255, 165, 105, 30, IDOK},
        L"Install", instance, font);
    create_control(
        hwnd,
        {L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 370, 165, 95, 30, IDCANCEL},
        L"Cancel", instance, font);
}

bool is_checked(HWND box) {
    return box && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace

LRESULT CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            auto* context = static_cast<DialogContext*>(create->lpCreateParams);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
            if (context) create_controls(hwnd, *context, create->hInstance);
            return 0;
        }
        case WM_COMMAND: {
            auto* context =
                reinterpret_cast<DialogContext*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            if (!context) break;
            switch (LOWORD(wparam)) {
                case IDOK:  // the Install button, or Enter through IsDialogMessageW
                    context->result = OptionsChoice{is_checked(context->start_menu_hwnd),
                                                    is_checked(context->desktop_hwnd),
                                                    is_checked(context->steam_hwnd)};
                    DestroyWindow(hwnd);
                    return 0;
                case IDCANCEL:  // the Cancel button, or Escape through IsDialogMessageW
                    context->result.reset();
                    DestroyWindow(hwnd);
                    return 0;
                default:
                    break;
            }
            break;
        }
        case WM_CLOSE:  // close box and Alt+F4: no result
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

std::optional<OptionsChoice> show_options_dialog(std::string_view name, bool steam_detected,
                                                 bool start_menu, bool desktop,
                                                 bool steam_library) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    register_window_class(instance, kClassName, dialog_proc);

    DialogContext context;
    context.name = std::string(name);
    context.steam_detected = steam_detected;
    context.start_menu = start_menu;
    context.desktop = desktop;
    context.steam_library = steam_library;

    const WindowPosition at = centred_position(GetSystemMetrics(SM_CXSCREEN),
                                               GetSystemMetrics(SM_CYSCREEN), kWidth, kHeight);
    const std::wstring caption = to_wide(std::string(name) + " Setup");
    UniqueWindow window(CreateWindowExW(0, kClassName, caption.c_str(), kWindowStyle, at.x, at.y,
                                        kWidth, kHeight, nullptr, nullptr, instance, &context));
    if (!window) return std::nullopt;
    ShowWindow(window.get(), SW_SHOW);
    UpdateWindow(window.get());

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window.get(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    if (IsWindow(window.get())) {
        // The loop ended without the window's own quit (a failed GetMessageW or a foreign
        // WM_QUIT): destroy it here, and drop the quit its WM_DESTROY posts so that it
        // cannot end the caller's next message loop (a message box) at once.
        window.reset();
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        return std::nullopt;
    }
    // dialog_proc destroyed it; the handle may be reused and must not be destroyed again.
    window.release();
    return context.result;
}

}  // namespace ml
