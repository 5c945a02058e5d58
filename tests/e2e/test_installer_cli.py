"""The installer in a terminal (--cli), unattended (-y) and its folder and origin rules."""
import shutil
import time

import pytest

from harness import refused_url, win_path
from installer_text import (PROMPT, head, installation_text, snapshot, steam_stage_text, summary,
                            without_wine_notes)


@pytest.fixture(autouse=True)
def origin(env) -> str:
    """A distribution server that refuses every connection at once (the default origin is
    out of reach here): downloads fail and the installation goes on without them."""
    env["SERVER_ORIGIN"] = refused_url("").rstrip("/")
    return env["SERVER_ORIGIN"]


# Hidden windows that COM, the URL download service and the input method make for their own
# messages; a window of theirs is often gone before its class can be read ("").
SYSTEM_HELPER_CLASSES = {"OleMainThreadWndClass", "URL Moniker Notification Window", "IME",
                         "MSCTFIME UI", ""}


def own_windows(created):
    """Windows that the setup created, or that nobody could be told apart from it (the
    creator already gone), apart from the system's hidden helper windows."""
    return [w for w in created if w["exe"] in ("Marrowlane-Setup.exe", "")
            and w["class"] not in SYSTEM_HELPER_CLASSES]


def test_terminal_run_has_no_window_and_waits_for_one_line(launch, gui, sandbox, env, origin):
    install_path = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    expected = installation_text(origin, install_path, env, runner="failed",
                                 steam_text=steam_stage_text(enabled=False)) + PROMPT
    seen_visible = []
    with gui.watch() as watch:
        running = launch("--cli")
        # Look at the screen while the run works and while it waits.
        while not running.stdout_so_far().endswith(PROMPT.encode()):
            seen_visible += [w for w in gui.visible() if w.exe == "Marrowlane-Setup.exe"]
            assert running.running(), running.wait()
        time.sleep(0.5)
        assert running.running(), "the run ended without waiting for Enter"
        seen_visible += [w for w in gui.visible() if w.exe == "Marrowlane-Setup.exe"]
        running.send(b"\n")
        result = running.wait_exit(timeout=120)
    assert (result.stdout.decode(), without_wine_notes(result.stderr), result.status) == (
        expected, "", 0)
    assert seen_visible == []
    assert own_windows(watch.created) == []
    assert (sandbox / "LocalAppData" / "Marrowlane").is_dir()


def test_terminal_unattended_run_neither_asks_nor_waits(launch, gui, sandbox, env, origin):
    (sandbox / "ProgramFilesX86" / "Steam").mkdir()
    install_path = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    with gui.watch() as watch:
        running = launch("--cli", "-y", "--no-menu")
        # Standard input stays open: the run must end on its own.
        result = running.wait_exit(timeout=120)
    # Steam is found, but nobody has signed in to it yet: no account, so the summary does not
    # claim the library.
    expected = installation_text(origin, install_path, env, steam=False, start_menu=False,
                                 runner="failed", steam_text=steam_stage_text(1))
    assert (result.stdout.decode(), without_wine_notes(result.stderr), result.status) == (
        expected, "", 0)
    assert own_windows(watch.created) == []


def test_end_of_input_ends_the_wait(run):
    r = run("--cli", "--dry-run", input=b"")
    assert r.status == 0
    assert r.stdout.decode().endswith(PROMPT)


def test_dry_run_creates_no_folder_but_lists_everything(run, sandbox, origin):
    before = snapshot(sandbox)
    r = run("--cli", "-y", "--dry-run")
    install_path = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    assert r.stdout.decode() == (head(origin, install_path) + steam_stage_text(enabled=False)
                                 + summary(False, True, True))
    assert snapshot(sandbox) == before


