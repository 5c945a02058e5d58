"""What the installer prints and shows, built from the choices, for comparing whole outputs."""
from __future__ import annotations

import os
import pathlib

RULE = "=" * 54
CANCELLED = b"[*] Installation cancelled by user.\n"
PROMPT = "\nPress Enter to finish..."
OPTIONS_CLASS = "MarrowlaneSetupOptionsDlg"
PROGRESS_CLASS = "MarrowlaneProgressDlg"
STEAM_DETECTED = "Add to Steam Library (Inject shortcut && custom artwork)"
STEAM_MISSING = "Add to Steam Library (Steam not detected - optional)"


def png(text: str) -> bytes:
    """Artwork bytes for a test server: the PNG signature, then text that names the image
    (a download without an image signature is refused)."""
    return b"\x89PNG\r\n\x1a\n" + text.encode()


# Wine's message for ERROR_SHARING_VIOLATION (32), a file another program holds open
# (Windows words it differently).
SHARING_VIOLATION = "Sharing violation."


def debug_path(path: str) -> str:
    """The form in which the console shows a path."""
    return '"' + path.replace("\\", "\\\\").replace('"', '\\"') + '"'


def head(origin: str, install_path: str) -> str:
    return (f"{RULE}\n     Marrowlane - Setup & Steam Library Installer     \n{RULE}\n"
            f"Server Origin:    {origin}\nInstall Path:     {debug_path(install_path)}\n")


def summary(steam: bool, desktop: bool, start_menu: bool, *, entry: bool = True,
            missing_runner: tuple[str, str] | None = None) -> str:
    """The console summary listing what is on disk; missing_runner: (installation folder,
    origin) when the installation ended without marrowlane.exe."""
    lines = [f"\n{RULE}", "  Installation Completed Successfully!" if missing_runner is None
             else "  Installation Incomplete: marrowlane.exe is missing!"]
    if steam:
        lines.append("  - Steam Library shortcut and custom artwork installed")
    if desktop:
        lines.append("  - Desktop shortcut created")
    if start_menu:
        lines.append("  - Start Menu shortcut created")
    if entry:
        lines.append("  - Registered in Windows Settings for 1-click uninstall")
    if missing_runner is not None:
        folder, origin = missing_runner
        lines.append(f"  [!] Marrowlane cannot start without it: place marrowlane.exe in "
                     f"{debug_path(folder)}, or run the setup again once {origin} can be reached.")
    lines.append(RULE)
    return "\n".join(lines) + "\n"


COMPLETE_TITLE = "Marrowlane Setup - Installation Complete"
INCOMPLETE_TITLE = "Marrowlane Setup - Installation Incomplete"
FAILED_TITLE = "Marrowlane Setup - Installation Failed"


def completion_text(steam: bool, desktop: bool, start_menu: bool, name: str = "Marrowlane", *,
                    entry: bool = True, missing_runner: str | None = None,
                    not_created: tuple[str, ...] = ()) -> str:
    """The end box's text; missing_runner: the installation folder when it ended without
    marrowlane.exe; not_created: its lines for what was chosen but could not be written."""
    if missing_runner is None:
        text = f"{name} has been installed successfully!\n\n"
    else:
        text = (f"{name} has been installed without its runner: marrowlane.exe could not be "
                f"downloaded, and {name} cannot start until it is there.\n\nPlace "
                f"marrowlane.exe in {missing_runner}, or run the setup again when the "
                "distribution server can be reached.\n\n")
    text += "Installed components:\n"
    if desktop:
        text += "\u2022 Desktop shortcut created\n"
    if start_menu:
        text += "\u2022 Start Menu shortcut created\n"
    if steam:
        text += "\u2022 Added to Steam Library with custom artwork\n"
    if entry:
        text += "\u2022 Registered in Windows Settings for 1-click uninstall"
    text = text.rstrip("\n")
    if not_created:
        text += "\n\nNot created:\n" + "\n".join(f"\u2022 {line}" for line in not_created)
    return text


def snapshot(folder: pathlib.Path) -> dict[str, int]:
    """Every file and folder below folder, with file sizes (-1 for folders)."""
    found = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs:
            found[os.path.relpath(os.path.join(root, name), folder)] = -1
        for name in files:
            full = os.path.join(root, name)
            found[os.path.relpath(full, folder)] = os.path.getsize(full)
    return found


# The Steam stage's images: file on the server below /media/steam/, grid file suffix, label.
STEAM_ART = [("capsule.png", "p.png", "Portrait Poster"), ("hero.png", "_hero.png", "Hero Banner"),
             ("logo.png", "_logo.png", "Title Logo"), ("banner.png", ".png", "Landscape Banner"),
             ("icon.png", "_icon.png", "Square Icon")]
# What a deployed logo gets beside it as "{id}.json": where Steam draws the logo.
LOGO_POSITION = (b'{"nVersion":1,"logoPosition":{"pinnedPosition":"BottomLeft","nWidthPct":100,'
                 b'"nHeightPct":100}}')


