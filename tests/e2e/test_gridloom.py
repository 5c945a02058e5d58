"""The injection run (--name) end to end: real files on disk, real Wine, fake Steam folders."""
from __future__ import annotations

import os
import re
import pathlib
import shutil
import subprocess
import time
import zlib

import pytest

import vdf
from harness import win_path, wait_until
from installer_text import (LOGO_POSITION, STEAM_ART, artwork_failed_text, logo_position_failed,
                            snapshot)

RULE = "=" * 54
PNG = b"\x89PNG\r\n\x1a\n"


def dbg(path: pathlib.Path | str) -> str:
    """A path as the program prints it: its Windows form, quoted, backslashes doubled."""
    text = win_path(path) if isinstance(path, pathlib.Path) else path
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def appid_of(exe_stored: str, name: str) -> int:
    return zlib.crc32((exe_stored + name).encode()) | 0x80000000


def make_steam(root: pathlib.Path, *accounts: str) -> pathlib.Path:
    for account in accounts:
        (root / "userdata" / account).mkdir(parents=True, exist_ok=True)
    root.mkdir(parents=True, exist_ok=True)
    return root


def vdf_path(root: pathlib.Path, account: str) -> pathlib.Path:
    return root / "userdata" / account / "config" / "shortcuts.vdf"


def put_vdf(root: pathlib.Path, account: str, data: bytes) -> pathlib.Path:
    path = vdf_path(root, account)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    return path


@pytest.fixture
def steam(sandbox) -> pathlib.Path:
    """A Steam folder given with --steam-dir, with one account."""
    return make_steam(sandbox / "Steam", "12345678")


def test_no_steam_root_is_not_an_error(run):
    r = run("--name", "Foo")
    assert r.status == 0
    assert r.stderr == (
        b"[!] No Steam installation found in standard directories (~/.local/share/Steam, "
        b"~/.steam/steam, Flatpak).\n[!] Use --steam-dir to specify a custom Steam directory.\n")
    assert r.out.endswith("Steam AppID:   " + str(appid_of('"marrowlane"', "Foo") - 2**32) +
                          f" (unsigned: {appid_of(chr(34) + 'marrowlane' + chr(34), 'Foo')})\n")


@pytest.mark.parametrize("given", ["missing", "file"])
def test_a_steam_dir_that_is_no_folder_stops_before_anything(run, sandbox, given):
    # A mistyped --steam-dir must not lead to the Steam found in the standard places.
    standard = make_steam(sandbox / "ProgramFilesX86" / "Steam", "12345678")
    path = sandbox / "Steam Typo"
    if given == "file":
        path = sandbox / "Steam" / "steam.exe"
        path.parent.mkdir()
        path.write_bytes(b"MZ")
    before = snapshot(sandbox)
    r = run("--name", "Foo", "--steam-dir", win_path(path))
    assert r.status == 1
    reason = {"missing": ("NotFound", "Steam folder not found: {}. Nothing was changed; check "
                          "the --steam-dir path."),
              "file": ("InvalidInput", "Not a folder: {}. Nothing was changed; --steam-dir "
                       "names the Steam folder itself.")}[given]
    message = reason[1].format(win_path(path)).replace("\\", "\\\\")
    assert r.err == f'Error: Custom {{ kind: {reason[0]}, error: "{message}" }}\n'
    assert "Found" not in r.out
    assert snapshot(sandbox) == before
    assert list((standard / "userdata" / "12345678").iterdir()) == []


def test_a_steam_nobody_has_signed_in_to_is_left_alone(run, sandbox):
    # userdata without an account folder (only the one Steam keeps for no account): nothing
    # to add the shortcut to, and nothing is written into userdata itself, where Steam would
    # never read it.
    root = make_steam(sandbox / "Fresh Steam", "0")
    before = snapshot(root)
    r = run("--name", "Foo", "--capsule", win_path(sandbox / "cwd"), "--steam-dir",
            win_path(root))
    assert (r.err, r.status) == ("", 0)
    assert r.out.endswith(f"\n[*] Processing Steam root: {dbg(root)}\n"
                          f"  [!] No user profiles found in {dbg(root)}/userdata. Skipping.\n"
                          "\n\u2713 Steam injection complete! Return to Steam or restart Steam "
                          "to see your game.\n")
    assert snapshot(root) == before


def test_a_grid_folder_that_cannot_be_made_stops_the_run(run, steam, sandbox):
    # A file where the account's grid folder belongs: nothing is claimed, nothing written.
    config = steam / "userdata" / "12345678" / "config"
    config.mkdir(parents=True)
    (config / "grid").write_bytes(b"not a folder")
    art = sandbox / "capsule.png"
    art.write_bytes(PNG)
    r = run("--name", "Foo", "--capsule", win_path(art), "--steam-dir", win_path(steam))
    assert r.status == 1
    assert r.err.startswith("Error: Os { code: ") and r.err.count("\n") == 1, r.err
    assert "Success" not in r.out and "Deploying" not in r.out
    assert sorted(p.name for p in config.iterdir()) == ["grid"]