def test_install_dir_is_used_unchanged(run, sandbox, origin):
    target = win_path(sandbox / "my games") + "\\ML dir"
    r = run("--cli", "-y", "--install-dir", target)
    assert r.status == 0, r
    assert r.stdout.decode().startswith(head(origin, target))
    assert (sandbox / "my games" / "ML dir").is_dir()
    assert not (sandbox / "my games" / "ML dir" / "Marrowlane").exists()
    assert not (sandbox / "LocalAppData" / "Marrowlane").exists()


@pytest.mark.parametrize("given, expected", [
    ("", "LocalAppData\\Marrowlane"),  # empty counts as not given, not as the current folder
    ("rel\\ML. .", "cwd\\rel\\ML"),   # relative: absolute, named as Windows creates it
])
def test_install_dir_empty_or_relative_becomes_a_full_path(run, sandbox, origin, given, expected):
    r = run("--cli", "-y", "--dry-run", "--install-dir", given)
    assert r.status == 0, r
    assert r.stdout.decode().startswith(
        head(origin, win_path(sandbox) + "\\" + expected))


@pytest.mark.parametrize("local_app_data", [None, ""], ids=["unset", "empty"])
def test_without_localappdata_the_folder_is_under_c(run, wine, local_app_data):
    folder = wine.prefix / "drive_c" / "Marrowlane"
    shutil.rmtree(folder, ignore_errors=True)
    try:
        r = run("--cli", "-y", extra_env={"LOCALAPPDATA": local_app_data})
        assert r.status == 0, r
        assert f'Install Path:     "C:\\\\Marrowlane\\\\Marrowlane"\n' in r.stdout.decode()
        assert (folder / "Marrowlane").is_dir()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


@pytest.mark.parametrize("args, server_origin, shown", [
    (["--server-origin", "https://example.test/"], None, "https://example.test"),
    (["--server-origin", "https://example.test///"], None, "https://example.test"),
    ([], "http://127.0.0.1:8080/mirror//", "http://127.0.0.1:8080/mirror"),
    (["--server-origin", "///"], None, ""),
    (["--server-origin", "https://example.test\\"], None, "https://example.test\\"),
])
def test_server_origin_loses_trailing_slashes(run, args, server_origin, shown):
    r = run("--cli", "-y", "--dry-run", *args, extra_env={"SERVER_ORIGIN": server_origin})
    assert r.status == 0, r
    assert f"Server Origin:    {shown}\n" in r.stdout.decode()


def test_folder_that_cannot_be_created_fails_in_a_terminal(launch, gui, sandbox, origin):
    (sandbox / "blocker").write_text("a file where a folder should be")
    target = win_path(sandbox / "blocker") + "\\sub"
    # Without -y, but in a terminal: the error line is the report, and no box is shown.
    with gui.watch() as watch:
        r = launch("--cli", "--install-dir", target).wait_exit(timeout=120)
    assert own_windows(watch.created) == []
    assert r.status == 1
    assert r.stdout.decode() == head(origin, target)
    assert r.stderr.decode().startswith("Error: Os { code: ")


def test_folder_past_the_path_limit_is_refused_before_anything_is_written(run, wine, sandbox):
    # About 300 characters: the runner, its shortcuts and the uninstall command could never
    # be started from there (no program involved is long-path aware).
    target = win_path(sandbox / ("a" * 110) / ("b" * 110)) + "\\Marrowlane"
    folder = len(target)
    assert folder > 290
    key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Marrowlane"
    wine.wine(["reg", "delete", key, "/f"])
    before = snapshot(sandbox)
    r = run("--cli", "-y", "--install-dir", target)
    message = (f"Installation folder too long: {target} ({folder} characters). Paths in it "
               f"would reach {folder + 56} characters, more than the 259 that Windows allows "
               "programs and shortcuts (MAX_PATH); choose a folder of at most 203 characters.")
    assert (r.out, r.err, r.status) == (
        "", 'Error: Custom { kind: InvalidInput, error: "' + message.replace("\\", "\\\\") +
        '" }\n', 1)
    assert snapshot(sandbox) == before
    assert wine.wine(["reg", "query", key]).returncode == 1

