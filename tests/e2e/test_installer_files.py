"""A real installation under Wine against a loopback distribution server: the files, the
two .lnk files and the uninstall entry, each read back, and the console, line by line."""
from __future__ import annotations

import hashlib
import pathlib
import shutil
import time

import pytest

from harness import SHELL_FOLDER_VARIABLES, refused_url, unix_path, wait_until, win_path
from installer_text import (UNINSTALL_SUBKEY, app_files_text, debug_path, desktop_lnk,
                            folder_kib, head, installation_text, package_manager_values,
                            registration_text, runner_invalid_warning, shortcuts_text,
                            steam_stage_text, start_menu_lnk, uninstall_values,
                            without_wine_notes)

ROOT = pathlib.Path(__file__).resolve().parents[2]
LOADER_SHA256 = "86545b66cdb0603bc26b626fb9ad610cb6e71f28d468f5ea66df23b03dda96d5"
ICON = (ROOT / "assets" / "marrowlane.ico").read_bytes()
IMAGE = (ROOT / "assets" / "demo" / "icon.png").read_bytes()
INSTALLED = ["Marrowlane-Setup.exe", "WebView2Loader.dll", "config.json", "marrowlane.exe",
             "marrowlane.ico", "marrowlane.png"]


def config_json(origin: str, name: str = "Marrowlane", url: str = "") -> bytes:
    return (f'{{\n  "server_origin": "{origin}",\n  "installed_version": "0.2.0",\n'
            f'  "game_name": "{name}",\n  "game_url": "{url}",\n'
            f'  "auto_check_updates": true\n}}').encode()


@pytest.fixture
def runner_bytes(wine) -> bytes:
    return (wine.build_dir / "demo" / "marrowlane-demo-runner.exe").read_bytes()


@pytest.fixture
def server(http_server, runner_bytes):
    """The distribution server with the runner and both icons, and no loader library."""
    http_server.serve("/api/download?os=windows", runner_bytes)
    http_server.serve("/marrowlane.ico", ICON)
    http_server.serve("/marrowlane.png", IMAGE)
    return http_server


@pytest.fixture(autouse=True)
def uninstall_key(wine):
    """The test session's registry holds no uninstall entry before or after each test."""
    key = "HKCU\\" + UNINSTALL_SUBKEY
    wine.wine(["reg", "delete", key, "/f"])
    yield key
    wine.wine(["reg", "delete", key, "/f"])


def registry_values(steamprobe) -> list[tuple]:
    """The uninstall entry's values by name (Wine lists a key's values sorted by name, so the
    order of writing shows only in the unit test of the value list)."""
    r = steamprobe("regvalues", UNINSTALL_SUBKEY)
    if r.out == "missing\n":
        return []
    values = []
    for line in r.out.splitlines():
        name, kind, data = line.split(" ", 2)
        if kind == "REG_SZ":
            data = data[1:-1].replace('\\"', '"').replace("\\\\", "\\")
        else:
            data = int(data)
        values.append((name, kind, data))
    return sorted(values)


def today() -> str:
    """The local date as YYYYMMDD (Wine's clock is the machine's, in the same time zone)."""
    return time.strftime("%Y%m%d")


@pytest.fixture
def first_day() -> str:
    """The day the test started on: with the day it ends on, the days its installations ran."""
    return today()


def assert_entry(steamprobe, install_path: str, first_day: str, *, icon: bool = True) -> None:
    """The uninstall entry holds the eight values and the three after them: the folder's size
    as it is now and the day the installation ran (a test that runs over midnight may see
    either day)."""
    values = registry_values(steamprobe)
    # Besides them, the record of what the installation made (test_uninstall_record).
    assert "InstallRecord" in {name for name, _, _ in values}, values
    values = [v for v in values if v[0] != "InstallRecord"]
    date = next((data for name, _, data in values if name == "InstallDate"), None)
    assert date in {first_day, today()}, values
    assert values == sorted(uninstall_values(install_path, icon) + package_manager_values(
        install_path, folder_kib(unix_path(install_path)), date))


def read_lnk(steamprobe, path: str) -> dict:
    r = steamprobe("lnk", path)
    assert r.status == 0, r
    return dict(line.split(" ", 1) for line in r.out.splitlines())


def expected_lnk(install_path: str, icon: str) -> dict:
    return {"target": debug_path(install_path + "\\marrowlane.exe"),
            "workdir": debug_path(install_path), "args": '""', "icon": debug_path(icon) + ",0"}


def installation(env, install_path, origin, **files) -> str:
    """The whole standard output of an unattended terminal run without Steam."""
    return installation_text(origin, install_path, env, steam_text=steam_stage_text(enabled=False),
                             **files)


