"""The uninstallation (--uninstall) end to end: an installed machine as the installation and
the product's shortcut injections leave it, with real shortcuts.vdf files and a stand-in
Steam, and what is left afterwards."""
from __future__ import annotations

import os
import pathlib
import shutil
import time

import pytest

import vdf
from gui import poll
from harness import wait_until, win_path
from installer_text import PROGRESS_CLASS, SHARING_VIOLATION, debug_path, png, snapshot

@pytest.fixture(scope="module")
def wine(wine_with_fakes):
    """The prefix with the stand-in tools, whose tasklist lets a test see what still runs."""
    return wine_with_fakes


RULE = "=" * 54
TITLE = "Marrowlane Uninstaller"
KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Marrowlane"
CANCELLED = b"[*] Uninstallation cancelled by user.\n"
DETECTED = "  [*] Detected running Steam process.\n"
LEFT_OPEN = "  [!] Steam remains open. Shortcuts will take effect after you restart Steam.\n"
CLOSING_STEAM = "  [*] Closing Steam...\n"
CONFIRM_TEXT = ("Are you sure you want to completely remove Marrowlane from your system and "
                "Steam Library?")
STEAM_TEXT = ("Steam is currently open. It must be closed briefly to remove Marrowlane from "
              "your Steam library.\n\nClose Steam now? (It will be automatically restarted "
              "after uninstallation)")
END_TEXT = "Marrowlane has been completely uninstalled from your system and Steam Library."
# What the installation puts into its folder, and what a user may have added there.
INSTALLED = ["marrowlane.exe", "WebView2Loader.dll", "marrowlane.ico", "marrowlane.png",
             "config.json", "Marrowlane-Setup.exe", "saves/slot1.dat"]
ARTWORK = ["p.png", "_hero.png", "_logo.png", ".png", "_icon.png"]
# Account folders below the Steam root that discovery finds through ProgramFiles(x86).
STEAM = pathlib.Path("ProgramFilesX86") / "Steam"


def expected_out(folder: str | None, steam: str = "", reopened: bool = False,
                 in_use: bool = False) -> str:
    text = (f"{RULE}\n Marrowlane - System Uninstaller{' ' * 21}\n{RULE}\n"
            "[*] Checking Steam installation for shortcuts and grid artwork...\n" + steam +
            "[\u2713] Steam library entries removed.\n")
    if reopened:
        text += "  [*] Reopening Steam...\n"
    text += "[\u2713] Removed Windows shortcuts and uninstaller registry entries.\n"
    if in_use:
        return text + (f"\n{RULE}\n  Marrowlane has been uninstalled, except for the files named "
                       f"above.\n{RULE}\n")
    if folder is not None:
        text += f"[\u2713] Cleaned application files from {debug_path(folder)}\n"
    return text + f"\n{RULE}\n  Marrowlane has been cleanly uninstalled.\n{RULE}\n"


def in_use_line(*paths: str) -> str:
    """The line naming files that are still in use, as the removal after exit will take them."""
    return (f"[!] Not removed yet, still in use: {', '.join(debug_path(p) for p in paths)}. "
            "They are removed once released, within about a minute; otherwise close Marrowlane "
            "and run the uninstaller again.\n")


def put_files(folder: pathlib.Path, names) -> None:
    for name in names:
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(name.encode())


def install_folder(local_app_data: pathlib.Path) -> pathlib.Path:
    folder = local_app_data / "Marrowlane"
    put_files(folder, INSTALLED)
    return folder


def installed_setup(folder: pathlib.Path, wine) -> pathlib.Path:
    """The setup's own copy in the installed folder, the program Windows Settings starts."""
    copy = folder / "Marrowlane-Setup.exe"
    shutil.copyfile(wine.exe, copy)
    return copy


# Generous: the removal that follows the uninstaller tries for about a minute.
GONE_WITHIN = 180