def test_every_account_of_every_root_and_the_exclusive_steam_dir(wine, env, sandbox, tmp_path):
    registry_root = make_steam(sandbox / "RegSteam", "111", "222")
    program_root = make_steam(sandbox / "ProgramFilesX86" / "Steam", "333", "444")
    given_root = make_steam(sandbox / "Given", "555", "666")
    clone = wine.clone(tmp_path / "prefix")
    try:
        added = clone.wine(["reg", "add", r"HKCU\Software\Valve\Steam", "/v", "SteamPath", "/t",
                            "REG_SZ", "/d", win_path(registry_root).lower().replace("\\", "/"),
                            "/f"])
        assert added.returncode == 0, added
        r = clone.run(clone.exe, ["--name", "Four"], env=env, cwd=sandbox / "cwd")
        assert r.status == 0, r
        assert "[*] Found 2 Steam installation root(s).\n" in r.out
        assert r.out.index("RegSteam".lower()) < r.out.index("ProgramFilesX86")
        for root, accounts in ((registry_root, "111 222"), (program_root, "333 444")):
            for account in accounts.split():
                assert [e["AppName"] for e in vdf.dump(vdf_path(root, account))] == ["Four"]
                assert (vdf_path(root, account).parent / "grid").is_dir()
        assert r.out.count("     Successfully wrote 1 shortcuts to ") == 4

        r = clone.run(clone.exe, ["--name", "Given", "--steam-dir", win_path(given_root)],
                      env=env, cwd=sandbox / "cwd")
        assert r.status == 0, r
        assert "[*] Found 1 Steam installation root(s).\n" in r.out
        assert r.out.count("Successfully wrote") == 2
        assert [e["AppName"] for e in vdf.dump(vdf_path(registry_root, "111"))] == ["Four"]
        assert [e["AppName"] for e in vdf.dump(vdf_path(given_root, "666"))] == ["Given"]
    finally:
        clone.shutdown()


def test_second_run_updates_in_place(run, steam):
    args = ["--name", "Foo", "--url", "https://x/g.wasm", "--steam-dir", win_path(steam)]
    first = run(*args)
    assert "     Appending new shortcut for 'Foo'\n" in first.out
    before = vdf_path(steam, "12345678").read_bytes()
    second = run(*args)
    assert second.status == 0
    assert "     Read 1 existing shortcuts from " in second.out
    assert "     Updating existing shortcut at index 0\n" in second.out
    assert "     Successfully wrote 1 shortcuts to " in second.out
    assert vdf_path(steam, "12345678").read_bytes() == before
    assert (vdf_path(steam, "12345678").parent / "shortcuts.vdf.bak").read_bytes() == before


FOO_ID = appid_of('"marrowlane"', "Foo")


@pytest.mark.parametrize("existing, index", [
    ([("Other", 1), ("Foo", 5)], 1),                    # same name, another id
    ([("Old name", FOO_ID), ("Other", 1)], 0),          # same id, another name
    ([("Foo", 1), ("X", FOO_ID), ("Foo", 2)], 0),       # several: only the first
    ([("foo", 1)], None),                               # names compare case-sensitively
    ([("Other", 0), ("Foo", 0)], 1),                    # --appid 0: by name only
    ([("Other", 0)], None),                             # an entry without an id is not ours
])
def test_matching_existing_entries(run, steam, existing, index):
    put_vdf(steam, "12345678", vdf.shortcuts_file(
        *(vdf.entry(appid=i, name=n, exe='"old.exe"', tags=["keep"]) for n, i in existing)))
    # Entries without an "appid" key read as 0, so the runs with 0 in the table give 0.
    given_zero = any(i == 0 for _, i in existing)
    appid = ["--appid", "0"] if given_zero else []
    r = run("--name", "Foo", *appid, "--steam-dir", win_path(steam))
    assert r.status == 0, r
    after = vdf.dump(vdf_path(steam, "12345678"))
    if index is None:
        assert "     Appending new shortcut for 'Foo'\n" in r.out
        assert len(after) == len(existing) + 1
        index = len(existing)
    else:
        assert f"     Updating existing shortcut at index {index}\n" in r.out
        assert len(after) == len(existing)
    for i, entry in enumerate(after):
        if i == index:
            assert (entry["AppName"], entry["appid"], entry["Exe"], entry["tags"]) == (
                "Foo", 0 if given_zero else FOO_ID, '"marrowlane"', ["Marrowlane", "WebAssembly"])
        else:
            assert (entry["AppName"], entry["appid"], entry["tags"]) == (
                existing[i][0], existing[i][1], ["keep"])


