"""The Desktop and Start Menu shortcuts in the folders the shell names: a Desktop that OneDrive's
folder backup has moved, and user profiles whose names cmd, PowerShell or the shell's variable
expansion would misread. Each installation is removed again by the uninstaller, which leaves
every neighbour alone."""
from __future__ import annotations

import pathlib

import pytest

from harness import SHELL_FOLDER_VARIABLES, profile_env, refused_url, wait_until, win_path
from installer_text import (UNINSTALL_SUBKEY, debug_path, desktop_lnk, registration_text,
                            shortcuts_text, snapshot, start_menu_lnk)

# Generous: the removal that follows the uninstaller tries for about a minute.
GONE_WITHIN = 180


@pytest.fixture(autouse=True)
def no_uninstall_entry(wine):
    """The session's registry holds no uninstall entry before or after each test."""
    key = "HKCU\\" + UNINSTALL_SUBKEY
    wine.wine(["reg", "delete", key, "/f"])
    yield
    wine.wine(["reg", "delete", key, "/f"])


def target_of(steamprobe, lnk: str) -> str:
    r = steamprobe("lnk", lnk)
    assert r.status == 0, r
    return dict(line.split(" ", 1) for line in r.out.splitlines())["target"]


def install(wine, run_env: dict, cwd: pathlib.Path):
    """An unattended installation without Steam (the server refuses at once: the shortcuts do
    not need the runner)."""
    origin = refused_url("").rstrip("/")
    installed = wine.run(wine.exe, ["--cli", "-y", "--no-steam", "--server-origin", origin],
                         env=run_env, cwd=cwd)
    assert installed.status == 0, installed
    return installed


def uninstall(wine, run_env: dict, cwd: pathlib.Path):
    """The removal as a package manager or Windows Settings starts it, unattended."""
    removed = wine.run(wine.exe, ["--uninstall", "--cli", "-y"], env=run_env, cwd=cwd)
    assert removed.status == 0, removed
    return removed


def test_a_desktop_moved_by_onedrive_gets_the_shortcut_and_loses_it_again(wine, env, sandbox,
                                                                          steamprobe):
    moved = sandbox / "Profile" / "OneDrive - Contoso" / "Desktop"
    moved.mkdir(parents=True)
    run_env = dict(env, **{SHELL_FOLDER_VARIABLES["Desktop"]: win_path(moved)})
    profile_desktop = sandbox / "Profile" / "Desktop"
    installed = install(wine, run_env, sandbox / "cwd")
    lnk = win_path(moved / "Marrowlane.lnk")
    assert shortcuts_text(start_menu_lnk(env["APPDATA"]), lnk) + registration_text() in \
        installed.out
    install_path = win_path(sandbox / "LocalAppData" / "Marrowlane")
    assert target_of(steamprobe, lnk) == debug_path(install_path + "\\marrowlane.exe")
    # Not where the user no longer looks.
    assert list(profile_desktop.iterdir()) == []

    # An earlier version put its shortcut on the profile's Desktop: that one goes too, and
    # nothing else.
    (profile_desktop / "Marrowlane.lnk").write_bytes((moved / "Marrowlane.lnk").read_bytes())
    for folder in (moved, profile_desktop):
        (folder / "Other.lnk").write_bytes(b"another program's shortcut")
    uninstall(wine, run_env, sandbox / "cwd")
    for folder in (moved, profile_desktop):
        assert sorted(p.name for p in folder.iterdir()) == ["Other.lnk"], folder
    assert not (unix_programs(env) / "Marrowlane.lnk").exists()


def unix_programs(env: dict) -> pathlib.Path:
    text = env[SHELL_FOLDER_VARIABLES["Programs"]]
    return pathlib.Path("/" + text[3:].replace("\\", "/"))


@pytest.mark.parametrize("name", ["J\u00f6rg & Ann (50%)", "\u6d4b\u8bd5!^ \u00dc", "a%OS%b's,;=x"])
def test_profiles_with_names_that_tools_misread(wine, env, sandbox, steamprobe, name):
    users = sandbox / "Users"
    profile = users / name
    local, roaming = profile / "AppData" / "Local", profile / "AppData" / "Roaming"
    for folder in (local, roaming, profile / "Desktop"):
        folder.mkdir(parents=True)
    # What the name would become if anything expanded it (Wine sets OS=Windows_NT), and what
    # a user keeps beside the installation: none of it may change.
    decoy = users / "aWindows_NTb's,;=x"
    for folder, names in ((decoy / "AppData" / "Local" / "Marrowlane", ["marrowlane.exe"]),
                          (decoy / "Desktop", ["Marrowlane.lnk"]),
                          (local, ["Marrowlane.txt", "Marrowlane (old)/notes.txt"]),
                          (profile / "Desktop", ["Other.lnk"])):
        for file in names:
            (folder / file).parent.mkdir(parents=True, exist_ok=True)
            (folder / file).write_bytes(file.encode())
    neighbours = snapshot(decoy), snapshot(local), sorted(p.name for p in users.iterdir())
    run_env = dict(env, **profile_env(local, roaming, profile))

    installed = install(wine, run_env, sandbox / "cwd")
    menu, desktop = start_menu_lnk(win_path(roaming)), desktop_lnk(win_path(profile))
    assert shortcuts_text(menu, desktop) + registration_text() in installed.out
    install_path = win_path(local / "Marrowlane")
    for lnk in (menu, desktop):
        assert target_of(steamprobe, lnk) == debug_path(install_path + "\\marrowlane.exe")

    removed = uninstall(wine, run_env, sandbox / "cwd")
    assert f"[\u2713] Cleaned application files from {debug_path(install_path)}\n" in removed.out
    assert sorted(p.name for p in (profile / "Desktop").iterdir()) == ["Other.lnk"]
    assert not (roaming / "Microsoft" / "Windows" / "Start Menu" / "Programs" /
                "Marrowlane.lnk").exists()
    wait_until(lambda: not (local / "Marrowlane").exists(), timeout=GONE_WITHIN)
    assert (snapshot(decoy), snapshot(local), sorted(p.name for p in users.iterdir())) == \
        neighbours