def removal_copies(w) -> list[pathlib.Path]:
    """The folders of the hidden copies of the setup that remove what an uninstallation left:
    each goes once its copy has ended and is deleted."""
    return list(w.prefix.glob("drive_c/users/*/Temp/Marrowlane-Removal-*"))


def removals_ended(w) -> bool:
    """No removal left by an uninstallation still runs in the prefix: neither the hidden copy
    of the setup (Marrowlane-Removal-<hex>.exe) nor the cmd that removes it once it has ended
    (waiting a second at a time through ping)."""
    names = w.process_names()
    return not ({"cmd.exe", "ping.exe"} & set(names) or
                any(name.startswith("marrowlane-removal-") for name in names))


def link_paths(sandbox: pathlib.Path) -> list[pathlib.Path]:
    return [sandbox / "AppData/Microsoft/Windows/Start Menu/Programs/Marrowlane.lnk",
            sandbox / "Profile/Desktop/Marrowlane.lnk"]


def place_links(sandbox: pathlib.Path) -> None:
    for link in link_paths(sandbox):
        put_files(link.parent, [link.name, "Other.lnk"])


def account(sandbox: pathlib.Path, account_id: str) -> pathlib.Path:
    return sandbox / STEAM / "userdata" / account_id / "config"


def put_account(sandbox, account_id, data: bytes | None, grid: list[str]) -> pathlib.Path:
    config = account(sandbox, account_id)
    (config / "grid").mkdir(parents=True)
    put_files(config / "grid", grid)
    if data is not None:
        (config / "shortcuts.vdf").write_bytes(data)
    return config


def grid_files(appid: int) -> list[str]:
    """The product's files in a grid folder for an app id: its artwork and logo position."""
    return [f"{appid}{suffix}" for suffix in ARTWORK] + [f"{appid}.json"]


def example_file() -> bytes:
    """Two product entries, one by name and one by its Exe, around entries that stay."""
    return vdf.shortcuts_file(
        vdf.entry(appid=3000000001, name="Marrowlane", exe='"C:\\Any\\game.exe"'),
        vdf.entry(appid=7, name="Other", exe='"C:\\Other\\other.exe"', tags=["favorite"]),
        vdf.entry(appid=42, name="x", exe="C:\\Games\\MARROWLANE\\run.exe"),
        vdf.entry(appid=99, name="Marrowlane Beta", exe='"C:\\Beta\\beta.exe"'))


def serve_product(http_server, wine) -> str:
    """The distribution server on loopback: a runner (any x64 program), icons, artwork."""
    http_server.serve("/api/download?os=windows", wine.tool("argecho").read_bytes())
    http_server.serve("/WebView2Loader.dll", b"MZ" + b"WebView2Loader.dll")
    for name in ("marrowlane.ico", "marrowlane.png"):
        http_server.serve(f"/{name}", png(name))
    for kind in ("capsule", "hero", "logo", "banner", "icon"):
        http_server.serve(f"/media/steam/{kind}.png", png(kind))
    return http_server.url("")


@pytest.fixture
def clone(private_prefix):
    """These tests write the product's uninstall key."""
    return private_prefix


