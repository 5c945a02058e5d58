"""One setup at a time: an installation and an uninstallation that overlap (Windows Settings
starting the installed copy's quiet uninstall while a fresh installation runs), two
installations at once, the removal of the folder that an uninstallation leaves to run after
its exit, and a setup that waits for another past its limit."""
from __future__ import annotations

import re
import time

import pytest

import vdf
from gui import poll
from harness import wait_until, win_path
from installer_text import PROGRESS_CLASS, debug_path, snapshot
from test_uninstaller import (KEY, install_folder, installed_setup, link_paths, put_account,
                              put_files, removal_copies, removals_ended, serve_product)


@pytest.fixture(scope="module")
def wine(wine_with_fakes):
    """The prefix with the stand-in tools: downloads need its curl."""
    return wine_with_fakes


@pytest.fixture
def clone(private_prefix):
    """A prefix of the test's own: it writes the uninstall key, and waits for the end of every
    removal running in it."""
    return private_prefix


# The files of a complete installation.
INSTALLED = ["Marrowlane-Setup.exe", "WebView2Loader.dll", "config.json", "marrowlane.exe",
             "marrowlane.ico", "marrowlane.png"]
HOLDER = r"process [0-9]+, an (installation|uninstallation)"
WAITING = r"\[\*\] Waiting for another Marrowlane setup \(process [0-9]+, an {run}\) to finish"


def profile(sandbox):
    """A profile as Windows makes it, with one Steam account that has no shortcuts yet."""
    for folder in ("AppData/Microsoft/Windows/Start Menu/Programs", "Profile/Desktop"):
        (sandbox / folder).mkdir(parents=True, exist_ok=True)
    return put_account(sandbox, "111", None, [])


def end_state(w, sandbox, config, local=None) -> str:
    """"installed" or "removed" when every part agrees; otherwise what is there and what not.
    local: the LOCALAPPDATA folder when it is not the sandbox's own."""
    folder = (local or sandbox / "LocalAppData") / "Marrowlane"
    files = sorted(p.name for p in folder.iterdir()) if folder.exists() else []
    entry = w.wine(["reg", "query", KEY, "/v", "UninstallString"])
    steam = config / "shortcuts.vdf"
    parts = {
        "files": files == INSTALLED,
        "entry": entry.returncode == 0,
        "links": [link.exists() for link in link_paths(sandbox)] == [True, True],
        "steam": steam.exists() and [e["AppName"] for e in vdf.dump(steam)] == ["Marrowlane"],
    }
    gone = not folder.exists() and not any(link.exists() for link in link_paths(sandbox)) and \
        entry.returncode == 1 and (not steam.exists() or vdf.dump(steam) == [])
    if all(parts.values()):
        return "installed"
    if gone:
        return "removed"
    return f"a mix: {parts}, files {files}"


@pytest.mark.parametrize("first, delay", [("uninstall", 0.0), ("uninstall", 1.5),
                                          ("both held", 0.0)])
def test_an_installation_and_an_uninstallation_at_once_end_whole(clone, env, sandbox,
                                                                 http_server, first, delay):
    # Windows Settings starts the installed copy's quiet removal while a fresh installation
    # runs. The removal that the uninstallation leaves to run after its exit used to delete
    # the installation's files after it had reported success. With "both held", each stops
    # at its first console line, which it writes once it holds the lock: the one that takes
    # the lock first keeps it there, so the two surely overlap whichever starts its work first
    # (on a busy machine, the uninstallation started second can be done before the
    # installation has begun).
    origin = serve_product(http_server, clone)
    config = profile(sandbox)
    install_args = ["--cli", "-y", "--server-origin", origin]
    assert clone.run(clone.exe, install_args, env=env, cwd=sandbox / "cwd").status == 0
    assert end_state(clone, sandbox, config) == "installed"
    setup_copy = sandbox / "LocalAppData" / "Marrowlane" / "Marrowlane-Setup.exe"

    def start(name):
        program, args = {"uninstall": (setup_copy, ["--uninstall", "--cli", "-y"]),
                         "install": (clone.exe, install_args)}[name]
        return clone.start(program, args, env=env, cwd=sandbox / "cwd", timeout=300,
                           gate_stdout=first == "both held")

    running = {}
    for name in (["uninstall", "install"] if first == "uninstall" else ["install", "uninstall"]):
        running[name] = start(name)
        time.sleep(delay)
    if first == "both held":
        assert poll(lambda: any(b"[*] Waiting for another" in r.stderr_so_far()
                                for r in running.values()), timeout=120), \
            {name: r.stderr_so_far() for name, r in running.items()}
        for r in running.values():
            r.release_stdout()
    results = {name: run.wait() for name, run in running.items()}
    assert [results[name].status for name in ("install", "uninstall")] == [0, 0], results
    wait_until(lambda: removals_ended(clone), timeout=240)

    state = end_state(clone, sandbox, config)
    assert state in ("installed", "removed"), (state, results)
    # The one that waited ran last, and its work is what stays.
    waited = [name for name, r in results.items() if "[*] Waiting for another" in r.err]
    assert len(waited) == 1 if first == "both held" else len(waited) <= 1, results
    if waited:
        other = {"install": "uninstallation", "uninstall": "installation"}[waited[0]]
        assert re.search(WAITING.format(run=other), results[waited[0]].err), results
        assert state == {"install": "installed", "uninstall": "removed"}[waited[0]]
    if state == "installed":
        assert "Installation Completed Successfully!" in results["install"].out