def logo_position_failed(path: str, reason: str, indent: str = "    ") -> str:
    """The line on standard error for a logo position file that could not be written."""
    return (f"{indent}[!] Could not write the logo position {debug_path(path)} ({reason}). "
            'Steam may show no logo for the game until you use its "Adjust Logo Position" and '
            "save.\n")


STEAM_QUESTION = ("Steam is currently running. It must be closed briefly to register Marrowlane "
                  "in your Steam library without conflict.\n\nClose Steam now? (It will be "
                  "automatically restarted after installation)")


def steam_stage_text(roots: int = 0, grids=(), appid: int = 0, origin: str = "https://marrowlane.app",
                     *, enabled: bool = True, running: bool = False, kept_open: bool = False,
                     dry_run: bool = False, failed=()) -> str:
    """What the Steam stage prints: `roots` found, the artwork of each account's grid folder
    (Windows paths, in walk order) for `appid`, Steam `running` and, in graphical mode,
    `kept_open` by the user. The images whose labels are `failed` were not deployed: only
    their download line is printed (their failure goes to standard error)."""
    text = "\n[*] Checking Steam installation...\n"
    if not enabled:
        return text + "  [*] Steam library injection skipped per installation options.\n"
    if roots == 0:
        return text + "  [!] Steam not detected on system. Skipping Steam library injection.\n"
    text += f"  [\u2713] Found {roots} Steam root(s). Injecting shortcuts and custom artwork...\n"
    closing = running and not dry_run
    if closing:
        text += "  [*] Steam is currently running.\n"
        text += ("  [!] Steam remains open. Shortcuts will take effect after you restart Steam.\n"
                 if kept_open else "  [*] Closing Steam...\n")
    for grid in grids:
        for source, suffix, label in STEAM_ART:
            dest = debug_path(f"{grid}\\{appid}{suffix}")
            if not dry_run:
                text += f"  Downloading asset: {origin}/media/steam/{source} -> {dest}\n"
            if label not in failed:
                text += f"    [\u2713] Deployed {label} -> {dest}\n"
    if closing and not kept_open:
        text += "  [*] Reopening Steam...\n"
    return text


def artwork_failed_text(origin: str, labels, accounts: int = 1) -> str:
    """Standard error of the Steam stage when the images with these labels could not be
    downloaded, for each of `accounts` accounts."""
    lines = "".join(f"    [!] Failed to deploy {label}: Failed to download asset from "
                    f"{origin}/media/steam/{source}\n"
                    for source, _, label in STEAM_ART if label in labels)
    return lines * accounts


def win_join(*parts: str) -> str:
    return "\\".join(parts)


def app_files_text(install_path: str, origin: str, *, runner="downloaded", loader="extracted",
                   icon_downloaded: bool = True, image_downloaded: bool = True) -> str:
    """The application files' lines on standard output. runner: "downloaded", "failed",
    "kept" or "kept damaged" (no download; the runner in the folder stays), "invalid" or
    "in use" (their warnings go to standard error) or ("local", candidate); loader:
    "extracted", "downloaded" or ("local", source)."""
    q = debug_path
    runner_path = win_join(install_path, "marrowlane.exe")
    loader_path = win_join(install_path, "WebView2Loader.dll")
    text = f"[\u2713] Deployed update configuration -> {q(win_join(install_path, 'config.json'))}\n"
    if isinstance(runner, tuple):
        text += (f"[*] Found valid local binary at {q(runner[1])}\n"
                 f"[\u2713] Deployed native runner -> {q(runner_path)}\n")
    else:
        url = f"{origin}/api/download?os=windows"
        text += (f"[*] Fetching Marrowlane runner from {url}...\n"
                 f"  Downloading asset: {url} -> {q(runner_path)}\n")
        if runner == "downloaded":
            text += f"[\u2713] Downloaded and deployed runner -> {q(runner_path)}\n"
        elif runner == "failed":
            text += (f"    [!] Could not download runner binary (Failed to download asset from "
                     f"{url}). Place marrowlane.exe in {q(install_path)}\n")
        elif runner == "kept":
            text += (f"    [!] Could not download runner binary (Failed to download asset from "
                     f"{url}). Kept the marrowlane.exe already in {q(install_path)}\n")
        elif runner == "kept damaged":
            text += (f"    [!] Could not download runner binary (Failed to download asset from "
                     f"{url}). The marrowlane.exe in {q(install_path)} is damaged and stays as it "
                     "was: run the setup again when the server can be reached, or place a "
                     "working marrowlane.exe there\n")
    if isinstance(loader, tuple):
        text += f"[\u2713] Deployed WebView2Loader.dll from local {q(loader[1])} -> {q(loader_path)}\n"
    else:
        url = f"{origin}/WebView2Loader.dll"
        text += (f"[*] Fetching WebView2Loader.dll from {url}...\n"
                 f"  Downloading asset: {url} -> {q(loader_path)}\n")
        if loader == "downloaded":
            text += f"[\u2713] Downloaded and deployed WebView2Loader.dll -> {q(loader_path)}\n"
        else:
            text += (f"[*] Extracting embedded WebView2Loader.dll -> {q(loader_path)}\n"
                     f"[\u2713] Extracted embedded WebView2Loader.dll -> {q(loader_path)}\n")
    for name, downloaded in (("marrowlane.ico", icon_downloaded), ("marrowlane.png", image_downloaded)):
        if downloaded:
            text += f"  Downloading asset: {origin}/{name} -> {q(win_join(install_path, name))}\n"
    return text