def test_removes_the_product_and_nothing_else(clone, env, sandbox, fixtures_dir):
    real = fixtures_dir / "shortcuts-vdf" / "steam-2026-sortas-lowercase-appname.vdf"
    product_id = 2898237750
    own = vdf.entry(appid=product_id, name="Marrowlane",
                    exe='"' + win_path(sandbox / "LocalAppData/Marrowlane/marrowlane.exe") + '"')
    first = put_account(sandbox, "111", vdf.with_entries(real, own),
                        grid_files(product_id) + ["12345p.png", "12345_hero.png"])
    second = put_account(sandbox, "222", example_file(),
                         grid_files(3000000001) + grid_files(42) + ["99p.png", "7_hero.png",
                                                                    "7.json", "99.json"])
    # No shortcuts.vdf: that account is not looked at, artwork included.
    third = put_account(sandbox, "333", None, grid_files(3000000001))
    folder = install_folder(sandbox / "LocalAppData")
    put_files(sandbox / "LocalAppData", ["Marrowlane.txt", "Marrowlane2/keep.txt"])
    custom = sandbox / "Games" / "Marrowlane"
    put_files(custom, INSTALLED)
    place_links(sandbox)
    added = clone.wine(["reg", "add", KEY, "/v", "InstallLocation", "/d", win_path(custom), "/f"])
    assert added.returncode == 0, added
    kept_before = snapshot(sandbox / "LocalAppData" / "Marrowlane2")

    r = clone.run(clone.exe, ["--uninstall", "--cli", "-y"], env=env, cwd=sandbox / "cwd")
    assert (r.out, r.err, r.status) == (expected_out(win_path(folder)), "", 0)

    assert vdf.dump(first / "shortcuts.vdf") == vdf.dump(real)
    assert [e["AppName"] for e in vdf.dump(second / "shortcuts.vdf")] == ["Other",
                                                                        "Marrowlane Beta"]
    assert vdf.dump(second / "shortcuts.vdf")[0]["tags"] == ["favorite"]
    assert sorted(p.name for p in (first / "grid").iterdir()) == ["12345_hero.png", "12345p.png"]
    assert sorted(p.name for p in (second / "grid").iterdir()) == ["7.json", "7_hero.png",
                                                                 "99.json", "99p.png"]
    assert sorted(p.name for p in (third / "grid").iterdir()) == sorted(grid_files(3000000001))
    for link in link_paths(sandbox):
        assert sorted(p.name for p in link.parent.iterdir()) == ["Other.lnk"]
    assert clone.wine(["reg", "query", KEY]).returncode == 1
    # The folder goes once the program has exited, with whatever was left in it.
    wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)
    assert sorted(p.name for p in (sandbox / "LocalAppData").iterdir()) == ["Marrowlane.txt",
                                                                          "Marrowlane2"]
    assert snapshot(sandbox / "LocalAppData" / "Marrowlane2") == kept_before
    assert sorted(str(p.relative_to(custom)) for p in custom.rglob("*") if p.is_file()) == \
        sorted(INSTALLED)


@pytest.mark.parametrize("how", ["corrupt", "locked", "too large"])
def test_shortcuts_file_that_cannot_be_read_is_left_as_it_is(run, launch, wine, sandbox,
                                                            fixtures_dir, how):
    if how == "corrupt":
        data = (fixtures_dir / "shortcuts-vdf" / "corrupt-missing-marker.vdf").read_bytes()
    else:
        data = example_file()
    config = put_account(sandbox, "111", data, grid_files(3000000001))
    path = config / "shortcuts.vdf"
    holder = None
    if how == "locked":
        holder = launch(win_path(path), program=wine.tool("filelock"))
        holder.wait_for_output(b"locked\n")
    if how == "too large":
        # A sparse file of 40 GiB (a damaged disk, a broken sync): read whole, it would take
        # all memory.
        os.truncate(path, 40 << 30)
    reason = {"corrupt": vdf.parse_error(path) if how == "corrupt" else "",
              "locked": SHARING_VIOLATION,
              "too large": f"{debug_path(win_path(path))} is 40 GiB, more than the 256 MiB "
                           "such a file can be"}[how]
    try:
        r = run("--uninstall", "--cli")
    finally:
        if holder:
            holder.wait()
    folder = win_path(sandbox / "LocalAppData" / "Marrowlane")
    assert (r.out, r.status) == (expected_out(folder), 0)
    assert r.err == (f"  [!] Left {debug_path(win_path(path))} untouched: it could not be read "
                     f"({reason}). Its Marrowlane entries were not removed.\n")
    if how == "too large":
        with path.open("rb") as kept:
            assert (path.stat().st_size, kept.read(len(data))) == (40 << 30, data)
    else:
        assert path.read_bytes() == data
    assert sorted(p.name for p in config.iterdir()) == ["grid", "shortcuts.vdf"]
    assert sorted(p.name for p in (config / "grid").iterdir()) == sorted(grid_files(3000000001))