def test_given_negative_appid_names_everything(run, steam, sandbox):
    icon = sandbox / "icon.png"
    icon.write_bytes(b"\x89PNG icon")
    r = run("--name", "Foo", "--appid", "-5", "--icon", win_path(icon), "--steam-dir",
            win_path(steam))
    assert r.status == 0, r
    assert "Steam AppID:   -5 (unsigned: 4294967291)\n" in r.out
    grid = vdf_path(steam, "12345678").parent / "grid"
    assert (grid / "4294967291_icon.png").read_bytes() == b"\x89PNG icon"
    (entry,) = vdf.dump(vdf_path(steam, "12345678"))
    assert entry["appid"] == 4294967291
    assert entry["icon"] == win_path(grid / "4294967291_icon.png")


@pytest.mark.parametrize("exe, stored", [
    (r"C:\Games\m.exe", r'"C:\Games\m.exe"'),
    (r'"C:\Games\m.exe"', r'"C:\Games\m.exe"'),
    ('"', '"'),
])
def test_executable_quoting(run, steam, exe, stored):
    r = run("--name", "Foo", "--exe", exe, "--steam-dir", win_path(steam))
    assert r.status == 0, r
    assert f"Executable:    {exe}\n" in r.out
    (entry,) = vdf.dump(vdf_path(steam, "12345678"))
    assert entry["Exe"] == stored
    assert entry["appid"] == appid_of(stored, "Foo")


def test_empty_file_reads_as_no_shortcuts(run, steam):
    put_vdf(steam, "12345678", b"")
    r = run("--name", "Foo", "--steam-dir", win_path(steam))
    assert r.status == 0, r
    assert f"     Read 0 existing shortcuts from {dbg(vdf_path(steam, '12345678'))}\n" in r.out
    assert r.stderr == b""
    assert len(vdf.dump(vdf_path(steam, "12345678"))) == 1


DAMAGED = ["corrupt-text-roundtrip-a.vdf", "corrupt-text-roundtrip-d.vdf",
           "corrupt-short-ints.vdf", "corrupt-missing-marker.vdf"]
# Damage at the root level, which a reader that stops there would turn into lost entries.
ROOT_DAMAGE = {
    "string-before-entries": b"\x00shortcuts\x00" + vdf.node_string("x", "y") +
                             b"\x000\x00" + vdf.entry(name="Kept") + b"\x08\x08\x08",
    "entries-after-root-end": vdf.shortcuts_file(vdf.entry(name="A"))[:-1] +
                              b"\x001\x00" + vdf.entry(name="B") + b"\x08\x08\x08",
}


# What a crash or a sync tool leaves after the root table: the file is still the user's.
@pytest.mark.parametrize("padding", [b"\x08", b"\n", b"\r\n", b"\0" * 4096],
                         ids=["end-byte", "lf", "crlf", "4k-zeros"])
def test_padding_after_the_table_keeps_the_other_shortcuts(run, steam, padding):
    path = put_vdf(steam, "12345678", vdf.shortcuts_file(vdf.entry(name="Other")) + padding)
    r = run("--name", "Foo", "--steam-dir", win_path(steam))
    assert r.status == 0, r
    assert r.stderr == b""
    assert f"     Read 1 existing shortcuts from {dbg(path)}\n" in r.out
    assert not (path.parent / "shortcuts.vdf.corrupt.bak").exists()
    assert [e["AppName"] for e in vdf.dump(path)] == ["Other", "Foo"]


@pytest.mark.parametrize("name", DAMAGED + list(ROOT_DAMAGE))
def test_damaged_file_is_kept_and_replaced(run, steam, fixtures_dir, name):
    source = fixtures_dir / "shortcuts-vdf" / name
    original = ROOT_DAMAGE[name] if name in ROOT_DAMAGE else source.read_bytes()
    path = put_vdf(steam, "12345678", original)
    message = vdf.parse_error(path)
    r = run("--name", "Foo", "--steam-dir", win_path(steam))
    assert r.status == 0, r
    assert r.err == (f"     [Warning] Failed to parse existing VDF ({message}). "
                     "Creating backup and starting fresh.\n")
    assert (path.parent / "shortcuts.vdf.corrupt.bak").read_bytes() == original
    assert (path.parent / "shortcuts.vdf.bak").read_bytes() == original
    assert [e["AppName"] for e in vdf.dump(path)] == ["Foo"]