def test_full_installation_file_by_file(run, env, sandbox, server, steamprobe, wine, runner_bytes,
                                        first_day):
    folder = sandbox / "LocalAppData" / "Marrowlane"
    install_path = win_path(folder)
    r = run("--cli", "-y", "--no-steam", "--server-origin", server.url("/"))
    origin = server.url("")
    assert (r.out, without_wine_notes(r.stderr), r.status) == (
        installation(env, install_path, origin), "", 0)

    assert sorted(p.name for p in folder.iterdir()) == INSTALLED
    assert (folder / "config.json").read_bytes() == config_json(origin)
    assert (folder / "marrowlane.exe").read_bytes() == runner_bytes
    assert hashlib.sha256((folder / "WebView2Loader.dll").read_bytes()).hexdigest() == LOADER_SHA256
    assert (folder / "marrowlane.ico").read_bytes() == ICON
    assert (folder / "marrowlane.png").read_bytes() == IMAGE
    assert (folder / "Marrowlane-Setup.exe").read_bytes() == wine.exe.read_bytes()

    for lnk in (start_menu_lnk(env["APPDATA"]), desktop_lnk(env["USERPROFILE"])):
        assert read_lnk(steamprobe, lnk) == expected_lnk(install_path, install_path + "\\marrowlane.ico")
    assert_entry(steamprobe, install_path, first_day)


def test_installing_again_and_from_the_installation_folder(run, env, sandbox, server, steamprobe,
                                                          wine, runner_bytes, first_day):
    folder = sandbox / "LocalAppData" / "Marrowlane"
    install_path = win_path(folder)
    origin = server.url("")
    first = run("--cli", "-y", "--no-steam", "--server-origin", origin)
    second = run("--cli", "-y", "--no-steam", "--server-origin", origin)
    assert (second.out, second.status) == (first.out, 0)
    assert_entry(steamprobe, install_path, first_day)

    # The installed setup started again finds the installed files beside itself: none is
    # taken as its own source (a copy onto itself would truncate it, and a damaged one would
    # stay), so it installs as from anywhere else, and its own copy survives whole.
    installed = {p.name: p.read_bytes() for p in folder.iterdir()}
    third = wine.run(folder / "Marrowlane-Setup.exe",
                     ["--cli", "-y", "--no-steam", "--server-origin", origin],
                     env=env, cwd=sandbox / "cwd")
    assert (third.out, without_wine_notes(third.stderr), third.status) == (first.out, "", 0)
    assert {p.name: p.read_bytes() for p in folder.iterdir()} == installed
    assert_entry(steamprobe, install_path, first_day)


def lock(wine, path: pathlib.Path):
    holder = wine.start(wine.tool("filelock"), [win_path(path)])
    holder.wait_for_output(b"locked\n")
    return holder


@pytest.mark.parametrize("locked", ["config.json", "marrowlane.exe"])
def test_fatal_failures_stop_before_the_summary(wine, run, sandbox, server, gui, locked):
    folder = sandbox / "LocalAppData" / "Marrowlane"
    folder.mkdir()
    earlier = {"config.json": b'{"earlier": true}', "marrowlane.exe": b"MZ earlier runner"}
    for name, data in earlier.items():
        (folder / name).write_bytes(data)
    # A local runner (any x64 program) is found in the working folder; its copy onto a held
    # file must fail.
    shutil.copyfile(wine.tool("argecho"), sandbox / "cwd" / "marrowlane.exe")
    holder = lock(wine, folder / locked)
    try:
        r = run("-y", "--no-steam", "--server-origin", server.url(""))
    finally:
        holder.wait(stdin=b"\n")
    assert r.status == 1
    assert r.err.startswith("Error: Os { code: ") and r.err.count("\n") == 1, r.err
    install_path = win_path(folder)
    expected = head(server.url(""), install_path)
    if locked == "marrowlane.exe":
        expected += app_files_text(install_path, "").splitlines(keepends=True)[0]
        expected += f"[*] Found valid local binary at {debug_path('marrowlane.exe')}\n"
        # Its own key stays in config.json.
        earlier["config.json"] = config_json(server.url(""))[:-2] + b',\n  "earlier": true\n}'
    assert r.out == expected
    # The held file is whole, and nothing half-written lies beside it.
    assert {p.name: p.read_bytes() for p in folder.iterdir()} == earlier
    assert gui.find("MarrowlaneProgressDlg") is None