@pytest.mark.parametrize("name", ["Local Data", "Player's Local", "Tom & Jerry",
                                  "J\u00f6rg \u65e5\u672c", "50%off%"])
def test_folder_removal_takes_any_folder_name(run, sandbox, name):
    # "off" names an existing variable: a folder text that passed through cmd would turn
    # 50%off% into 50elsewhere and remove that folder instead.
    local = sandbox / "Users" / name / "Local"
    folder = install_folder(local)
    decoy = install_folder(sandbox / "Users" / "50elsewhere" / "Local")
    put_files(local, ["Marrowlane.lnk", "Marrowlane (old)/notes.txt"])
    r = run("--uninstall", "--cli", extra_env={"LOCALAPPDATA": win_path(local),
                                               "off": "elsewhere"})
    assert r.out == expected_out(win_path(folder)), r
    wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)
    assert sorted(p.name for p in local.iterdir()) == ["Marrowlane (old)", "Marrowlane.lnk"]
    assert sorted(str(p.relative_to(decoy)) for p in decoy.rglob("*") if p.is_file()) == \
        sorted(INSTALLED)


def test_profile_folders_that_are_not_absolute_remove_nothing(run, sandbox):
    # With empty APPDATA and USERPROFILE the shortcuts would be these, below the current folder.
    links = ["Microsoft/Windows/Start Menu/Programs/Marrowlane.lnk", "Desktop/Marrowlane.lnk"]
    cases = {"unset": None, "empty": "", "relative": "."}
    for case, value in cases.items():
        cwd = sandbox / case
        install_folder(cwd)
        put_files(cwd, links)
        r = run("--uninstall", "--cli", cwd=cwd,
                extra_env={"LOCALAPPDATA": value, "APPDATA": value if value == "" else None,
                           "USERPROFILE": value if value == "" else None})
        # Not even the line about the folder.
        assert r.out == expected_out(None), (case, r)
    time.sleep(3)  # the delayed removal, had one started, is done by now
    for case in cases:
        files = sandbox / case / "Marrowlane"
        assert sorted(str(p.relative_to(files)) for p in files.rglob("*") if p.is_file()) == \
            sorted(INSTALLED), case
        assert all((sandbox / case / link).exists() for link in links), case


def test_confirmation_answered_no_changes_nothing(launch, gui, sandbox):
    install_folder(sandbox / "LocalAppData")
    place_links(sandbox)
    put_account(sandbox, "111", example_file(), grid_files(42))
    before = snapshot(sandbox)
    running = launch("--uninstall")
    box = gui.message_box(TITLE)
    assert (box.text, sorted(box.buttons)) == (CONFIRM_TEXT, ["No", "Yes"])
    assert gui.find(PROGRESS_CLASS) is None
    gui.answer(box, "No")
    result = running.wait(timeout=120)
    assert (result.stdout, result.stderr, result.status) == (CANCELLED, b"", 0)
    time.sleep(2)
    assert snapshot(sandbox) == before


@pytest.mark.parametrize("flag, progress", [("-y", True), ("--cli", False)])
def test_quiet_runs_ask_nothing(launch, gui, sandbox, flag, progress):
    folder = install_folder(sandbox / "LocalAppData")
    with gui.watch() as watch:
        # Input stays open: a run that asked anything would wait for ever. The run's first
        # console line waits until released, so that its progress window can be seen.
        running = launch("--uninstall", flag, gate_stdout=True)
        if progress:
            gui.wait(PROGRESS_CLASS, TITLE)
        result = running.wait_exit(timeout=60)
    assert (result.out, result.status) == (expected_out(win_path(folder)), 0)
    created = [w for w in watch.created if w["exe"] == "Marrowlane-Setup.exe"]
    if progress:
        # No message box. (Wine adds helper windows of its own around a GUI thread, and the
        # watch may see a window only after it has gone, without its class.)
        assert "#32770" not in {w["class"] for w in created}, created
    else:
        assert created == []