def test_dry_run_writes_nothing_but_the_corrupt_backup(run, sandbox, fixtures_dir):
    root = make_steam(sandbox / "Steam", "1", "2")
    damaged = (fixtures_dir / "shortcuts-vdf" / "corrupt-short-ints.vdf").read_bytes()
    path = put_vdf(root, "2", damaged)
    art = sandbox / "art.png"
    art.write_bytes(b"art")
    before = sorted(p.relative_to(root) for p in root.rglob("*"))
    r = run("--name", "Foo", "--dry-run", "--hero", win_path(art), "--logo", win_path(art),
            "--steam-dir", win_path(root))
    assert r.status == 0, r
    grid1 = root / "userdata" / "1" / "config" / "grid"
    appid = appid_of('"marrowlane"', "Foo")
    assert (f"  -> User config directory: {dbg(grid1.parent)}\n"
            "     shortcuts.vdf does not exist yet. Creating a new one.\n"
            "     Appending new shortcut for 'Foo'\n"
            f"     [Dry Run] Would write 1 shortcuts to {dbg(grid1.parent / 'shortcuts.vdf')}\n"
            f"     Deploying Hero Banner (1920x620) -> {dbg(grid1 / f'{appid}_hero.png')}\n"
            f"     Deploying Transparent Logo -> {dbg(grid1 / f'{appid}_logo.png')}\n"
            ) in r.out
    assert "Copying" not in r.out and "Successfully" not in r.out
    after = sorted(p.relative_to(root) for p in root.rglob("*"))
    assert after == before + [pathlib.Path("userdata/2/config/shortcuts.vdf.corrupt.bak")]
    assert path.read_bytes() == damaged


def test_artwork_from_files_and_the_web(run, steam, sandbox, http_server):
    local = sandbox / "hero.png"
    local.write_bytes(b"hero bytes")
    capsule = http_server.serve("/capsule.png", PNG + b"capsule bytes")
    banner = http_server.serve("/banner.png", status=404)
    icon = http_server.serve("/icon.png", PNG + b"icon bytes")
    missing = win_path(sandbox / "nope.png")
    r = run("--name", "Art", "--capsule", capsule, "--hero", win_path(local), "--logo", missing,
            "--banner", banner, "--icon", icon, "--steam-dir", win_path(steam))
    assert r.status == 0, r
    appid = appid_of('"marrowlane"', "Art")
    grid = vdf_path(steam, "12345678").parent / "grid"
    assert (grid / f"{appid}p.png").read_bytes() == PNG + b"capsule bytes"
    assert (grid / f"{appid}_hero.png").read_bytes() == b"hero bytes"
    assert (grid / f"{appid}_icon.png").read_bytes() == PNG + b"icon bytes"
    assert not (grid / f"{appid}_logo.png").exists()
    assert not (grid / f"{appid}.json").exists()  # no logo, so no logo position
    assert not (grid / f"{appid}.png").exists()
    assert r.err == (f"       [!] Failed to deploy Transparent Logo: Local asset not found: {missing}\n"
                     "       [!] Failed to deploy Landscape Banner (460x215): "
                     f"Failed to download asset from {banner}\n")
    for label in ("Portrait Poster (600x900)", "Hero Banner (1920x620)", "Square Icon"):
        assert f"       ✓ Successfully saved {label}\n" in r.out
    assert f"  Downloading asset: {capsule} -> {dbg(grid / f'{appid}p.png')}\n" in r.out
    assert f"  Copying local asset: {dbg(local)} -> {dbg(grid / f'{appid}_hero.png')}\n" in r.out


@pytest.mark.parametrize("before", ["nothing", "the user's placement", "a folder"])
def test_a_deployed_logo_gets_a_position_file_once(run, steam, sandbox, before):
    # Steam draws a shortcut's logo only with "{id}.json" beside it. A placement the user saved
    # with Steam's "Adjust Logo Position" stays as it is.
    logo = sandbox / "logo.png"
    logo.write_bytes(PNG + b"logo")
    appid = appid_of('"marrowlane"', "Logo")
    position = vdf_path(steam, "12345678").parent / "grid" / f"{appid}.json"
    users = b'{"nVersion":1,"logoPosition":{"pinnedPosition":"CenterCenter","nWidthPct":65,"nHeightPct":89}}'
    if before == "a folder":
        position.mkdir(parents=True)
    elif before == "the user's placement":
        position.parent.mkdir(parents=True)
        position.write_bytes(users)
    r = run("--name", "Logo", "--logo", win_path(logo), "--steam-dir", win_path(steam))
    failed = logo_position_failed(win_path(position), "a folder of that name is in the way",
                                  indent="       ")
    assert (r.err, r.status) == (failed if before == "a folder" else "", 0)
    assert r.out.endswith("       ✓ Successfully saved Transparent Logo\n\n✓ Steam injection "
                          "complete! Return to Steam or restart Steam to see your game.\n")
    if before == "a folder":
        assert position.is_dir()
    else:
        assert position.read_bytes() == (users if before != "nothing" else LOGO_POSITION)


