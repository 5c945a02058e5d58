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
