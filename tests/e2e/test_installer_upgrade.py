"""An installation over an earlier one: a repair that repairs, the user's settings kept, and
an upgrade while Marrowlane or the setup's copy is in use."""
from __future__ import annotations

import shutil

import pytest

from harness import refused_url, win_path
from installer_text import RULE, app_files_text, debug_path, summary, without_wine_notes

ARGS = ("--cli", "-y", "--no-steam", "--no-desktop", "--no-menu")


@pytest.fixture
def runner_bytes(wine) -> bytes:
    return (wine.build_dir / "demo" / "marrowlane-demo-runner.exe").read_bytes()


@pytest.fixture
def folder(sandbox):
    return sandbox / "LocalAppData" / "Marrowlane"


@pytest.mark.parametrize("case", ["repair", "repair without the server", "damaged local build"])
def test_a_damaged_runner_is_never_taken_as_a_good_one(wine, run, env, sandbox, folder,
                                                      http_server, runner_bytes, case):
    # A runner cut to a third (a disk error, an interrupted copy) keeps its headers. The
    # installed setup started in its own folder, as the Start Menu does, must not take it
    # for the copy it deploys, nor may a fresh installation take one lying beside it.
    http_server.serve("/api/download?os=windows", runner_bytes)
    damaged = runner_bytes[:len(runner_bytes) // 3]
    origin = http_server.url("")
    if case == "damaged local build":
        (sandbox / "cwd" / "marrowlane.exe").write_bytes(damaged)
        r = run(*ARGS, "--server-origin", origin)
    else:
        assert run(*ARGS, "--server-origin", origin).status == 0
        (folder / "marrowlane.exe").write_bytes(damaged)
        if case == "repair without the server":
            origin = refused_url("").rstrip("/")
        r = wine.run(folder / "Marrowlane-Setup.exe", [*ARGS, "--server-origin", origin],
                     env=env, cwd=folder)
    install_path = win_path(folder)
    assert (without_wine_notes(r.stderr), r.status) == ("", 0), r
    if case == "repair without the server":
        # Kept as it was, and said so.
        assert app_files_text(install_path, origin, runner="kept damaged") in r.out
        assert (folder / "marrowlane.exe").read_bytes() == damaged
    else:
        assert app_files_text(install_path, origin) in r.out
        assert (folder / "marrowlane.exe").read_bytes() == runner_bytes


def test_a_reinstall_keeps_the_users_settings(run, folder, http_server):
    origin = http_server.url("")
    assert run(*ARGS, "--server-origin", origin).status == 0
    # The user switched updates off; the runner added a key of its own.
    (folder / "config.json").write_text(
        '{\n  "server_origin": "https://old.example",\n  "auto_check_updates": false,\n'
        '  "window": {\n    "width": 1280\n  }\n}')
    assert run(*ARGS, "--server-origin", origin, "--game-name", "Star Garden").status == 0
    assert (folder / "config.json").read_text() == (
        f'{{\n  "server_origin": "{origin}",\n  "installed_version": "0.2.0",\n'
        '  "game_name": "Star Garden",\n  "game_url": "",\n  "auto_check_updates": false,\n'
        '  "window": {\n    "width": 1280\n  }\n}')


@pytest.mark.parametrize("held", ["marrowlane.exe", "Marrowlane-Setup.exe"])
def test_an_upgrade_names_the_file_in_use(wine, run, folder, http_server, runner_bytes, held):
    # Marrowlane runs from its folder (a real running image), or an uninstallation started
    # from Windows Settings still holds the setup's copy.
    http_server.serve("/api/download?os=windows", runner_bytes)
    origin = http_server.url("")
    assert run(*ARGS, "--server-origin", origin).status == 0
    placeholder = folder / "held.txt"
    placeholder.write_text("held")
    if held == "marrowlane.exe":
        shutil.copyfile(wine.tool("filelock"), folder / held)
        holder = wine.start(folder / held, [win_path(placeholder)])
    else:
        holder = wine.start(wine.tool("filelock"), [win_path(folder / held)])
    holder.wait_for_output(b"locked\n")
    before = (folder / held).read_bytes()
    try:
        r = run("--cli", "-y", "--no-steam", "--no-desktop", "--no-menu",
                "--server-origin", origin)
    finally:
        holder.wait(stdin=b"\n")
    install_path = win_path(folder)
    target = debug_path(win_path(folder / held))
    assert r.status == 0, r
    if held == "marrowlane.exe":
        assert without_wine_notes(r.stderr) == (
            f"[!] Could not replace {target}: it is in use, most likely by a running "
            "Marrowlane. Close Marrowlane and run the setup again.\n")
        assert app_files_text(install_path, origin, runner="in use") in r.out
        assert "Installation Completed Successfully!" not in r.out
        assert r.out.endswith(
            f"\n{RULE}\n  Installation Incomplete: the running Marrowlane was not updated!\n"
            "  - Registered in Windows Settings for 1-click uninstall\n"
            "  [!] The previous marrowlane.exe stays in place: close Marrowlane and run the "
            f"setup again.\n{RULE}\n")
    else:
        assert without_wine_notes(r.stderr) == (
            f"[!] Could not replace the setup's copy {target}: it is in use, perhaps by an "
            "uninstallation started from Windows Settings. Until the setup runs again after "
            "that has ended, Windows Settings starts the earlier copy.\n")
        assert r.out.endswith(summary(False, False, False))
    assert (folder / held).read_bytes() == before
    # Nothing downloaded for it stays behind.
    assert sorted(p.name for p in folder.iterdir()) == sorted(
        ["Marrowlane-Setup.exe", "WebView2Loader.dll", "config.json", "marrowlane.exe",
         "held.txt"])