def test_icon_field_names_the_grid_icon_without_icon_option(run, steam):
    r = run("--name", "NoArt", "--steam-dir", win_path(steam))
    assert r.status == 0, r
    assert "Deploying" not in r.out
    grid = vdf_path(steam, "12345678").parent / "grid"
    (entry,) = vdf.dump(vdf_path(steam, "12345678"))
    assert entry["icon"] == win_path(grid / f"{appid_of(chr(34) + 'marrowlane' + chr(34), 'NoArt')}_icon.png")
    assert list(grid.iterdir()) == []


@pytest.mark.parametrize("name", ["steam-pre2017-root-capital-S.vdf",
                                  "steam-2026-sortas-lowercase-appname.vdf",
                                  "steam-2025-sortas.vdf", "steam-2022-lowercase-appname-exe.vdf",
                                  "steam-2022-lowercase-openvr.vdf", "tool-unknown-int-key.vdf"])
def test_real_steam_file_keeps_every_other_entry(run, steam, fixtures_dir, name):
    source = fixtures_dir / "shortcuts-vdf" / name
    before = vdf.dump(source)
    path = put_vdf(steam, "12345678", source.read_bytes())
    r = run("--name", "Marrowlane Test", "--steam-dir", win_path(steam))
    assert r.status == 0, r
    after = vdf.dump(path)
    assert after[:-1] == before
    assert after[-1]["AppName"] == "Marrowlane Test"
    if "sortas" in name:
        assert any("sortas" in e for e in after)


def test_other_entries_keep_their_bytes(run, steam):
    # An older tool wrote this path in Windows-1252; it must come back byte for byte, and a
    # float node Steam's format allows stays where it was.
    exe = b'"C:\\Jeux\\H\xe9ros\\h\xe9ros.exe"'
    old = (vdf.node_int("appid", 7) + b"\x01AppName\x00H\xe9ros\x00\x01Exe\x00" + exe +
           b"\x00\x03ratio\x00\x00\x00\x80\x3f" + vdf.node_table("tags", []))
    path = put_vdf(steam, "12345678", b"\x00shortcuts\x00\x000\x00" + old + b"\x08\x08\x08")
    r = run("--name", "Foo", "--steam-dir", win_path(steam))
    assert r.status == 0, r
    written = path.read_bytes()
    assert b"\x01AppName\x00H\xe9ros\x00" in written
    assert b"\x01Exe\x00" + exe + b"\x00" in written
    assert b"\x03ratio\x00\x00\x00\x80\x3f" in written
    assert [e["AppName"] for e in vdf.dump(path)] == ["H\ufffdros", "Foo"]


def lock(wine, path: pathlib.Path, share_read: bool):
    args = (["--share-read"] if share_read else []) + [win_path(path)]
    holder = wine.start(wine.tool("filelock"), args)
    holder.wait_for_output(b"locked\n")
    return holder


@pytest.mark.parametrize("share_read", [False, True])
def test_a_locked_file_stops_the_run_and_stays_intact(wine, run, steam, share_read):
    original = vdf.shortcuts_file(vdf.entry(appid=1, name="Mine", exe='"mine.exe"'))
    path = put_vdf(steam, "12345678", original)
    holder = lock(wine, path, share_read)
    try:
        r = run("--name", "Foo", "--steam-dir", win_path(steam))
    finally:
        holder.wait(stdin=b"\n")
    assert r.status == 1
    assert r.err.startswith("Error: Os { code: ") and r.err.endswith(" }\n"), r.err
    assert path.read_bytes() == original
    # Nothing half-written is left beside it.
    names = sorted(p.name for p in path.parent.iterdir())
    if share_read:
        # Read and backed up, then the replacement was refused.
        assert "     Read 1 existing shortcuts from " in r.out
        assert names == ["grid", "shortcuts.vdf", "shortcuts.vdf.bak"]
    else:
        assert "Read" not in r.out
        assert names == ["grid", "shortcuts.vdf"]