def steam_with_product(fake_steam, sandbox):
    root = fake_steam.root(sandbox / STEAM)
    config = put_account(sandbox, "111", example_file(), grid_files(42))
    fake_steam.env["FAKESTEAM_WATCH"] = win_path(config / "shortcuts.vdf")
    fake_steam.start_client(root)
    wait_until(lambda: fake_steam.starts(root), timeout=60)
    return root, config


def test_running_steam_is_closed_before_and_restarted_after(run, fake_steam, sandbox):
    root, config = steam_with_product(fake_steam, sandbox)
    size = (config / "shortcuts.vdf").stat().st_size
    folder = install_folder(sandbox / "LocalAppData")
    # A short life for the restarted client, which may hold the run's output pipes open.
    r = run("--uninstall", "--cli", extra_env=dict(fake_steam.env, FAKESTEAM_LIFETIME_MS="3000"))
    assert r.out == expected_out(win_path(folder), DETECTED + CLOSING_STEAM, reopened=True)
    # Steam had ended, the file still whole, before the file was rewritten.
    watch = [line.split()[2] for line in fake_steam.lines() if line.startswith("watch ")]
    assert watch == [str(size)]
    assert [e["AppName"] for e in vdf.dump(config / "shortcuts.vdf")] == ["Other",
                                                                        "Marrowlane Beta"]
    wait_until(lambda: len(fake_steam.starts(root)) == 3, timeout=60)
    assert fake_steam.starts(root) == [[], ['"-shutdown"'], []]


def test_planted_programs_never_run(wine, env, fake_steam, sandbox):
    # Without HOME the home-folder layouts are looked for below the current folder: the
    # Downloads folder a setup was started from, say. Such a root still takes part in the
    # account walk, but its steam.exe is neither asked to shut down nor started again. And
    # no ping.exe or ping.bat in LOCALAPPDATA, where a bare name would find it first from
    # the folder being removed, runs for the removal that follows the uninstaller.
    root, _ = steam_with_product(fake_steam, sandbox)
    planted = sandbox / "cwd" / ".steam" / "steam"
    wine.install_tool("argecho", planted, "steam.exe")
    relative_account = planted / "userdata" / "333" / "config"
    relative_account.mkdir(parents=True)
    (relative_account / "shortcuts.vdf").write_bytes(example_file())
    marker = sandbox / "planted.log"
    local = sandbox / "LocalAppData"
    wine.install_tool("argecho", local, "ping.exe")
    (local / "ping.bat").write_text(f'@echo ping.bat>>"{win_path(marker)}"\r\n')
    folder = install_folder(local)
    # Started as Windows Settings starts it: the installed copy, which cannot delete itself.
    setup = installed_setup(folder, wine)
    r = wine.run(setup, ["--uninstall", "--cli", "-y"], cwd=sandbox / "cwd",
                 env={**env, **fake_steam.env, "ARGECHO_LOG": win_path(marker),
                      "FAKESTEAM_LIFETIME_MS": "3000"})
    assert r.out == expected_out(win_path(folder), DETECTED + CLOSING_STEAM, reopened=True)
    assert [e["AppName"] for e in vdf.dump(relative_account / "shortcuts.vdf")] == [
        "Other", "Marrowlane Beta"]
    # The absolute root's client was asked to close and started again; the planted one never.
    wait_until(lambda: len(fake_steam.starts(root)) == 3, timeout=120)
    assert fake_steam.starts(root) == [[], ['"-shutdown"'], []]
    # The removal ran, with the system's ping.
    wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)
    assert sorted(p.name for p in local.iterdir()) == ["ping.bat", "ping.exe"]
    assert not marker.exists(), marker.read_text()