def test_two_installations_take_turns(wine, launch, env, sandbox, http_server, uninstall_key):
    origin = serve_product(http_server, wine)
    config = profile(sandbox)
    args = ["--cli", "-y", "--server-origin", origin]
    # Each stops at its first console line, which it writes once it holds the lock: the one
    # that takes the lock first keeps it there, and the other waits, whichever starts first.
    first = launch(*args, gate_stdout=True, timeout=300)
    second = launch(*args, gate_stdout=True, timeout=300)
    assert poll(lambda: b"[*] Waiting for another" in first.stderr_so_far() +
                second.stderr_so_far(), timeout=120), (first.stderr_so_far(),
                                                       second.stderr_so_far())
    first.release_stdout()
    second.release_stdout()
    results = [first.wait(), second.wait()]
    assert [r.status for r in results] == [0, 0], results
    waited = [r for r in results if "[*] Waiting for another" in r.err]
    assert len(waited) == 1, results
    assert re.match(WAITING.format(run="installation") + r"\.\.\.\n", waited[0].err), waited[0].err
    assert all("Installation Completed Successfully!" in r.out for r in results), results
    assert end_state(wine, sandbox, config) == "installed"


@pytest.fixture
def uninstall_key(wine):
    """The shared prefix holds no uninstall entry before or after the test."""
    wine.wine(["reg", "delete", KEY, "/f"])
    yield KEY
    wine.wine(["reg", "delete", KEY, "/f"])


def hold_setup_lock(w):
    """Holds the setup lock as an installation of ours does, until the returned program is
    given a line."""
    holder = w.start(w.tool("filelock"), ["--setup-lock"])
    holder.wait_for_output(b"locked\n")
    return holder


BANNER = "=" * 54 + "\n Marrowlane - System Uninstaller" + " " * 21 + "\n" + "=" * 54 + "\n"
BUSY = (r"another Marrowlane setup \(process [0-9]+, an installation\) has been running for over "
        r"1 second")


@pytest.mark.parametrize("which", ["installation", "uninstallation"])
def test_a_setup_kept_waiting_past_its_limit_changes_nothing(wine, run, sandbox, http_server,
                                                             uninstall_key, which):
    origin = serve_product(http_server, wine)
    config = profile(sandbox)
    if which == "uninstallation":
        installed = run("--cli", "-y", "--server-origin", origin)
        assert installed.status == 0, installed
    before = snapshot(sandbox)
    entry_before = wine.wine(["reg", "query", KEY]).stdout
    requests_before = len(http_server.requests)
    args = {"installation": ["--cli", "-y", "--server-origin", origin],
            "uninstallation": ["--uninstall", "--cli", "-y"]}[which]
    holder = hold_setup_lock(wine)
    try:
        r = run(*args, extra_env={"ML_TEST_SETUP_LOCK_MS": "1000"}, timeout=120)
    finally:
        holder.wait(stdin=b"\n")
    waiting = WAITING.format(run="installation") + r"\.\.\.\n"
    if which == "installation":
        assert (r.out, r.status) == ("", 1), r
        assert re.fullmatch(waiting + r'Error: Custom \{ kind: Other, error: "Nothing was '
                            r'installed: ' + BUSY + r'\. Run the setup again once it has '
                            r'finished\." \}\n', r.err), r.err
    else:
        assert (r.out, r.status) == (BANNER, 0), r
        assert re.fullmatch(waiting + r"\[!\] Nothing was removed: " + BUSY + r"\. Run the "
                            r"uninstaller again once it has finished\.\n", r.err), r.err
    assert snapshot(sandbox) == before
    assert wine.wine(["reg", "query", KEY]).stdout == entry_before
    assert len(http_server.requests) == requests_before
    assert end_state(wine, sandbox, config) == {"installation": "removed",
                                                "uninstallation": "installed"}[which]


