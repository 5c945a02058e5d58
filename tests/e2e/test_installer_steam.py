"""The installation's Steam stage for real: Steam roots found by discovery, a stand-in Steam
client, the five images from a loopback server, and each account's shortcuts.vdf read back."""
from __future__ import annotations

import pathlib
import zlib

import pytest

import vdf
from harness import wait_until, win_path
from installer_text import (LOGO_POSITION, OPTIONS_CLASS, STEAM_ART, STEAM_QUESTION,
                            artwork_failed_text, debug_path, head, installation_text,
                            logo_position_failed, png, SHARING_VIOLATION, snapshot,
                            steam_stage_text, summary)
from harness import FakeSteam

@pytest.fixture(scope="module")
def wine(wine_with_fakes):
    """The prefix with the stand-in tools, whose tasklist lets a test see what still runs."""
    return wine_with_fakes


ARGS = ("--no-desktop", "--no-menu")  # no .lnk files: only Steam among the components


def install_path(sandbox: pathlib.Path) -> str:
    return win_path(sandbox / "LocalAppData") + "\\Marrowlane"


def stage_appid(sandbox: pathlib.Path, name: str = "Marrowlane") -> int:
    quoted = '"' + install_path(sandbox) + '\\marrowlane.exe"'
    return zlib.crc32((quoted + name).encode()) | 0x80000000


def account(root: pathlib.Path, number: str, content: bytes | None = None) -> pathlib.Path:
    """An account folder of root; with content, its config/shortcuts.vdf. Returns the
    config folder."""
    config = root / "userdata" / number / "config"
    (root / "userdata" / number).mkdir(parents=True, exist_ok=True)
    if content is not None:
        config.mkdir(exist_ok=True)
        (config / "shortcuts.vdf").write_bytes(content)
    return config


def home_root(sandbox: pathlib.Path, env: dict) -> tuple[pathlib.Path, str]:
    """A second Steam root, found through HOME (Wine sets ProgramFiles itself): its folder
    and the text by which the setup names it."""
    home = sandbox / "home"
    env["HOME"] = win_path(home)
    return home / ".local" / "share" / "Steam", win_path(home) + "/.local/share/Steam"


def expected_entry(sandbox: pathlib.Path, config: pathlib.Path | str, url: str = "") -> dict:
    """The stage's entry for the account whose config folder is given (a Windows text as
    the setup names it, or a folder)."""
    appid = stage_appid(sandbox)
    grid = (config if isinstance(config, str) else win_path(config)) + "\\grid"
    return {"appid": appid, "AppName": "Marrowlane",
            "Exe": '"' + install_path(sandbox) + '\\marrowlane.exe"',
            "StartDir": '"' + install_path(sandbox) + '"',
            "icon": f"{grid}\\{appid}_icon.png",
            "LaunchOptions": f'--url "{url}"' if url else "",
            "AllowDesktopConfig": 0, "AllowOverlay": 1, "IsHidden": 0,
            "tags": ["Marrowlane", "WebAssembly"]}


def stage_only_text(origin: str, sandbox: pathlib.Path, steam_text: str,
                    listed: bool = True) -> str:
    """The whole output of an installation with only Steam chosen among the components and
    nothing but the Steam images on the server; the summary lists the Steam library when
    `listed` (some image reached an account)."""
    return installation_text(origin, install_path(sandbox), {}, steam=listed, desktop=False,
                             start_menu=False, runner="failed", steam_text=steam_text)


def assert_entry(entry: dict, expected: dict) -> None:
    assert {key: entry.get(key) for key in expected} == expected


@pytest.fixture
def media(http_server):
    """The distribution server with the five Steam images; returns the origin."""
    for source, _, _ in STEAM_ART:
        http_server.serve(f"/media/steam/{source}", png(f"{source} bytes"))
    return http_server.url("")


@pytest.fixture
def steam(wine, env, sandbox):
    fake = FakeSteam(wine, env, sandbox)
    yield fake
    fake.close()