@pytest.mark.parametrize("earlier_runner", [b"MZ earlier runner", None], ids=["kept", "none"])
def test_html_served_as_runner_never_replaces_it(run, sandbox, server, earlier_runner):
    server.serve("/api/download?os=windows", b"<!doctype html><html><body>Sign in</body></html>")
    folder = sandbox / "LocalAppData" / "Marrowlane"
    folder.mkdir()
    if earlier_runner:
        (folder / "marrowlane.exe").write_bytes(earlier_runner)
    r = run("--cli", "-y", "--no-steam", "--no-desktop", "--no-menu",
            "--server-origin", server.url(""))
    install_path = win_path(folder)
    assert r.status == 0
    assert without_wine_notes(r.stderr) == runner_invalid_warning(install_path)
    assert app_files_text(install_path, server.url(""), runner="invalid") in r.out
    runner = folder / "marrowlane.exe"
    assert (runner.read_bytes() if runner.exists() else None) == earlier_runner
    assert not [p.name for p in folder.iterdir() if p.name.endswith(".tmp")]


PAGE = b"<!doctype html><html><body>Please sign in to the network</body></html>"


@pytest.mark.parametrize("case", ["runner cut short", "page as loader", "page as icon and image"])
def test_answers_that_are_not_the_files_replace_nothing(run, env, sandbox, server, runner_bytes,
                                                        case):
    # What a captive portal or a dropped connection gives: a page with status 200, or a
    # runner whose connection closed after 5,002 of its bytes. The URL service reports
    # success for both.
    folder = sandbox / "LocalAppData" / "Marrowlane"
    folder.mkdir()
    earlier = {"marrowlane.exe": b"MZ earlier runner", "marrowlane.ico": ICON,
               "marrowlane.png": IMAGE}
    for name, data in earlier.items():
        (folder / name).write_bytes(data)
    files = {}
    if case == "runner cut short":
        server.serve("/api/download?os=windows", runner_bytes[:5002], announce=len(runner_bytes))
        files["runner"] = "kept damaged"
    elif case == "page as loader":
        server.serve("/WebView2Loader.dll", PAGE)
        (folder / "WebView2Loader.dll").write_bytes(b"MZ a good loader")
    else:
        server.serve("/marrowlane.ico", PAGE)
        server.serve("/marrowlane.png", PAGE)
    r = run("--cli", "-y", "--no-steam", "--server-origin", server.url(""))
    install_path = win_path(folder)
    assert (r.out, without_wine_notes(r.stderr), r.status) == (
        installation(env, install_path, server.url(""), **files), "", 0)
    after = {p.name: p.read_bytes() for p in folder.iterdir()}
    if case != "runner cut short":
        earlier["marrowlane.exe"] = runner_bytes
    for name, data in earlier.items():
        assert after[name] == data, name
    # The page never became the loader: the copy the setup carries did.
    assert hashlib.sha256(after["WebView2Loader.dll"]).hexdigest() == LOADER_SHA256
    assert not [name for name in after if name.endswith(".tmp")]


def test_a_runner_published_between_two_installations_is_the_one_installed(run, sandbox, server,
                                                                          runner_bytes):
    # The URL service must ask the server, not a cached copy of the first answer.
    origin = server.url("")
    runner = sandbox / "LocalAppData" / "Marrowlane" / "marrowlane.exe"
    assert run("--cli", "-y", "--no-steam", "--server-origin", origin).status == 0
    assert runner.read_bytes() == runner_bytes
    newer = runner_bytes + b"\0version 2"
    server.serve("/api/download?os=windows", newer)
    assert run("--cli", "-y", "--no-steam", "--server-origin", origin).status == 0
    assert runner.read_bytes() == newer
    assert server.paths_requested().count("/api/download?os=windows") == 2


def test_unreachable_server_still_installs(run, env, sandbox, steamprobe, first_day):
    origin = refused_url("").rstrip("/")
    folder = sandbox / "LocalAppData" / "Marrowlane"
    install_path = win_path(folder)
    r = run("--cli", "-y", "--no-steam", "--server-origin", origin)
    assert (r.out, without_wine_notes(r.stderr), r.status) == (
        installation(env, install_path, origin, runner="failed"), "", 0)
    assert sorted(p.name for p in folder.iterdir()) == [
        "Marrowlane-Setup.exe", "WebView2Loader.dll", "config.json"]
    assert hashlib.sha256((folder / "WebView2Loader.dll").read_bytes()).hexdigest() == LOADER_SHA256
    # Without the icon file, the shortcuts and the entry show the runner's own icon.
    runner = install_path + "\\marrowlane.exe"
    assert read_lnk(steamprobe, desktop_lnk(env["USERPROFILE"])) == expected_lnk(install_path, runner)
    assert_entry(steamprobe, install_path, first_day, icon=False)