def test_whole_transcript(run, sandbox):
    root = make_steam(sandbox / "My Steam", "10000001", "20000002")
    (root / "userdata" / "anonymous").mkdir()
    put_vdf(root, "10000001", vdf.shortcuts_file(
        vdf.entry(appid=0x9000_0001, name="Solitaire", exe='"C:\\Games\\sol.exe"'),
        vdf.entry(appid=0x9000_0002, name="Racer", exe='"C:\\Games\\racer.exe"')))
    empty_root = make_steam(sandbox / "Empty Steam")
    art = sandbox / "art" / "capsule.png"
    art.parent.mkdir()
    art.write_bytes(b"capsule")
    missing = sandbox / "art" / "missing.png"

    args = ["--name", "Star Garden", "--url", "https://m.app/star.wasm", "--exe",
            r"C:\Users\P\AppData\Local\Marrowlane\marrowlane.exe", "--capsule", win_path(art),
            "--icon", win_path(missing), "--steam-dir", win_path(root)]
    r = run(*args)
    exe = r'"C:\Users\P\AppData\Local\Marrowlane\marrowlane.exe"'
    appid = appid_of(exe, "Star Garden")
    u1 = root / "userdata" / "10000001" / "config"
    u2 = root / "userdata" / "20000002" / "config"
    accounts = ""
    for config, read in ((u1, f"     Read 2 existing shortcuts from {dbg(u1 / 'shortcuts.vdf')}\n"),
                         (u2, "     shortcuts.vdf does not exist yet. Creating a new one.\n")):
        count = 3 if config == u1 else 1
        accounts += (
            f"  -> User config directory: {dbg(config)}\n"
            + read +
            "     Appending new shortcut for 'Star Garden'\n"
            f"     Successfully wrote {count} shortcuts to {dbg(config / 'shortcuts.vdf')}\n"
            f"     Deploying Portrait Poster (600x900) -> {dbg(config / 'grid' / f'{appid}p.png')}\n"
            f"  Copying local asset: {dbg(art)} -> {dbg(config / 'grid' / f'{appid}p.png')}\n"
            "       ✓ Successfully saved Portrait Poster (600x900)\n"
            f"     Deploying Square Icon -> {dbg(config / 'grid' / f'{appid}_icon.png')}\n")
    expected_out = (
        f"{RULE}\n Steam Non-Steam Shortcut Injector & Grid Automator  \n{RULE}\n"
        "Game Name:     Star Garden\n"
        "Game URL:      https://m.app/star.wasm\n"
        r"Executable:    C:\Users\P\AppData\Local\Marrowlane\marrowlane.exe" "\n"
        'Launch Options: --url "https://m.app/star.wasm"\n'
        f"Steam AppID:   {appid - 2**32} (unsigned: {appid})\n"
        "[*] Found 1 Steam installation root(s).\n"
        f"\n[*] Processing Steam root: {dbg(root)}\n"
        + accounts +
        "\n✓ Steam injection complete! Return to Steam or restart Steam to see your game.\n")
    expected_err = (
        f"       [!] Failed to deploy Square Icon: Local asset not found: {win_path(missing)}\n") * 2
    assert r.out == expected_out
    assert r.err == expected_err
    assert r.status == 0

    r = run("--name", "X", "--steam-dir", win_path(empty_root))
    assert r.out.endswith(f"\n[*] Processing Steam root: {dbg(empty_root)}\n"
                          f"  [!] No user profiles found in {dbg(empty_root)}/userdata. Skipping.\n"
                          "\n✓ Steam injection complete! Return to Steam or restart Steam to see "
                          "your game.\n")


def test_a_corrupt_file_whose_backup_fails_is_left_and_ends_the_run(run, steam, fixtures_dir):
    # A folder where the backup should go: the copy cannot be made, so the file it would
    # have saved must not be replaced either.
    damaged = (fixtures_dir / "shortcuts-vdf" / "corrupt-missing-marker.vdf").read_bytes()
    path = put_vdf(steam, "12345678", damaged)
    (path.parent / "shortcuts.vdf.corrupt.bak").mkdir()
    r = run("--name", "Foo", "--steam-dir", win_path(steam))
    assert r.status == 1
    assert r.err.startswith("Error: Os { code: ") and r.err.count("\n") == 1, r.err
    assert "Successfully" not in r.out and "complete" not in r.out
    assert path.read_bytes() == damaged
    assert sorted(p.name for p in path.parent.iterdir()) == [
        "grid", "shortcuts.vdf", "shortcuts.vdf.corrupt.bak"]
    assert list((path.parent / "shortcuts.vdf.corrupt.bak").iterdir()) == []