def start_running_client(steam, steamprobe, root):
    steam.start_client(root)
    # Listed as running before it has logged its start (on a busy machine, long before): a
    # test that takes a snapshot next must not see the log appear afterwards.
    wait_until(lambda: steam.client_pids(root), timeout=60)
    wait_until(lambda: steamprobe("running", extra_env=steam.env).out == "true\n", timeout=60)


def test_running_steam_closed_once_and_restarted_after_the_last_root(
        launch, steam, steamprobe, sandbox, media, fixtures_dir):
    first = steam.root(sandbox / "ProgramFilesX86" / "Steam")
    second, second_text = home_root(sandbox, steam.env)
    steam.root(second)
    config1 = account(first, "111")
    fixture = fixtures_dir / "shortcuts-vdf" / "steam-2026-sortas-lowercase-appname.vdf"
    config2 = account(second, "222", fixture.read_bytes())
    start_running_client(steam, steamprobe, first)

    url = "https://games.example/star.wasm"
    running = launch("--cli", "-y", *ARGS, "--url", url, "--server-origin", media,
                     extra_env=steam.env)
    # The restarted client holds the setup's output streams; end it once it has started.
    wait_until(lambda: not running.running(), timeout=60)
    wait_until(lambda: len(steam.starts(first)) == 3, timeout=60)
    steam.close()
    result = running.wait_exit(timeout=120)

    appid = stage_appid(sandbox)
    config2_text = second_text + r"\userdata\222\config"
    grids = [win_path(config1 / "grid"), config2_text + "\\grid"]
    assert (result.stdout.decode(), result.stderr, result.status) == (
        stage_only_text(media, sandbox,
                        steam_stage_text(2, grids, appid, media, running=True)), b"", 0)
    # One shutdown request through each root, one restart of the first root's client.
    assert steam.starts(first) == [[], ['"-shutdown"'], []]
    assert steam.starts(second) == [['"-shutdown"']]
    assert any(line.endswith(" shutdown") and line.startswith("exit ") for line in steam.lines())

    (entry,) = vdf.dump(config1 / "shortcuts.vdf")
    assert_entry(entry, expected_entry(sandbox, config1, url))
    # Every entry Steam wrote survives, with its sortas and lower-case keys, in its place.
    before, after = vdf.dump(fixture), vdf.dump(config2 / "shortcuts.vdf")
    assert after[:-1] == before
    assert any("sortas" in e for e in after[:-1])
    assert_entry(after[-1], expected_entry(sandbox, config2_text, url))
    for config in (config1, config2):
        for source, suffix, _ in STEAM_ART:
            assert (config / "grid" / f"{appid}{suffix}").read_bytes() == png(f"{source} bytes")
        # Steam draws the logo only with its position file beside it.
        assert (config / "grid" / f"{appid}.json").read_bytes() == LOGO_POSITION
        # The installation keeps no backups of its own.
        assert sorted(p.name for p in config.iterdir()) == ["grid", "shortcuts.vdf"]


def test_graphical_mode_answered_no_leaves_steam_running(launch, gui, steam, steamprobe, sandbox,
                                                         media):
    root = steam.root(sandbox / "ProgramFilesX86" / "Steam")
    config = account(root, "111")
    start_running_client(steam, steamprobe, root)

    running = launch(*ARGS, "--server-origin", media, extra_env=steam.env)
    dialog = gui.wait(OPTIONS_CLASS)
    gui.click(gui.control(dialog, text="Install"))
    box = gui.message_box("Steam Running")
    assert (box.text, sorted(box.buttons)) == (STEAM_QUESTION, ["No", "Yes"])
    gui.answer(box, "No")
    # This server has no runner: the box says the installation is incomplete.
    gui.answer(gui.message_box("Marrowlane Setup - Installation Incomplete"), "OK")
    result = running.wait(timeout=120)

    assert (result.stdout.decode(), result.stderr, result.status) == (
        stage_only_text(media, sandbox,
                        steam_stage_text(1, [win_path(config / "grid")], stage_appid(sandbox), media,
                           running=True, kept_open=True)), b"", 0)
    assert steam.starts(root) == [[]]
    assert steamprobe("running", extra_env=steam.env).out == "true\n"
    (entry,) = vdf.dump(config / "shortcuts.vdf")
    assert_entry(entry, expected_entry(sandbox, config))