def test_apostrophe_and_non_ascii_reach_every_place(run, env, sandbox, server, steamprobe,
                                                    first_day):
    folder = sandbox / "Player's Gämes ✓" / "Marrowlane"
    install_path = win_path(folder)
    name = "Zoë's \"Star\" Garden ✓"
    r = run("--cli", "-y", "--no-steam", "--no-desktop", "--install-dir", install_path,
            "--game-name", name, "--server-origin", server.url(""))
    assert r.status == 0, r
    assert f"Install Path:     {debug_path(install_path)}\n" in r.out
    assert (folder / "config.json").read_bytes() == config_json(
        server.url(""), name.replace('"', '\\"'))
    assert read_lnk(steamprobe, start_menu_lnk(env["APPDATA"])) == expected_lnk(
        install_path, install_path + "\\marrowlane.ico")
    assert_entry(steamprobe, install_path, first_day)


def test_estimated_size_counts_the_folder_but_not_what_links_point_at(run, sandbox, server,
                                                                      steamprobe, first_day):
    # The folder already holds a player's saves, and a link to a large folder elsewhere (Wine
    # shows a Unix link to a folder as a reparse point, as Windows shows a junction).
    folder = sandbox / "LocalAppData" / "Marrowlane"
    (folder / "saves").mkdir(parents=True)
    (folder / "saves" / "slot1.dat").write_bytes(b"s" * 70_000)
    elsewhere = sandbox / "Games"
    elsewhere.mkdir()
    (elsewhere / "big.bin").write_bytes(b"g" * 3_000_000)
    (folder / "Games").symlink_to(elsewhere, target_is_directory=True)
    r = run("--cli", "-y", "--no-steam", "--no-desktop", "--no-menu",
            "--server-origin", server.url(""))
    assert r.status == 0, r
    install_path = win_path(folder)
    assert_entry(steamprobe, install_path, first_day)
    size = dict((name, data) for name, _, data in registry_values(steamprobe))["EstimatedSize"]
    installed = sum(p.stat().st_size for p in folder.iterdir() if p.is_file() and not p.is_symlink())
    # The saves count; the linked folder does not.
    assert size == -(-(installed + 70_000) // 1024)
    assert size < 3_000_000 // 1024
    assert (elsewhere / "big.bin").stat().st_size == 3_000_000


def test_quiet_uninstall_string_removes_it_all_unattended(wine, run, env, sandbox, server,
                                                         steamprobe, uninstall_key):
    # A package manager runs the stored command line as it is: the quoted program, then the
    # switches. The removal asks nothing (a question would hold the test) and ends with 0.
    folder = sandbox / "LocalAppData" / "Marrowlane"
    assert run("--cli", "-y", "--no-steam", "--server-origin", server.url("")).status == 0
    command = dict((name, data) for name, _, data in registry_values(steamprobe))[
        "QuietUninstallString"]
    assert command.startswith('"')
    program, switches = command[1:].split('" ', 1)
    assert unix_path(program) == folder / "Marrowlane-Setup.exe"
    r = wine.run(program, switches.split(" "), env=env, cwd=sandbox / "cwd")
    assert (without_wine_notes(r.stderr), r.status) == ("", 0), r
    assert r.out.endswith("  Marrowlane has been cleanly uninstalled.\n" + "=" * 54 + "\n")
    # The whole key goes, the values added for package managers with the eight.
    assert wine.wine(["reg", "query", uninstall_key]).returncode == 1
    wait_until(lambda: not folder.exists(), timeout=60)
    assert not (sandbox / "AppData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" /
                "Marrowlane.lnk").exists()


def test_dry_run_writes_nothing(run, sandbox, server, steamprobe):
    before = sorted(p.relative_to(sandbox) for p in sandbox.rglob("*"))
    r = run("--cli", "-y", "--no-steam", "--dry-run", "--server-origin", server.url(""))
    assert r.status == 0
    assert sorted(p.relative_to(sandbox) for p in sandbox.rglob("*")) == before
    assert server.requests == []
    assert registry_values(steamprobe) == []


@pytest.mark.parametrize("shell_says", [True, False], ids=["shell folders", "no shell folders"])
def test_empty_profile_variables_never_put_shortcuts_below_the_current_folder(run, env, sandbox,
                                                                             server, shell_says):
    # The shortcuts go where the shell says, whatever APPDATA and USERPROFILE hold. When the
    # shell cannot say (here: its values name variables this run does not set, so they come
    # back unexpanded), an empty base folder would put them below whatever folder the setup
    # ran in: they are skipped.
    extra = {"APPDATA": "", "USERPROFILE": ""}
    if not shell_says:
        extra.update({variable: None for variable in SHELL_FOLDER_VARIABLES.values()})
    r = run("--cli", "-y", "--no-steam", "--server-origin", server.url(""), extra_env=extra)
    assert r.status == 0, r
    created = shortcuts_text(start_menu_lnk(env["APPDATA"]), desktop_lnk(env["USERPROFILE"]))
    expected = created if shell_says else shortcuts_text(None, None)
    assert expected + registration_text() in r.out
    assert list((sandbox / "cwd").iterdir()) == []
