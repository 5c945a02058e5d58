"""The installer's windows as a user meets them: options dialog, progress window, final box."""
import re
import shutil
import zlib

import pytest

from gui import poll
from harness import refused_url, unix_path, win_path
from installer_text import (CANCELLED, COMPLETE_TITLE, FAILED_TITLE, INCOMPLETE_TITLE,
                            OPTIONS_CLASS, PROGRESS_CLASS, STEAM_ART, STEAM_DETECTED,
                            STEAM_MISSING, UNINSTALL_SUBKEY, completion_text, debug_path,
                            desktop_lnk, head, installation_text, png, snapshot,
                            start_menu_lnk, steam_stage_text, summary, without_wine_notes)

SCREEN = (1280, 1024)  # the virtual display of scripts/wine-session


@pytest.fixture(autouse=True)
def origin(env) -> str:
    """A distribution server that refuses every connection at once (the default origin is
    out of reach here)."""
    env["SERVER_ORIGIN"] = refused_url("").rstrip("/")
    return env["SERVER_ORIGIN"]


def centred(width, height):
    return ((SCREEN[0] - width) // 2, (SCREEN[1] - height) // 2)


def make_steam_root(sandbox):
    # The default folder under ProgramFiles(x86) is one that Steam discovery always checks.
    (sandbox / "ProgramFilesX86" / "Steam").mkdir()


@pytest.mark.parametrize("steam", [True, False], ids=["steam", "no-steam"])
def test_options_dialog_at_start(launch, gui, sandbox, steam):
    if steam:
        make_steam_root(sandbox)
    running = launch()
    dialog = gui.wait(OPTIONS_CLASS)
    assert dialog.title == "Marrowlane Setup"
    assert dialog.exe == "Marrowlane-Setup.exe"
    assert (dialog.x, dialog.y, dialog.width, dialog.height) == (*centred(500, 250), 500, 250)
    # Caption, system menu and minimise box; no maximise box, no sizing frame.
    assert dialog.style & 0x00FF0000 == 0x00CA0000

    controls = [(c.cls.upper(), c.text, c.id, c.style, c.rect, c.check) for c in gui.controls(dialog)]
    assert controls == [
        ("STATIC", "Select the components you want to install for Marrowlane:", 0, 0x50000080,
         (24, 18, 440, 24), None),
        ("BUTTON", "Create Start Menu shortcut", 101, 0x50010003, (32, 52, 430, 24), 1),
        ("BUTTON", "Create Desktop shortcut", 102, 0x50010003, (32, 84, 430, 24), 1),
        ("BUTTON", STEAM_DETECTED if steam else STEAM_MISSING, 103, 0x50010003,
         (32, 116, 430, 24), 1 if steam else 0),
        ("BUTTON", "Install", 1, 0x50010001, (255, 165, 105, 30), 0),
        ("BUTTON", "Cancel", 2, 0x50010000, (370, 165, 95, 30), 0),
    ]
    if steam:
        gui.screenshot("options-dialog", dialog)
    gui.click(gui.control(dialog, id=2))
    assert running.wait(timeout=120).stdout == CANCELLED


@pytest.mark.parametrize("how", ["cancel", "escape", "alt+f4", "close box"])
def test_cancelling_prints_one_line_and_writes_nothing(launch, gui, wine, sandbox, how):
    make_steam_root(sandbox)
    before = snapshot(sandbox)
    running = launch()
    dialog = gui.wait(OPTIONS_CLASS)
    if how == "cancel":
        gui.click(gui.control(dialog, text="Cancel"))
    elif how == "close box":
        gui.close_box(dialog)
    else:
        gui.key(dialog, how)
    result = running.wait(timeout=120)
    assert (result.stdout, result.stderr, result.status) == (CANCELLED, b"", 0)
    assert snapshot(sandbox) == before
    assert not (wine.prefix / "drive_c" / "Marrowlane").exists()


def test_install_with_desktop_unchecked(launch, gui, sandbox, env, http_server):
    # One Steam account, and a server with nothing but the Steam images.
    make_steam_root(sandbox)
    account = sandbox / "ProgramFilesX86" / "Steam" / "userdata" / "111"
    account.mkdir(parents=True)
    for source, _, _ in STEAM_ART:
        http_server.serve(f"/media/steam/{source}", png(source))
    origin = env["SERVER_ORIGIN"] = http_server.url("")
    install_path = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    appid = zlib.crc32(f'"{install_path}\\marrowlane.exe"Marrowlane'.encode()) | 0x80000000
    # Console output waits until released: the run stops at its banner, with the progress
    # window open.
    running = launch(gate_stdout=True)
    dialog = gui.wait(OPTIONS_CLASS)
    gui.click(gui.control(dialog, id=102))
    assert poll(lambda: gui.control(dialog, id=102).check == 0)
    gui.key(dialog, "enter")

    window = gui.wait(PROGRESS_CLASS)
    assert gui.find(OPTIONS_CLASS) is None
    assert window.title == "Marrowlane Setup"
    assert (window.x, window.y, window.width, window.height) == (*centred(460, 160), 460, 160)
    assert window.style & 0x00FF0000 == 0x00C80000
    controls = [(c.cls.lower(), c.text, c.style, c.rect, c.pos) for c in gui.controls(window)]
    assert controls == [
        ("static", "Installing Marrowlane", 0x50000080, (24, 18, 412, 22), None),
        ("static", "Preparing installation folder...", 0x50000080, (24, 46, 412, 20), None),
        ("msctls_progress32", "", 0x50000001, (24, 76, 412, 24), 10),
    ]
    # The user cannot close it while the work goes on.
    gui.alt_f4(window)
    gui.close_box(window)
    assert not poll(lambda: gui.refresh(window) is None, timeout=1.0)

    running.release_stdout()
    # The server has no runner: the box does not call the installation a success.
    box = gui.message_box(INCOMPLETE_TITLE)
    # The window went before the summary was printed, and the summary before the box.
    assert gui.find(PROGRESS_CLASS) is None
    steam_text = steam_stage_text(1, [win_path(account / "config" / "grid")], appid, origin)
    expected_out = installation_text(origin, install_path, env, steam=True, desktop=False,
                                     runner="failed", steam_text=steam_text)
    assert poll(lambda: running.stdout_so_far().decode() == expected_out, timeout=60), \
        running.stdout_so_far()
    assert box.text == completion_text(steam=True, desktop=False, start_menu=True,
                                       missing_runner=install_path)
    assert list(box.buttons) == ["OK"]
    gui.answer(box, "OK")

    result = running.wait(timeout=120)
    assert (result.stdout.decode(), without_wine_notes(result.stderr), result.status) == (
        expected_out, "", 0)
    assert (sandbox / "LocalAppData" / "Marrowlane").is_dir()


def test_steam_box_checked_without_steam_is_not_listed(launch, gui, wine, sandbox):
    # Without a Steam root there is nothing to register with, whatever the box says. A local
    # runner (any x64 program) is found in the working folder: the rest is complete.
    shutil.copyfile(wine.tool("argecho"), sandbox / "cwd" / "marrowlane.exe")
    running = launch()
    dialog = gui.wait(OPTIONS_CLASS)
    steam_box = gui.control(dialog, id=103)
    assert steam_box.check == 0
    gui.click(steam_box)
    assert poll(lambda: gui.control(dialog, id=103).check == 1)
    gui.click(gui.control(dialog, text="Install"))
    box = gui.message_box(COMPLETE_TITLE)
    assert box.text == completion_text(steam=False, desktop=True, start_menu=True)
    gui.answer(box, "OK")
    result = running.wait(timeout=120)
    assert result.status == 0
    assert result.stdout.decode().endswith(summary(False, True, True))


def test_unattended_run_shows_only_the_progress_window(launch, gui, sandbox, origin):
    with gui.watch() as watch:
        running = launch("-y", gate_stdout=True)
        window = gui.wait(PROGRESS_CLASS)
        assert gui.find(OPTIONS_CLASS) is None
        assert gui.control(window, cls="msctls_progress32").pos == 10
        running.release_stdout()
        # No box and no prompt: the run ends by itself with its input still open.
        result = running.wait_exit(timeout=120)
    top_level = {w["class"] for w in watch.created
                 if w["exe"] == "Marrowlane-Setup.exe" and w["top"]}
    assert PROGRESS_CLASS in top_level
    assert not top_level & {OPTIONS_CLASS, "#32770"}
    assert result.status == 0
    install_path = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    assert result.stdout.decode().endswith(
        summary(False, True, True, missing_runner=(install_path, origin)))
    assert gui.find(PROGRESS_CLASS) is None
    assert gui.find("#32770") is None


def test_folder_that_cannot_be_created_ends_with_an_error(launch, gui, sandbox, origin):
    (sandbox / "blocker").write_text("a file where a folder should be")
    target = win_path(sandbox / "blocker") + "\\Marrowlane"
    with gui.watch() as watch:
        running = launch("-y", "--install-dir", target, gate_stdout=True)
        gui.wait(PROGRESS_CLASS)
        running.release_stdout()
        result = running.wait_exit(timeout=120)
    # Unattended: no box waits for a user who is not there.
    assert "#32770" not in {w["class"] for w in watch.created
                            if w["exe"] == "Marrowlane-Setup.exe"}
    assert result.status == 1
    assert result.stdout.decode() == head(origin, target)
    assert result.stderr.decode().startswith("Error: Os { code: ")
    assert result.stderr.decode().count("\n") == 1
    assert gui.find(PROGRESS_CLASS) is None


def error_line(stderr: bytes) -> tuple[str, str]:
    """Kind and message of the one "Error: ..." line a failed run ends with."""
    text = stderr.decode()
    last = text.splitlines(keepends=True)[-1]
    os_error = re.fullmatch(r'Error: Os \{ code: [0-9]+, kind: (\w+), message: "(.*)" \}\n', last)
    custom = re.fullmatch(r'Error: Custom \{ kind: (\w+), error: "(.*)" \}\n', last)
    match = os_error or custom
    assert match and text.count("Error: ") == 1, text
    return match.group(1), match.group(2).replace('\\"', '"').replace("\\\\", "\\")


def hold(wine, *filelock_args: str):
    """Holds a file, or the setup lock, as another program would, until given a line."""
    holder = wine.start(wine.tool("filelock"), list(filelock_args))
    holder.wait_for_output(b"locked\n")
    return holder


AGAIN = "run the setup again."
IN_THE_WAY = ("The file may be in use or read-only, or a folder of that name may be in the way. "
              "Close Marrowlane if it is running, move anything in the way aside, then " + AGAIN)


@pytest.mark.parametrize("case", ["folder is a file", "config.json is a folder",
                                  "runner held", "folder too long", "another setup"])
def test_a_fatal_failure_ends_with_an_error_box(launch, gui, wine, sandbox, env, case):
    # A user who double-clicked the setup sees no console: the box, before the exit, is the
    # only place that says the installation failed and what to do.
    folder = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    args, extra_env, holder = [], {}, None
    if case == "folder is a file":
        (sandbox / "blocker").write_text("a file where a folder should be")
        env["LOCALAPPDATA"] = win_path(sandbox / "blocker")
        folder = env["LOCALAPPDATA"] + "\\Marrowlane"
    elif case == "config.json is a folder":
        (sandbox / "LocalAppData" / "Marrowlane" / "config.json").mkdir(parents=True)
    elif case == "runner held":
        # A local runner is found; the installed one is held by a running Marrowlane.
        shutil.copyfile(wine.tool("argecho"), sandbox / "cwd" / "marrowlane.exe")
        (sandbox / "LocalAppData" / "Marrowlane").mkdir()
        (sandbox / "LocalAppData" / "Marrowlane" / "marrowlane.exe").write_bytes(b"MZ earlier")
        holder = hold(wine, folder + "\\marrowlane.exe")
    elif case == "folder too long":
        base = win_path(sandbox)
        folder = base + "\\" + "x" * (230 - len(base) - 1)
        args = ["--install-dir", folder]
    else:
        holder = hold(wine, "--setup-lock")
        extra_env["ML_TEST_SETUP_LOCK_MS"] = "1000"
    try:
        running = launch(*args, extra_env=extra_env)
        if case != "folder too long":  # refused before any question
            gui.click(gui.control(gui.wait(OPTIONS_CLASS), text="Install"))
        box = gui.message_box(FAILED_TITLE, timeout=60)
        # The progress window has gone, and the run waits for the user.
        assert gui.find(PROGRESS_CLASS) is None
        assert running.running()
        assert list(box.buttons) == ["OK"]
        gui.answer(box, "OK")
        result = running.wait_exit(timeout=120)
    finally:
        if holder:
            holder.wait(stdin=b"\n")
    assert result.status == 1
    kind, message = error_line(result.stderr)
    expected = {
        "folder is a file": (
            "AlreadyExists",
            f"Marrowlane could not be installed: the installation folder could not be created."
            f"\n\n{folder}\n\n{message}\n\nA file is in the way: the folder, or a folder above "
            f"it, has the name of an existing file. Move that file away, then {AGAIN}"),
        "config.json is a folder": (
            "PermissionDenied",
            f"Marrowlane could not be installed: its settings file could not be written.\n\n"
            f"{folder}\\config.json\n\n{message}\n\n{IN_THE_WAY}"),
        "runner held": (
            "PermissionDenied",
            f"Marrowlane could not be installed: its runner could not be copied into the "
            f"installation folder.\n\n{folder}\\marrowlane.exe\n\n{message}\n\n{IN_THE_WAY}"),
        "folder too long": (
            "InvalidInput",
            f"Marrowlane could not be installed: the installation folder is too long.\n\n{folder}"
            f"\n\nIt has 230 characters. With the names of the files that go into it, its paths "
            f"would be longer than the 259 characters Windows allows programs and shortcuts.\n\n"
            f"Choose a folder of at most 203 characters, then {AGAIN}"),
    }
    if case == "another setup":
        reason = re.fullmatch(r"Nothing was installed: (.*)\. Run the setup again once it has "
                              r"finished\.", message)
        assert kind == "Other" and reason, message
        assert "has been running for over 1 second" in reason.group(1)
        assert box.text == (f"Marrowlane was not installed: {reason.group(1)}.\n\nRun the setup "
                            "again once it has finished.")
    else:
        assert (kind, box.text) == expected[case]
    if case == "folder too long":
        assert message.startswith(f"Installation folder too long: {folder} (230 characters).")


@pytest.fixture
def volatile_uninstall_parent(wine):
    """Makes the key above the uninstall entry volatile, so that the entry, a lasting key, cannot
    be created below it (as an ACL or a policy can refuse it on Windows); removed afterwards,
    with whatever entry earlier tests left in it."""
    parent = UNINSTALL_SUBKEY.rsplit("\\", 1)[0]
    wine.wine(["reg", "delete", "HKCU\\" + parent, "/f"])
    assert wine.run(wine.tool("steamprobe"), ["regvolatile", parent]).status == 0
    yield
    wine.wine(["reg", "delete", "HKCU\\" + parent, "/f"])


@pytest.mark.parametrize("missing", ["Desktop", "Start Menu", "uninstall entry"])
def test_what_could_not_be_written_is_named_and_not_claimed(launch, gui, wine, sandbox, env,
                                                            origin, request, missing):
    # A local runner is found, so everything else is complete; one thing cannot be written.
    shutil.copyfile(wine.tool("argecho"), sandbox / "cwd" / "marrowlane.exe")
    links = {"Desktop": desktop_lnk(env["USERPROFILE"]),
             "Start Menu": start_menu_lnk(env["APPDATA"])}
    if missing == "uninstall entry":
        request.getfixturevalue("volatile_uninstall_parent")
    else:
        # A folder of the shortcut's name is in the way of the .lnk.
        unix_path(links[missing]).mkdir(parents=True)
    running = launch()
    gui.click(gui.control(gui.wait(OPTIONS_CLASS), text="Install"))
    box = gui.message_box(COMPLETE_TITLE, timeout=60)
    gui.answer(box, "OK")
    result = running.wait_exit(timeout=120)

    install_path = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    stderr = without_wine_notes(result.stderr)
    if missing == "uninstall entry":
        line = re.fullmatch(r"  \[!\] Could not register the uninstaller in Windows Settings "
                            r"\(HKCU\\" + re.escape(UNINSTALL_SUBKEY) + r"\): (.+)\n", stderr)
        not_created = f"Uninstall entry in Windows Settings: {line and line.group(1)}"
        assert wine.run(wine.tool("steamprobe"), ["regvalues", UNINSTALL_SUBKEY]).out == "missing\n"
    else:
        line = re.fullmatch(re.escape(f"  [!] Could not create {missing} shortcut -> "
                                      f"{debug_path(links[missing])}: ") + r"(.+)\n", stderr)
        not_created = f"{missing} shortcut: {line and line.group(1)}"
        assert unix_path(links[missing]).is_dir()
    assert line, stderr
    chosen = {"desktop": missing != "Desktop", "start_menu": missing != "Start Menu",
              "entry": missing != "uninstall entry"}
    assert (result.stdout.decode(), result.status) == (installation_text(
        origin, install_path, env, steam_text=steam_stage_text(enabled=False),
        runner=("local", "marrowlane.exe"), **chosen), 0)
    assert box.text == completion_text(steam=False, not_created=(not_created,), **chosen)