@pytest.mark.parametrize("how", ["-y", "end box answered late"])
def test_the_installed_copy_removes_its_folder_after_it_has_exited(launch, gui, wine, sandbox,
                                                                   how):
    # Windows Settings starts the setup's own copy in the folder with --uninstall. Its image
    # cannot go while it runs, so everything else goes at once, and the rest once it has
    # exited: however long the user leaves the last box open.
    folder = install_folder(sandbox / "LocalAppData")
    setup = installed_setup(folder, wine)
    if how == "-y":
        result = launch("--uninstall", "-y", program=setup).wait_exit(timeout=60)
    else:
        running = launch("--uninstall", program=setup)
        gui.answer(gui.message_box(TITLE), "Yes")
        end = gui.message_box("Marrowlane Uninstalled")
        time.sleep(5)
        assert sorted(p.name for p in folder.iterdir()) == ["Marrowlane-Setup.exe"]
        gui.answer(end, "OK")
        result = running.wait_exit(timeout=60)
    assert (result.out, result.status) == (expected_out(win_path(folder)), 0)
    wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)
    assert list((sandbox / "LocalAppData").iterdir()) == []


def test_a_file_held_open_goes_once_its_holder_lets_go(launch, wine, env, sandbox):
    folder = install_folder(sandbox / "LocalAppData")
    # A name cmd reads literally only inside quotes, as the removal after exit must give it.
    save = folder / "Player's saves & (1)" / "slot ^1.dat"
    put_files(folder, [str(save.relative_to(folder))])
    # Held without delete sharing, as a runner that is still open holds its files.
    holder = launch(win_path(save), program=wine.tool("filelock"))
    holder.wait_for_output(b"locked\n")
    r = wine.run(installed_setup(folder, wine), ["--uninstall", "--cli", "-y"],
                 env=env, cwd=sandbox / "cwd")
    # Named as still in use; the uninstaller's own copy, which goes after its exit, is not.
    assert (r.out, r.err, r.status) == (expected_out(win_path(folder), in_use=True),
                                        in_use_line(win_path(save)), 0)
    time.sleep(3)
    # The holder still holds it; everything else has gone.
    assert sorted(str(p.relative_to(folder)) for p in folder.rglob("*")) == [
        "Player's saves & (1)", "Player's saves & (1)/slot ^1.dat"]
    holder.wait()
    wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)


@pytest.mark.parametrize("window", [False, True])
def test_a_running_marrowlane_is_named_not_cleaned(launch, gui, wine, env, sandbox, window):
    # A game still open keeps its runner's image, and the folder with it: the uninstallation
    # says so, in the console and in its end box, instead of "cleaned".
    folder = install_folder(sandbox / "LocalAppData")
    runner = folder / "marrowlane.exe"
    wine.install_tool("filelock", folder, "marrowlane.exe")
    put_files(sandbox, ["game.dat"])
    game = launch(win_path(sandbox / "game.dat"), program=runner)
    game.wait_for_output(b"locked\n")
    if window:
        running = launch("--uninstall")
        gui.answer(gui.message_box(TITLE), "Yes")
        end = gui.message_box("Marrowlane Uninstalled")
        assert end.text == (
            "Marrowlane has been uninstalled from your system and Steam Library, except for "
            f"these files, which are still in use:\n\n{win_path(runner)}\n\nThey are removed "
            "once released, within about a minute. Otherwise close Marrowlane and run the "
            "uninstaller again.")
        gui.answer(end, "OK")
        r = running.wait(timeout=120)
    else:
        r = wine.run(wine.exe, ["--uninstall", "--cli", "-y"], env=env, cwd=sandbox / "cwd")
    assert (r.out, r.err, r.status) == (expected_out(win_path(folder), in_use=True),
                                        in_use_line(win_path(runner)), 0)
    assert sorted(p.name for p in folder.iterdir()) == ["marrowlane.exe"]
    game.wait()
    wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)