def runner_invalid_warning(install_path: str) -> str:
    return (f"[!] Warning: Downloaded runner at {debug_path(win_join(install_path, 'marrowlane.exe'))}"
            " is not a valid executable for this platform!\n")


def start_menu_lnk(appdata: str) -> str:
    return win_join(appdata, "Microsoft", "Windows", "Start Menu", "Programs", "Marrowlane.lnk")


def desktop_lnk(profile: str) -> str:
    return win_join(profile, "Desktop", "Marrowlane.lnk")


def shortcuts_text(start_menu: str | None, desktop: str | None) -> str:
    """The shortcut stage's lines, given the .lnk paths that were created."""
    text = "\n[*] Creating Desktop and Start Menu shortcuts...\n"
    if start_menu:
        text += f"  [\u2713] Created Start Menu shortcut -> {debug_path(start_menu)}\n"
    if desktop:
        text += f"  [\u2713] Created Desktop shortcut -> {debug_path(desktop)}\n"
    return text


def registration_text() -> str:
    return "  [\u2713] Registered uninstaller in Windows Settings > Installed Apps\n"


UNINSTALL_SUBKEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Marrowlane"


def uninstall_values(install_path: str, icon: bool = True) -> list[tuple[str, str, object]]:
    """The uninstall entry's values as the registry lists them: (name, type, data)."""
    icon_data = (f'"{win_join(install_path, "marrowlane.ico")}"' if icon
                 else f'"{win_join(install_path, "marrowlane.exe")}",0')
    return [
        ("DisplayName", "REG_SZ", "Marrowlane"),
        ("DisplayVersion", "REG_SZ", "0.2.0"),
        ("Publisher", "REG_SZ", "Marrowlane Contributors"),
        ("InstallLocation", "REG_SZ", install_path),
        ("UninstallString", "REG_SZ",
         f'"{win_join(install_path, "Marrowlane-Setup.exe")}" --uninstall'),
        ("DisplayIcon", "REG_SZ", icon_data),
        ("NoModify", "REG_DWORD", 1),
        ("NoRepair", "REG_DWORD", 1),
    ]


def folder_kib(folder: pathlib.Path) -> int:
    """What a folder's files hold, in KiB rounded up; links are neither counted nor entered."""
    total = 0
    for root, dirs, files in os.walk(folder):  # os.walk does not enter links to folders
        for name in files:
            path = os.path.join(root, name)
            if not os.path.islink(path):
                total += os.lstat(path).st_size
    return -(-total // 1024)


def package_manager_values(install_path: str, kib: int, date: str) -> list[tuple[str, str, object]]:
    """The three values written after the eight: the unattended removal, the folder's size in
    KiB and the day of the installation (YYYYMMDD)."""
    return [
        ("QuietUninstallString", "REG_SZ",
         f'"{win_join(install_path, "Marrowlane-Setup.exe")}" --uninstall --cli -y'),
        ("EstimatedSize", "REG_DWORD", kib),
        ("InstallDate", "REG_SZ", date),
    ]


def without_wine_notes(stderr: bytes) -> str:
    """A program's standard error without the lines Wine itself writes there (saving a .lnk
    on the Z: drive makes Wine note that it cannot read the volume's serial number)."""
    return "".join(line for line in stderr.decode("utf-8").splitlines(keepends=True)
                   if not line.startswith("wine: "))


def installation_text(origin: str, install_path: str, env: dict, *, steam: bool = False,
                      desktop: bool = True, start_menu: bool = True, steam_text: str = "",
                      entry: bool = True, runner_left: bool | None = None, **files) -> str:
    """The whole standard output of a completed installation (not a dry run) before any
    prompt: banner, application files (see app_files_text for files=), the Steam stage's
    steam_text, the shortcuts created from env's APPDATA and USERPROFILE, the uninstall
    entry (unless it could not be written) and the summary. runner_left: whether a marrowlane.exe is in the folder at the end;
    by default, when the runner step did not fail."""
    if runner_left is None:
        runner_left = files.get("runner", "downloaded") not in ("failed", "invalid")
    return (head(origin, install_path) + app_files_text(install_path, origin, **files) +
            steam_text +
            shortcuts_text(start_menu_lnk(env["APPDATA"]) if start_menu else None,
                           desktop_lnk(env["USERPROFILE"]) if desktop else None) +
            (registration_text() if entry else "") +
            summary(steam, desktop, start_menu, entry=entry,
                    missing_runner=None if runner_left else (install_path, origin)))