@pytest.mark.parametrize("which", ["installation", "uninstallation"])
def test_the_progress_window_says_that_it_waits(wine, launch, gui, sandbox, http_server,
                                                uninstall_key, which):
    origin = serve_product(http_server, wine)
    args, title = {"installation": (["-y", "--no-steam", "--server-origin", origin],
                                    "Marrowlane Setup"),
                   "uninstallation": (["--uninstall", "-y"], "Marrowlane Uninstaller")}[which]
    holder = hold_setup_lock(wine)
    try:
        running = launch(*args, timeout=180)
        running.wait_for_output(b"[*] Waiting for another Marrowlane setup (process ",
                                stream="stderr")
        window = gui.wait(PROGRESS_CLASS, title)
        status = poll(lambda: [c.text for c in gui.controls(window)][1:2] ==
                      ["Waiting for another Marrowlane setup to finish..."])
        assert status, gui.controls(window)
        assert running.stdout_so_far() == b""
    finally:
        holder.wait(stdin=b"\n")
    result = running.wait_exit()
    assert result.status == 0, result
    assert result.out.startswith("=" * 54), result


# User names that a command line or cmd would mangle: the mark that keeps setups away from a
# pending removal is named after the folder, and the removal itself passes no name to cmd.
PROFILE_NAMES = ["J\u00f6rg & Ann (50%)", "\u6d4b\u8bd5!^ \u00dc", "a%OS%b's,;=x"]


@pytest.mark.parametrize("name", PROFILE_NAMES)
def test_an_installation_waits_for_the_removal_an_uninstallation_left(clone, env, sandbox,
                                                                      http_server, name):
    # The installed copy's uninstallation cannot remove its own image, nor a save file that a
    # still running game holds: a removal that runs after its exit takes them once released.
    # An installation started 3 seconds later waits for that removal, or it would lose its
    # own files to it.
    origin = serve_product(http_server, clone)
    config = profile(sandbox)
    local = sandbox / "Users" / name / "AppData" / "Local"
    siblings = ["Marrowlane.txt", "Marrowlane2/keep.txt", "Marrowlane (old)/notes.txt",
                "OS/x.txt"]
    put_files(local, siblings)
    env = {**env, "LOCALAPPDATA": win_path(local), "OS": "Marrowlane"}
    install_args = ["--cli", "-y", "--server-origin", origin]
    assert clone.run(clone.exe, install_args, env=env, cwd=sandbox / "cwd").status == 0
    folder = local / "Marrowlane"
    put_files(folder, ["saves/slot1.dat"])
    held = folder / "saves" / "slot1.dat"
    holder = clone.start(clone.tool("filelock"), [win_path(held)])
    holder.wait_for_output(b"locked\n")
    try:
        removal = clone.run(folder / "Marrowlane-Setup.exe", ["--uninstall", "--cli", "-y"],
                            env=env, cwd=sandbox / "cwd")
        assert removal.status == 0, removal
        assert debug_path(win_path(held)) in removal.err, removal.err
        time.sleep(3)
        left = snapshot(sandbox)
        # Past its limit it gives up before touching anything.
        refused = clone.run(clone.exe, install_args, env={**env, "ML_TEST_SETUP_LOCK_MS": "1500"},
                            cwd=sandbox / "cwd")
        assert (refused.out, refused.status) == ("", 1), refused
        assert re.fullmatch(
            r"\[\*\] Waiting for another Marrowlane setup \(process [0-9]+, an uninstallation\) "
            r"to finish removing " + re.escape(debug_path(win_path(folder))) + r"\.\.\.\n"
            r'Error: Custom \{ kind: Other, error: "Nothing was installed: another Marrowlane '
            r"setup \(process [0-9]+, an uninstallation\) has been removing the application "
            r'folder for over 1500 ms\. Run the setup again once it has finished\." \}\n',
            refused.err), refused.err
        assert snapshot(sandbox) == left
        # With time to wait, it waits until the game lets go and the removal is done.
        reinstall = clone.start(clone.exe, install_args, env=env, cwd=sandbox / "cwd",
                                timeout=300)
        reinstall.wait_for_output(b"to finish removing ", stream="stderr")
        assert reinstall.stdout_so_far() == b""
    finally:
        holder.wait(stdin=b"\n")
    result = reinstall.wait()
    assert result.status == 0, result
    wait_until(lambda: removals_ended(clone), timeout=240)
    assert end_state(clone, sandbox, config, local) == "installed"
    assert sorted(str(p.relative_to(local)) for p in local.rglob("*") if p.is_file()) == sorted(
        siblings + [f"Marrowlane/{f}" for f in INSTALLED])