def test_dry_run_neither_closes_steam_nor_writes(run, steam, steamprobe, sandbox, media,
                                                 http_server, fixtures_dir):
    root = steam.root(sandbox / "ProgramFilesX86" / "Steam")
    config1 = account(root, "111")
    second, second_text = home_root(sandbox, steam.env)
    config2 = account(second, "222",
                      (fixtures_dir / "shortcuts-vdf" / "steam-2025-sortas.vdf").read_bytes())
    start_running_client(steam, steamprobe, root)
    before = snapshot(sandbox)

    r = run("--cli", "-y", "--dry-run", *ARGS, "--server-origin", media, extra_env=steam.env)
    grids = [win_path(config1 / "grid"), second_text + r"\userdata\222\config\grid"]
    assert (r.out, r.stderr, r.status) == (
        head(media, install_path(sandbox))
        + steam_stage_text(2, grids, stage_appid(sandbox), media, running=True, dry_run=True)
        + summary(True, False, False), b"", 0)
    assert snapshot(sandbox) == before
    assert steam.starts(root) == [[]]
    assert http_server.requests == []


def test_installing_twice_leaves_one_entry_per_account(run, sandbox, media, fixtures_dir):
    root = sandbox / "ProgramFilesX86" / "Steam"
    fixture = fixtures_dir / "shortcuts-vdf" / "steam-2022-lowercase-openvr.vdf"
    config = account(root, "111", fixture.read_bytes())
    for _ in range(2):
        r = run("--cli", "-y", *ARGS, "--server-origin", media)
        assert (r.stderr, r.status) == (b"", 0)
    after = vdf.dump(config / "shortcuts.vdf")
    assert after[:-1] == vdf.dump(fixture)
    assert_entry(after[-1], expected_entry(sandbox, config))


def test_unreadable_and_corrupt_files_are_left_untouched(wine, run, sandbox, media,
                                                        fixtures_dir):
    root = sandbox / "ProgramFilesX86" / "Steam"
    corrupt = (fixtures_dir / "shortcuts-vdf" / "corrupt-short-ints.vdf").read_bytes()
    locked = vdf.shortcuts_file(vdf.entry(appid=1, name="Mine", exe='"mine.exe"'))
    damaged = {account(root, "111", corrupt): corrupt, account(root, "222", locked): locked}
    fine = account(root, "333")
    holder = wine.start(wine.tool("filelock"), [win_path(root / "userdata/222/config/shortcuts.vdf")])
    holder.wait_for_output(b"locked\n")
    try:
        r = run("--cli", "-y", *ARGS, "--server-origin", media)
    finally:
        holder.wait(stdin=b"\n")

    # Standard output as for an installation without those accounts; standard error names
    # each account left alone, with the reason.
    assert (r.out, r.status) == (
        stage_only_text(media, sandbox,
                        steam_stage_text(1, [win_path(fine / "grid")], stage_appid(sandbox), media)), 0)
    shortcuts = [win_path(config / "shortcuts.vdf") for config in damaged]
    reasons = [vdf.parse_error(root / "userdata/111/config/shortcuts.vdf"), SHARING_VIOLATION]
    assert r.err == "".join(
        f"  [!] Left {debug_path(path)} untouched: it could not be read ({reason}). "
        "Marrowlane was not added to this Steam account.\n" for path, reason in zip(shortcuts, reasons))
    for config, original in damaged.items():
        assert (config / "shortcuts.vdf").read_bytes() == original
        assert sorted(p.name for p in config.iterdir()) == ["grid", "shortcuts.vdf"]
        assert list((config / "grid").iterdir()) == []
    assert [e["AppName"] for e in vdf.dump(fine / "shortcuts.vdf")] == ["Marrowlane"]