def test_links_inside_the_folder_are_never_followed(run, sandbox):
    # A folder of the user's linked into the application folder (a saves folder kept in a
    # synced place, say), and a linked file: what they point at is the user's.
    folder = install_folder(sandbox / "LocalAppData")
    documents = sandbox / "Documents" / "Marrowlane saves"
    put_files(documents, ["slot1.dat", "notes/keep.txt"])
    put_files(sandbox / "Documents", ["letter.txt"])
    (folder / "linked saves").symlink_to(documents, target_is_directory=True)
    (folder / "linked letter.txt").symlink_to(sandbox / "Documents" / "letter.txt")
    before = snapshot(sandbox / "Documents")
    r = run("--uninstall", "--cli", "-y")
    assert (r.out, r.status) == (expected_out(win_path(folder)), 0)
    # Everything of ours goes; Wine resolves a link on every open, so a link cannot be
    # deleted as a link there and stays, with the folder around it. (Windows opens the link
    # itself, which then goes too.)
    wait_until(lambda: sorted(p.name for p in folder.iterdir()) ==
               ["linked letter.txt", "linked saves"], timeout=GONE_WITHIN)
    assert snapshot(sandbox / "Documents") == before
    assert (documents / "notes" / "keep.txt").read_bytes() == b"notes/keep.txt"


@pytest.mark.parametrize("swapped", ["the folder", "a folder inside it"])
def test_the_removal_after_exit_never_follows_a_link_put_there_later(clone, env, sandbox,
                                                                     swapped):
    # Another program of the user's waits for the uninstaller to exit, then puts a link to a
    # folder of its choice in place of the application folder, or of its saves folder, with
    # files named like those still to go. The removal that follows must not delete them:
    # after an elevated uninstallation that would be an administrator deleting them.
    folder = install_folder(sandbox / "LocalAppData")
    # A copy of the prefix holds what was under way in it when it was made.
    copies = removal_copies(clone)
    held = folder / "saves" / "slot1.dat"
    holder = clone.start(clone.tool("filelock"), [win_path(held)])
    holder.wait_for_output(b"locked\n")
    elsewhere = sandbox / "Documents"
    put_files(elsewhere, ["Marrowlane-Setup.exe", "saves/slot1.dat"])
    before = snapshot(elsewhere)
    try:
        r = clone.run(installed_setup(folder, clone), ["--uninstall", "--cli", "-y"], env=env,
                      cwd=sandbox / "cwd")
        assert (r.err, r.status) == (in_use_line(win_path(held)), 0), r
        swap = folder if swapped == "the folder" else folder / "saves"
        swap.rename(sandbox / "moved")
        swap.symlink_to(elsewhere / swap.relative_to(folder), target_is_directory=True)
    finally:
        holder.wait(stdin=b"\n")
    # The copy of the setup that does the removal goes with the folder it ran from once it
    # has ended.
    wait_until(lambda: removals_ended(clone) and removal_copies(clone) == copies,
               timeout=GONE_WITHIN)
    assert snapshot(elsewhere) == before
    if swapped == "a folder inside it":
        # What was still the folder's own went; the link stays.
        assert [p.name for p in folder.iterdir()] == ["saves"]