def squat(w, *objects: str):
    """Makes the setup's named objects first, as any program of the session can, and holds
    them until the returned program is given a line (tests/tools/squatter.cpp)."""
    squatter = w.start(w.tool("squatter"), list(objects))
    squatter.wait_for_output(b"held\n")
    return squatter


# A descriptor that lets only the system in: what a name made first by another account's
# program, or by an elevated one with its default descriptor, looks like to the user's runs.
SYSTEM_ONLY = "D:P(A;;GA;;;SY)"
HOSTILE_HOLDER = "process 1, an installation%1b[2J%0d%0aError: fake"
SHOWN_HOLDER = "process 1, an installation?[2J??Error: fake"


@pytest.mark.parametrize("squatted", ["a lock it cannot open", "a removal mark it cannot open",
                                      "a holder naming itself with control characters"])
def test_what_answers_to_the_setups_names_is_not_trusted(wine, run, sandbox, http_server,
                                                         uninstall_key, squatted):
    # A name that cannot be opened is taken or pending, not free: taken for free, the
    # installation would work on a folder that a removal may still be emptying. And what a
    # holder says of itself reaches the console as printable text only.
    origin = serve_product(http_server, wine)
    profile(sandbox)
    folder = debug_path(win_path(sandbox / "LocalAppData" / "Marrowlane"))
    objects, waiting, busy = {
        "a lock it cannot open": (
            ["--sddl", SYSTEM_ONLY, "--mutex", r"Local\Marrowlane-Setup"],
            "[*] Waiting for another Marrowlane setup to finish...\n",
            "another Marrowlane setup has been running for over 1500 ms"),
        "a removal mark it cannot open": (
            ["--sddl", SYSTEM_ONLY, "--mark", win_path(sandbox / "LocalAppData" / "Marrowlane")],
            f"[*] Waiting for another Marrowlane setup to finish removing {folder}...\n",
            "another Marrowlane setup has been removing the application folder for over 1500 ms"),
        "a holder naming itself with control characters": (
            ["--mutex", r"Local\Marrowlane-Setup", "--section", r"Local\Marrowlane-Setup-Holder",
             HOSTILE_HOLDER],
            f"[*] Waiting for another Marrowlane setup ({SHOWN_HOLDER}) to finish...\n",
            f"another Marrowlane setup ({SHOWN_HOLDER}) has been running for over 1500 ms"),
    }[squatted]
    before = snapshot(sandbox)
    squatter = squat(wine, *objects)
    try:
        r = run("--cli", "-y", "--server-origin", origin,
                extra_env={"ML_TEST_SETUP_LOCK_MS": "1500"}, timeout=120)
    finally:
        squatter.wait(stdin=b"\n")
    assert (r.out, r.status) == ("", 1), r
    assert r.err == (waiting + 'Error: Custom { kind: Other, error: "Nothing was installed: '
                     f'{busy}. Run the setup again once it has finished." }}\n'), r.err
    assert snapshot(sandbox) == before


def test_a_removal_mark_another_program_made_is_handed_nothing(wine, launch, sandbox,
                                                               uninstall_key):
    # Another program makes the mark while the uninstallation works, after it has looked for
    # one (here while it waits for Steam's files): it may keep the mark for ever, or drop it
    # while the folder is still being emptied. No removal starts under it: what the
    # uninstallation could not remove stays, and is named, its own copy included.
    profile(sandbox)
    folder = install_folder(sandbox / "LocalAppData")
    copies = removal_copies(wine)
    steam_lock = wine.start(wine.tool("filelock"), ["--steam-lock"])
    steam_lock.wait_for_output(b"locked\n")
    squatter = None
    try:
        running = launch("--uninstall", "--cli", "-y", program=installed_setup(folder, wine),
                         timeout=180)
        running.wait_for_output(b"[*] Waiting for another Marrowlane run", stream="stderr")
        squatter = squat(wine, "--mark", win_path(folder))
    finally:
        steam_lock.wait(stdin=b"\n")
    try:
        r = running.wait_exit()
    finally:
        squatter.wait(stdin=b"\n")
    own = debug_path(win_path(folder / "Marrowlane-Setup.exe"))
    assert r.status == 0, r
    assert r.err.endswith(f"[!] Not removed yet, still in use: {own}. Close Marrowlane and run "
                          "the uninstaller again to remove them.\n"), r.err
    assert removal_copies(wine) == copies
    assert [p.name for p in folder.iterdir()] == ["Marrowlane-Setup.exe"]