def test_a_root_listed_twice_keeps_the_original_in_the_backup(wine, env, sandbox, tmp_path):
    # Steam's own registry value names the folder in lower case with forward slashes, the
    # environment names it as created: one installation, two roots.
    root = make_steam(sandbox / "ProgramFilesX86" / "Steam", "111")
    original = vdf.shortcuts_file(vdf.entry(appid=7, name="Foo", exe='"old.exe"', tags=["mine"]),
                                  vdf.entry(appid=8, name="Other", exe='"other.exe"'))
    path = put_vdf(root, "111", original)
    clone = wine.clone(tmp_path / "prefix")
    try:
        added = clone.wine(["reg", "add", r"HKCU\Software\Valve\Steam", "/v", "SteamPath", "/t",
                            "REG_SZ", "/d", win_path(root).lower().replace("\\", "/"), "/f"])
        assert added.returncode == 0, added
        r = clone.run(clone.exe, ["--name", "Foo"], env=env, cwd=sandbox / "cwd")
    finally:
        clone.shutdown()
    assert r.status == 0, r
    assert "[*] Found 2 Steam installation root(s).\n" in r.out
    assert r.out.count("     Updating existing shortcut at index 0\n") == 2
    assert (path.parent / "shortcuts.vdf.bak").read_bytes() == original
    assert [(e["AppName"], e["Exe"]) for e in vdf.dump(path)] == [
        ("Foo", '"marrowlane"'), ("Other", '"other.exe"')]


def test_artwork_at_a_silent_server_fails_and_the_run_finishes(wine_with_fakes, env, steam,
                                                               sandbox, http_server):
    # A server that accepts and never answers; every download method gives up in turn (the
    # prefix with our curl and PowerShell, which wait on a silent server as the real ones do).
    wine = wine_with_fakes
    url = http_server.serve("/hero.png", b"never sent", behaviour="silent")
    # The total limit keeps its ten minutes: only the stall limit can end each method
    # before the guard.
    r = wine.run(wine.exe, ["--name", "Quiet", "--hero", url, "--steam-dir", win_path(steam)],
                 env={**env, "ML_TEST_DOWNLOAD_STALL_MS": "1500"}, cwd=sandbox / "cwd",
                 timeout=300)
    assert r.status == 0, r
    assert r.err == ("       [!] Failed to deploy Hero Banner (1920x620): "
                     f"Failed to download asset from {url}\n")
    grid = vdf_path(steam, "12345678").parent / "grid"
    assert list(grid.iterdir()) == []
    assert [e["AppName"] for e in vdf.dump(vdf_path(steam, "12345678"))] == ["Quiet"]
    assert http_server.paths_requested() == ["/hero.png"] * 3
    assert not {"curl.exe", "powershell.exe"} & set(wine.process_names())


def test_a_file_too_large_to_be_real_stops_the_run(run, steam):
    # A sparse file of 40 GiB: read whole it would exhaust memory and end the program.
    path = put_vdf(steam, "12345678", vdf.shortcuts_file(vdf.entry(appid=1, name="Mine")))
    os.truncate(path, 40 << 30)
    r = run("--name", "Foo", "--steam-dir", win_path(steam))
    assert r.status == 1
    assert r.err == ('Error: Custom { kind: InvalidData, error: "' +
                     dbg(path).replace("\\", "\\\\").replace('"', '\\"') +
                     ' is 40 GiB, more than the 256 MiB such a file can be" }\n')
    assert "Successfully" not in r.out and "complete" not in r.out
    assert path.stat().st_size == 40 << 30
    assert sorted(p.name for p in path.parent.iterdir()) == ["grid", "shortcuts.vdf"]


def test_a_linked_file_stays_a_link_and_its_target_changes(run, steam, sandbox):
    # Some users keep shortcuts.vdf in a synced folder and link it into Steam's.
    original = vdf.shortcuts_file(vdf.entry(appid=1, name="Mine", exe='"mine.exe"'))
    target = sandbox / "Synced" / "shortcuts.vdf"
    target.parent.mkdir()
    target.write_bytes(original)
    link = vdf_path(steam, "12345678")
    link.parent.mkdir(parents=True)
    link.symlink_to(target)
    for run_number in (1, 2):
        r = run("--name", "Foo", "--steam-dir", win_path(steam))
        assert r.status == 0, r
        assert link.is_symlink() and link.resolve() == target
        assert [e["AppName"] for e in vdf.dump(target)] == ["Mine", "Foo"]
    # The backups are plain files beside the link, and nothing was left beside the target.
    backup = link.parent / "shortcuts.vdf.bak"
    assert not backup.is_symlink() and [e["AppName"] for e in vdf.dump(backup)] == ["Mine", "Foo"]
    assert sorted(p.name for p in target.parent.iterdir()) == ["shortcuts.vdf"]
    assert sorted(p.name for p in link.parent.iterdir()) == ["grid", "shortcuts.vdf",
                                                             "shortcuts.vdf.bak"]


# The waiting run names the one it waits for, as that one names itself.
WAITING = re.compile(r"\[\*\] Waiting for another Marrowlane run \(process [0-9]+, an "
                     r"installation\) to finish with Steam's shortcut files\.\.\.\n")


def hold_steam_lock(wine):
    """Holds the lock on Steam's shortcut files as an installation of ours does, until the
    returned program is given a line."""
    holder = wine.start(wine.tool("filelock"), ["--steam-lock"])
    holder.wait_for_output(b"locked\n")
    return holder