def test_a_page_in_place_of_artwork_keeps_the_earlier_grid_file(run, sandbox, media, http_server):
    # A portal answers one image with its sign-in page and status 200.
    http_server.serve("/media/steam/hero.png", b"<!doctype html><html><body>Sign in</body></html>")
    root = sandbox / "ProgramFilesX86" / "Steam"
    config = account(root, "111")
    grid = config / "grid"
    grid.mkdir(parents=True)
    appid = stage_appid(sandbox)
    (grid / f"{appid}_hero.png").write_bytes(png("the hero of an earlier installation"))
    r = run("--cli", "-y", *ARGS, "--server-origin", media)
    # Only the images that reached the grid folder are claimed; the page is named as a failure.
    assert (r.out, r.err, r.status) == (
        stage_only_text(media, sandbox, steam_stage_text(1, [win_path(grid)], appid, media,
                                                         failed=["Hero Banner"])),
        artwork_failed_text(media, ["Hero Banner"]), 0)
    assert (grid / f"{appid}_hero.png").read_bytes() == png("the hero of an earlier installation")
    assert (grid / f"{appid}p.png").read_bytes() == png("capsule.png bytes")
    assert sorted(p.name for p in grid.iterdir()) == sorted(
        [f"{appid}{suffix}" for _, suffix, _ in STEAM_ART] + [f"{appid}.json"])


def test_artwork_at_a_silent_server_still_reopens_steam(launch, wine, steam, steamprobe, sandbox,
                                                        http_server):
    # Steam is closed before the artwork is fetched: a server that accepts and never answers
    # may cost time, never the user's Steam.
    for source, _, _ in STEAM_ART:
        http_server.serve(f"/media/steam/{source}", b"never sent", behaviour="silent")
    origin = http_server.url("")
    root = steam.root(sandbox / "ProgramFilesX86" / "Steam")
    config = account(root, "111")
    start_running_client(steam, steamprobe, root)

    running = launch("--cli", "-y", *ARGS, "--server-origin", origin,
                     extra_env={**steam.env, "ML_TEST_DOWNLOAD_STALL_MS": "1000"}, timeout=120)
    wait_until(lambda: not running.running(), timeout=120)
    wait_until(lambda: len(steam.starts(root)) == 3, timeout=60)
    steam.close()
    result = running.wait_exit(timeout=120)

    # No image is claimed, and the summary does not claim the Steam library either.
    labels = [label for _, _, label in STEAM_ART]
    assert (result.stdout.decode(), result.stderr.decode(), result.status) == (
        stage_only_text(origin, sandbox,
                        steam_stage_text(1, [win_path(config / "grid")], stage_appid(sandbox),
                                         origin, running=True, failed=labels), listed=False),
        artwork_failed_text(origin, labels), 0)
    assert steam.starts(root) == [[], ['"-shutdown"'], []]
    assert list((config / "grid").iterdir()) == []
    # Each image was asked of all three methods, each of which gave up.
    artwork = [p for p in http_server.paths_requested() if p.startswith("/media/steam/")]
    assert len(artwork) == 3 * len(STEAM_ART)
    assert not {"curl.exe", "powershell.exe"} & set(wine.process_names())


def test_a_grid_folder_that_cannot_be_made_is_named_once(run, sandbox, media):
    # A file where an account's grid folder belongs: that account gets its shortcut but no
    # image, and says so once; the next account gets everything.
    root = sandbox / "ProgramFilesX86" / "Steam"
    blocked, fine = account(root, "111"), account(root, "222")
    blocked.mkdir()
    (blocked / "grid").write_bytes(b"not a folder")
    r = run("--cli", "-y", *ARGS, "--server-origin", media)
    grid = debug_path(win_path(blocked / "grid"))
    assert (r.out, r.status) == (
        stage_only_text(media, sandbox,
                        steam_stage_text(1, [win_path(fine / "grid")], stage_appid(sandbox), media)),
        0)
    (line,) = r.err.splitlines(keepends=True)
    assert line.startswith(f"  [!] Could not create the artwork folder {grid} (") and \
        line.endswith("). No artwork was deployed for this Steam account.\n"), line
    assert (blocked / "grid").read_bytes() == b"not a folder"
    assert [e["AppName"] for e in vdf.dump(blocked / "shortcuts.vdf")] == ["Marrowlane"]
    assert len(list((fine / "grid").iterdir())) == len(STEAM_ART) + 1  # and the logo position


