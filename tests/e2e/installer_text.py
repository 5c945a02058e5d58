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


def debug_path(path: str) -> str:
    """The form in which the console shows a path."""
    return '"' + path.replace("\\", "\\\\").replace('"', '\\"') + '"'


def head(origin: str, install_path: str) -> str:
    return (f"{RULE}\n     Marrowlane - Setup & Steam Library Installer     \n{RULE}\n"
            f"Server Origin:    {origin}\nInstall Path:     {debug_path(install_path)}\n")


def summary(steam: bool, desktop: bool, start_menu: bool) -> str:
    lines = [f"\n{RULE}", "  Installation Completed Successfully!"]
    if steam:
        lines.append("  - Steam Library shortcut and custom artwork installed")
    if desktop:
        lines.append("  - Desktop shortcut created")
    if start_menu:
        lines.append("  - Start Menu shortcut created")
    lines += ["  - Registered in Windows Settings for 1-click uninstall", RULE]
    return "\n".join(lines) + "\n"


def completion_text(steam: bool, desktop: bool, start_menu: bool, name: str = "Marrowlane") -> str:
    text = f"{name} has been installed successfully!\n\nInstalled components:\n"
    if desktop:
        text += "\u2022 Desktop shortcut created\n"
    if start_menu:
        text += "\u2022 Start Menu shortcut created\n"
    if steam:
        text += "\u2022 Added to Steam Library with custom artwork\n"
    return text + "\u2022 Registered in Windows Settings for 1-click uninstall"


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
STEAM_QUESTION = ("Steam is currently running. It must be closed briefly to register Marrowlane "
                  "in your Steam library without conflict.\n\nClose Steam now? (It will be "
                  "automatically restarted after installation)")


def steam_stage_text(roots: int = 0, grids=(), appid: int = 0, origin: str = "https://marrowlane.app",
                     *, enabled: bool = True, running: bool = False, kept_open: bool = False,
                     dry_run: bool = False) -> str:
    """What the Steam stage prints: `roots` found, the artwork of each account's grid folder
    (Windows paths, in walk order) for `appid`, Steam `running` and, in graphical mode,
    `kept_open` by the user."""
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
            text += f"    [\u2713] Deployed {label} -> {dest}\n"
    if closing and not kept_open:
        text += "  [*] Reopening Steam...\n"
    return text