def test_runs_started_together_keep_every_entry(launch, sandbox):
    # A script that adds several games starts its runs at once: each must see the others'
    # entries, or the last writer drops them.
    for round_number in range(4):
        root = make_steam(sandbox / f"Steam{round_number}", "111")
        path = put_vdf(root, "111", vdf.shortcuts_file(vdf.entry(appid=1, name="Mine")))
        names = [f"Game {round_number}-{i}" for i in range(3)]
        running = [launch("--name", name, "--steam-dir", win_path(root)) for name in names]
        results = [r.wait(timeout=120) for r in running]
        assert [r.status for r in results] == [0, 0, 0], results
        assert sorted(e["AppName"] for e in vdf.dump(path)) == sorted(["Mine", *names])


@pytest.mark.parametrize("which", ["injection", "installation"])
def test_a_run_waits_while_another_holds_the_files(wine, launch, sandbox, which):
    # The lock is held as a first installation holds it; a second one, or an injection run,
    # waits for it instead of reading the file that is about to change.
    root = make_steam(sandbox / "ProgramFilesX86" / "Steam", "111")
    original = vdf.shortcuts_file(vdf.entry(appid=1, name="Mine"))
    path = put_vdf(root, "111", original)
    args = {"injection": ["--name", "Foo", "--steam-dir", win_path(root)],
            "installation": ["--cli", "-y", "--no-desktop", "--no-menu", "--server-origin",
                             "http://127.0.0.1:9"]}[which]
    holder = hold_steam_lock(wine)
    try:
        running = launch(*args, timeout=120)
        running.wait_for_output(b"[*] Waiting for another Marrowlane run (process ",
                                stream="stderr", timeout=60)
        # Waiting, it has read nothing and written nothing.
        assert "Read" not in running.stdout_so_far().decode()
        assert path.read_bytes() == original and running.running()
    finally:
        holder.wait(stdin=b"\n")
    r = running.wait(timeout=120)
    # The installation's server is out of reach: its images fail, each named.
    images = [label for _, _, label in STEAM_ART] if which == "installation" else []
    waited = WAITING.match(r.err)
    assert waited, r.err
    assert (r.err[waited.end():], r.status) == (
        artwork_failed_text("http://127.0.0.1:9", images), 0)
    assert [e["AppName"] for e in vdf.dump(path)] == ["Mine", "Foo" if which == "injection"
                                                      else "Marrowlane"]


BUSY = (r"another Marrowlane run \(process [0-9]+, an installation\) has held Steam's shortcut "
        r"files for over 1 second")


@pytest.mark.parametrize("which", ["injection", "installation", "uninstallation"])
def test_a_run_that_cannot_get_the_files_writes_nothing(wine, run, sandbox, which):
    root = make_steam(sandbox / "ProgramFilesX86" / "Steam", "111")
    original = vdf.shortcuts_file(vdf.entry(appid=1, name="Mine"),
                                  vdf.entry(appid=2, name="Marrowlane", exe='"marrowlane.exe"'))
    path = put_vdf(root, "111", original)
    args = {"injection": ["--name", "Foo", "--steam-dir", win_path(root)],
            "installation": ["--cli", "-y", "--no-desktop", "--no-menu", "--server-origin",
                             "http://127.0.0.1:9"],
            "uninstallation": ["--uninstall", "--cli"]}[which]
    holder = hold_steam_lock(wine)
    try:
        r = run(*args, extra_env={"ML_TEST_STEAM_LOCK_MS": "1000"}, timeout=120)
    finally:
        holder.wait(stdin=b"\n")
    assert path.read_bytes() == original
    assert sorted(p.name for p in path.parent.iterdir()) == ["shortcuts.vdf"]
    waited = WAITING.match(r.err)
    assert waited, r.err
    message = r.err[waited.end():]
    if which == "injection":
        assert r.status == 1
        assert re.fullmatch(r'Error: Custom \{ kind: Other, error: "Nothing was written: ' + BUSY +
                            r'\. Run this again once it has finished\." \}\n', message), message
        assert "Successfully" not in r.out
    else:
        assert r.status == 0
        tail = ("Marrowlane was not added to Steam; run the setup again to add it"
                if which == "installation" else
                "Its Marrowlane entries were not removed; run the uninstaller again to remove "
                "them")
        assert re.fullmatch(r"  \[!\] Skipped the Steam library: " + BUSY + r"\. " + tail + r"\.\n",
                            message), message
        # Nor does the installation's summary, or the uninstallation's closing line, claim
        # the library.
        assert "Steam Library shortcut" not in r.out
        assert "cleanly uninstalled" not in r.out