def test_a_steam_nobody_has_signed_in_to_gets_nothing(run, sandbox, media, http_server):
    # userdata holds no account folder (only the one Steam keeps for no account): there is
    # no account to add the shortcut to, and the summary does not claim one.
    root = sandbox / "ProgramFilesX86" / "Steam"
    (root / "userdata" / "0").mkdir(parents=True)
    before = snapshot(root)
    r = run("--cli", "-y", *ARGS, "--server-origin", media)
    assert (r.out, r.stderr, r.status) == (
        stage_only_text(media, sandbox, steam_stage_text(1), listed=False), b"", 0)
    assert snapshot(root) == before
    assert not [p for p in http_server.paths_requested() if p.startswith("/media/")]


def test_the_logo_position_never_replaces_the_users(run, sandbox, media):
    # Steam shows a shortcut's logo only with "{id}.json" beside it. One the user saved with
    # Steam's "Adjust Logo Position" stays; one that cannot be written is named.
    root = sandbox / "ProgramFilesX86" / "Steam"
    appid = stage_appid(sandbox)
    fresh, placed, blocked = (account(root, n) for n in ("111", "222", "333"))
    users = b'{"nVersion":1,"logoPosition":{"pinnedPosition":"CenterCenter","nWidthPct":65,"nHeightPct":89}}'
    (placed / "grid").mkdir(parents=True)
    (placed / "grid" / f"{appid}.json").write_bytes(users)
    (blocked / "grid" / f"{appid}.json").mkdir(parents=True)
    r = run("--cli", "-y", *ARGS, "--server-origin", media)
    grids = [win_path(config / "grid") for config in (fresh, placed, blocked)]
    # No new console line: only the failure, on standard error.
    assert (r.out, r.err, r.status) == (
        stage_only_text(media, sandbox, steam_stage_text(1, grids, appid, media)),
        logo_position_failed(f"{grids[2]}\\{appid}.json", "a folder of that name is in the way"), 0)
    assert (fresh / "grid" / f"{appid}.json").read_bytes() == LOGO_POSITION
    assert (placed / "grid" / f"{appid}.json").read_bytes() == users
    assert list((blocked / "grid" / f"{appid}.json").iterdir()) == []
    assert (blocked / "grid" / f"{appid}_logo.png").read_bytes() == png("logo.png bytes")


def test_another_users_steam_holds_only_the_folder_it_runs_from(run, steam, sandbox, media):
    # A Steam of another Windows session whose program can be read (the same user signed in
    # twice) runs from one of two Steam folders: only that folder's accounts stay as they are.
    held = steam.root(sandbox / "ProgramFilesX86" / "Steam")
    account(held, "111", vdf.shortcuts_file(
        vdf.entry(appid=7, name="Other", exe='"C:\\Other\\other.exe"')))
    free, free_text = home_root(sandbox, steam.env)
    free_config = account(free, "222")
    steam.start_client(held)
    wait_until(lambda: steam.client_pids(held), timeout=60)
    before = snapshot(held)

    r = run("--cli", "-y", *ARGS, "--server-origin", media,
            extra_env=dict(steam.env, ML_TEST_OTHER_USER_PIDS=steam.client_pids(held)[0]))
    appid = stage_appid(sandbox)
    grid = free_text + r"\userdata\222\config\grid"
    assert (r.out, r.err, r.status) == (
        stage_only_text(media, sandbox, steam_stage_text(2, [grid], appid, media)),
        "  [!] Skipped the Steam library: a Steam of another Windows user or session runs from "
        f"{debug_path(win_path(held))} and would write over the change when it exits. Marrowlane "
        "was not added to its Steam accounts; run the setup again once that Steam has closed.\n",
        0)
    assert snapshot(held) == before
    assert steam.starts(held) == [[]]
    assert [e["AppName"] for e in vdf.dump(free_config / "shortcuts.vdf")] == ["Marrowlane"]
    assert (free_config / "grid" / f"{appid}.json").read_bytes() == LOGO_POSITION
