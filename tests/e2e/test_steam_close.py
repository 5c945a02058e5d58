"""The installation and the uninstallation around a Steam that takes its time to close and one
that cannot be closed at all. Steam keeps its shortcut list in memory and writes
shortcuts.vdf itself when it exits: nothing of Steam's may change while it runs."""
from __future__ import annotations

import pathlib

import pytest

import vdf
from harness import wait_until, win_path
from installer_text import (PROGRESS_CLASS, STEAM_ART, png, snapshot, summary,
                            without_wine_notes)


@pytest.fixture(scope="module")
def wine(wine_with_fakes):
    return wine_with_fakes


STEAM = pathlib.Path("ProgramFilesX86") / "Steam"
RUNS = {"installation": ["--no-desktop", "--no-menu"], "uninstallation": ["--uninstall"]}
NOT_CLOSED = ("  [!] Skipped the Steam library: Steam could not be closed (it may be running as "
              "administrator). ")
NOT_CLOSED_LINE = {
    "installation": NOT_CLOSED + "Marrowlane was not added to Steam; close Steam and run the "
                                 "setup again to add it.\n",
    "uninstallation": NOT_CLOSED + "Its Marrowlane entries were not removed; close Steam and run "
                                   "the uninstaller again to remove them.\n",
}
WAIT_TEXT = "Waiting up to 30 seconds for Steam to close..."
HELD = "  [!] Skipped the Steam library: a Steam of another Windows user or session runs "
HELD_END = {
    "installation": "and would write over the change when it exits. Marrowlane was not added to "
                    "its Steam accounts; run the setup again once that Steam has closed.\n",
    "uninstallation": "and would write over the change when it exits. The Marrowlane entries of "
                      "its Steam accounts were not removed; run the uninstaller again once that "
                      "Steam has closed.\n",
}


def steam_with_account(fake_steam, sandbox):
    """A Steam root with one account holding another program's shortcut and an old
    Marrowlane entry with its artwork; returns the root and the account's config folder."""
    root = fake_steam.root(sandbox / STEAM)
    config = root / "userdata" / "111" / "config"
    (config / "grid").mkdir(parents=True)
    (config / "shortcuts.vdf").write_bytes(vdf.shortcuts_file(
        vdf.entry(appid=7, name="Other", exe='"C:\\Other\\other.exe"'),
        vdf.entry(appid=3000000001, name="Marrowlane", exe='"C:\\Old\\marrowlane.exe"')))
    (config / "grid" / "3000000001p.png").write_bytes(b"artwork")
    return root, config


@pytest.fixture
def origin(http_server):
    """The distribution server with the five Steam images (and no runner)."""
    for source, _, _ in STEAM_ART:
        http_server.serve(f"/media/steam/{source}", png(f"{source} bytes"))
    return http_server.url("")


def assert_steam_step_not_claimed(r, which, sandbox, origin):
    """The closing lines list what was done: the Steam step is not among it (nor a runner:
    this server has none)."""
    if which == "installation":
        folder = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
        assert r.out.endswith(summary(False, False, False, missing_runner=(folder, origin)))
    else:
        assert "Steam library entries removed" not in r.out
        assert r.out.endswith("  Marrowlane has been uninstalled, except for its Steam Library "
                              "entries.\n" + "=" * 54 + "\n")


def status_texts(gui) -> list[str]:
    window = gui.find(PROGRESS_CLASS)
    return [c.text for c in gui.controls(window)] if window else []