def test_interactive_run_with_steam_kept_open(launch, gui, fake_steam, sandbox):
    root, config = steam_with_product(fake_steam, sandbox)
    folder = install_folder(sandbox / "LocalAppData")
    running = launch("--uninstall", extra_env=fake_steam.env)
    gui.answer(gui.message_box(TITLE), "Yes")

    box = gui.message_box("Steam Running")
    assert (box.text, sorted(box.buttons)) == (STEAM_TEXT, ["No", "Yes"])
    window = gui.find(PROGRESS_CLASS)
    assert window.title == TITLE
    assert [(c.text, c.pos) for c in gui.controls(window)] == [
        ("Uninstalling Marrowlane...", None), ("Checking Steam installation...", None),
        ("", 15)]
    gui.answer(box, "No")

    end = gui.message_box("Marrowlane Uninstalled")
    assert (end.text, list(end.buttons)) == (END_TEXT, ["OK"])
    assert gui.find(PROGRESS_CLASS) is None
    gui.answer(end, "OK")
    result = running.wait(timeout=120)
    assert (result.out, result.err, result.status) == (
        expected_out(win_path(folder), DETECTED + LEFT_OPEN), "", 0)
    # Rewritten while Steam ran, and Steam neither closed nor started again.
    assert [e["AppName"] for e in vdf.dump(config / "shortcuts.vdf")] == ["Other",
                                                                        "Marrowlane Beta"]
    assert fake_steam.starts(root) == [[]]
    assert fake_steam.clients[0].running()



def test_install_then_uninstall_leaves_the_machine_as_it_was(clone, env, sandbox, http_server,
                                                            fixtures_dir):
    origin = serve_product(http_server, clone)
    real = fixtures_dir / "shortcuts-vdf"
    first = put_account(sandbox, "111", (real / "steam-2025-sortas.vdf").read_bytes(),
                        ["12345p.png"])
    # An account that never had a shortcut: the installation creates its shortcuts.vdf.
    second = put_account(sandbox, "222", None, [])
    # A profile as Windows makes it.
    for folder in ("AppData/Microsoft/Windows/Start Menu/Programs", "Profile/Desktop"):
        (sandbox / folder).mkdir(parents=True, exist_ok=True)
    put_files(sandbox / "Profile/Desktop", ["Other.lnk"])
    before = profile_and_steam(sandbox)

    installed = clone.run(clone.exe, ["--cli", "-y", "--server-origin", origin], env=env,
                          cwd=sandbox / "cwd")
    assert installed.status == 0, installed
    folder = sandbox / "LocalAppData" / "Marrowlane"
    assert sorted(p.name for p in folder.iterdir()) == sorted(INSTALLED[:-1])
    assert all(link.exists() for link in link_paths(sandbox))
    assert clone.wine(["reg", "query", KEY]).returncode == 0
    # The installation's Steam stage put the product into both accounts, with artwork.
    for config in (first, second):
        entry = vdf.dump(config / "shortcuts.vdf")[-1]
        assert entry["AppName"] == "Marrowlane"
        assert {p.name for p in (config / "grid").iterdir()} >= set(grid_files(entry["appid"]))

    r = clone.run(clone.exe, ["--uninstall", "--cli", "-y"], env=env, cwd=sandbox / "cwd")
    assert (r.out, r.err, r.status) == (expected_out(win_path(folder)), "", 0)
    wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)
    assert clone.wine(["reg", "query", KEY]).returncode == 1
    assert vdf.dump(first / "shortcuts.vdf") == vdf.dump(real / "steam-2025-sortas.vdf")
    after = profile_and_steam(sandbox)
    # Only the shortcuts.vdf the installation created may stay, holding nothing.
    new = set(after) - set(before)
    assert new <= {str(second.relative_to(sandbox) / "shortcuts.vdf")}, new
    for path in new:
        assert vdf.dump(sandbox / path) == []
    # Rewritten files may change size (compared by content above); nothing else may differ.
    assert sized_except_vdf({p: s for p, s in after.items() if p not in new}) == \
        sized_except_vdf(before)


def profile_and_steam(sandbox: pathlib.Path) -> dict[str, int]:
    """Everything in the user's profile folders, the program folders and the current folder."""
    return {str(pathlib.Path(name) / path): size
            for name in ("LocalAppData", "AppData", "Profile", "ProgramFilesX86", "ProgramFiles",
                         "cwd")
            for path, size in snapshot(sandbox / name).items()}


def sized_except_vdf(snap: dict[str, int]) -> dict[str, int]:
    return {path: None if path.endswith("shortcuts.vdf") else size for path, size in snap.items()}