@pytest.mark.parametrize("which", RUNS)
def test_a_steam_that_takes_its_time_closes_by_itself_first(launch, gui, fake_steam, sandbox,
                                                           origin, which):
    # The real client needs several seconds to close (its web helpers, cloud sync): this one
    # takes 12. It must be allowed to finish, and only then may its files change.
    root, config = steam_with_account(fake_steam, sandbox)
    size = (config / "shortcuts.vdf").stat().st_size
    fake_steam.env["FAKESTEAM_WATCH"] = win_path(config / "shortcuts.vdf")
    fake_steam.start_client(root, shutdown_delay_ms=12_000)
    wait_until(lambda: fake_steam.starts(root), timeout=60)

    # With the progress window (-y asks nothing); a short life for the restarted client,
    # which holds the run's standard error under Wine.
    running = launch(*RUNS[which], "-y", "--server-origin", origin, timeout=180,
                     extra_env=dict(fake_steam.env, FAKESTEAM_LIFETIME_MS="3000"))
    wait_until(lambda: "closing 1" in fake_steam.events(), timeout=120)
    # The window says what it waits for while Steam closes.
    wait_until(lambda: WAIT_TEXT in status_texts(gui), timeout=10)
    result = running.wait_exit(timeout=180)
    assert (without_wine_notes(result.stderr), result.status) == ("", 0)
    assert "  [*] Closing Steam...\n" in result.out and "  [*] Reopening Steam...\n" in result.out

    wait_until(lambda: len(fake_steam.starts(root)) == 3, timeout=60)
    # Asked, closed by itself with its file as it was, then started again; never ended.
    assert fake_steam.events()[:6] == ["start 1", "start 2 -shutdown", "closing 1",
                                       f"watch 1 {size}", "exit 1 shutdown", "start 3"]
    names = [e["AppName"] for e in vdf.dump(config / "shortcuts.vdf")]
    assert names == (["Other", "Marrowlane"] if which == "installation" else ["Other"])


@pytest.mark.parametrize("which", RUNS)
def test_a_steam_that_cannot_be_ended_keeps_its_files(run, steamprobe, fake_steam, sandbox,
                                                      origin, which):
    # A Steam started as administrator ignores a standard user's kill; here it also stays
    # after the request. Whatever the run wrote, Steam would write over when it exits.
    root, config = steam_with_account(fake_steam, sandbox)
    fake_steam.start_client(root, ignore_shutdown=True, unkillable=True)
    wait_until(lambda: "unkillable 1" in fake_steam.events(), timeout=60)
    before = snapshot(sandbox / STEAM)
    original = (config / "shortcuts.vdf").read_bytes()

    r = run(*RUNS[which], "--cli", "-y", "--server-origin", origin, timeout=180,
            extra_env=dict(fake_steam.env, ML_TEST_STEAM_CLOSE_MS="1000"))
    assert (without_wine_notes(r.stderr), r.status) == (NOT_CLOSED_LINE[which], 0)
    assert snapshot(sandbox / STEAM) == before
    assert (config / "shortcuts.vdf").read_bytes() == original
    # Not started a second time, and still the one that ran before.
    assert fake_steam.starts(root) == [[], ['"-shutdown"']]
    assert steamprobe("running", extra_env=fake_steam.env).out == "true\n"
    assert "  [*] Closing Steam...\n" in r.out and "Reopening Steam" not in r.out
    assert_steam_step_not_claimed(r, which, sandbox, origin)


@pytest.mark.parametrize("which", RUNS)
def test_another_users_steam_keeps_every_folder_it_may_run_from(run, fake_steam, sandbox, origin,
                                                               which):
    # Another Windows user, signed in too, runs Steam from the shared Steam folder and writes
    # its account's list back when it exits. A standard user's setup sees it only in a process
    # snapshot (the session list leaves it out) and cannot open it to learn its folder.
    root, config = steam_with_account(fake_steam, sandbox)
    fake_steam.start_client(root, private=True)
    wait_until(lambda: "private 1" in fake_steam.events(), timeout=60)
    before = snapshot(sandbox / STEAM)

    other = ",".join(fake_steam.client_pids(root))
    r = run(*RUNS[which], "--cli", "-y", "--server-origin", origin, timeout=180,
            extra_env=dict(fake_steam.env, ML_TEST_OTHER_USER_PIDS=other))
    assert (without_wine_notes(r.stderr), r.status) == (
        HELD + "(from a folder this setup may not see) " + HELD_END[which], 0)
    assert snapshot(sandbox / STEAM) == before
    # Neither asked to close nor ended, and not started a second time.
    assert fake_steam.starts(root) == [[]]
    assert fake_steam.clients[0].running()
    assert "Closing Steam" not in r.out and "Reopening Steam" not in r.out
    assert_steam_step_not_claimed(r, which, sandbox, origin)
