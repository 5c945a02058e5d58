"""The uninstallation finds what the installation made after the machine has changed: a
Desktop that has moved back, a folder given with --install-dir, a second installation into
another folder (whose Steam entry then has another app id). And a record that another
program has edited can never make it remove anything but the product's own names."""
from __future__ import annotations

import codecs
import pathlib

import pytest

import vdf
from harness import SHELL_FOLDER_VARIABLES, wait_until, win_path
from installer_text import UNINSTALL_SUBKEY, snapshot
from test_uninstaller import (GONE_WITHIN, INSTALLED, RULE, expected_out, grid_files,
                              put_account, put_files, serve_product)

KEY = "HKCU\\" + UNINSTALL_SUBKEY


@pytest.fixture(autouse=True)
def no_uninstall_entry(wine):
    """The session's registry holds no uninstall entry (nor its record) around each test."""
    wine.wine(["reg", "delete", KEY, "/f"])
    yield
    wine.wine(["reg", "delete", KEY, "/f"])


def files_in(folder: pathlib.Path) -> list[str]:
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())


def install(wine, env, sandbox, origin, *args, extra_env=None):
    r = wine.run(wine.exe, ["--cli", "-y", "--server-origin", origin, *args],
                 env=dict(env, **(extra_env or {})), cwd=sandbox / "cwd")
    assert r.status == 0, r
    return r


def uninstall(wine, env, sandbox, program=None):
    """Unattended, as Windows Settings' quiet command or a package manager runs it."""
    return wine.run(program or wine.exe, ["--uninstall", "--cli", "-y"], env=env,
                    cwd=sandbox / "cwd")


def default_folder(sandbox) -> str:
    return win_path(sandbox / "LocalAppData" / "Marrowlane")


# A name that cmd would expand (%off%) reaches the removal after exit unchanged.
@pytest.mark.parametrize("name, users_files", [("ML", ["notes.txt", "saves/slot1.dat"]),
                                               ("ML", []), ("50%off%", [])])
def test_a_folder_given_with_install_dir_loses_only_the_products_files(wine, env, sandbox,
                                                                      http_server, name,
                                                                      users_files):
    origin = serve_product(http_server, wine)
    games = sandbox / "cwd" / "games"
    folder = games / name
    put_files(folder, users_files)
    # A neighbour holding the same file names is never looked at.
    put_files(games / "Other", INSTALLED[:-1])
    neighbour = snapshot(games / "Other")
    install(wine, env, sandbox, origin, "--no-steam", "--install-dir", "games\\" + name)
    assert files_in(folder) == sorted(INSTALLED[:-1] + users_files)

    # Started as Windows Settings starts it: the copy in that folder, which goes after its exit.
    r = uninstall(wine, env, sandbox, program=folder / "Marrowlane-Setup.exe")
    assert (r.out, r.err, r.status) == (expected_out(default_folder(sandbox)), "", 0)
    if users_files:
        wait_until(lambda: files_in(folder) == users_files, timeout=GONE_WITHIN)
    else:
        wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)
    assert snapshot(games / "Other") == neighbour
    assert sorted(p.name for p in games.iterdir()) == ([name, "Other"] if users_files else ["Other"])


def test_a_second_installation_elsewhere_orphans_nothing_of_the_first(wine, env, sandbox,
                                                                   http_server, fixtures_dir):
    origin = serve_product(http_server, wine)
    real = fixtures_dir / "shortcuts-vdf" / "steam-2025-sortas.vdf"
    accounts = [put_account(sandbox, "111", real.read_bytes(), ["12345p.png"]),
                put_account(sandbox, "222", None, [])]
    games = sandbox / "cwd" / "games"
    # The first time, OneDrive's folder backup held the Desktop; since then it has stopped.
    onedrive = sandbox / "Profile" / "OneDrive" / "Desktop"
    put_files(onedrive, ["Other.lnk"])

    def product_ids() -> list[int]:
        return [[e["appid"] for e in vdf.dump(config / "shortcuts.vdf")
                 if e["AppName"] == "Marrowlane"] for config in accounts]

    install(wine, env, sandbox, origin, "--install-dir", "games\\A",
            extra_env={SHELL_FOLDER_VARIABLES["Desktop"]: win_path(onedrive)})
    [first], _ = product_ids()
    install(wine, env, sandbox, origin, "--install-dir", "games\\B")
    # The entry follows the runner to its new folder, under a new id; the first id's images
    # go with the entry they belonged to.
    ids = product_ids()
    assert len({i for pair in ids for i in pair}) == 1 and ids[0][0] != first, ids
    second = ids[0][0]
    assert sorted(p.name for p in (accounts[0] / "grid").iterdir()) == sorted(
        grid_files(second) + ["12345p.png"])
    assert sorted(p.name for p in (accounts[1] / "grid").iterdir()) == sorted(grid_files(second))
    assert files_in(games / "A") == sorted(INSTALLED[:-1])

    r = uninstall(wine, env, sandbox)
    assert (r.out, r.err, r.status) == (expected_out(default_folder(sandbox)), "", 0)
    # Both folders were the product's alone, and the uninstaller ran from neither.
    assert list(games.iterdir()) == []
    assert sorted(p.name for p in onedrive.iterdir()) == ["Other.lnk"]
    assert vdf.dump(accounts[0] / "shortcuts.vdf") == vdf.dump(real)
    assert sorted(p.name for p in (accounts[0] / "grid").iterdir()) == ["12345p.png"]
    assert list((accounts[1] / "grid").iterdir()) == []


def write_record(wine, sandbox, text: str) -> None:
    """Puts `text` into the uninstall entry's record as another program could (reg add cannot
    give a value line breaks; a .reg file in Unicode can)."""
    data = (text + "\0").encode("utf-16-le")
    reg = sandbox / "record.reg"
    reg.write_bytes(codecs.BOM_UTF16_LE + (
        "Windows Registry Editor Version 5.00\r\n\r\n"
        f"[HKEY_CURRENT_USER\\{UNINSTALL_SUBKEY}]\r\n"
        f"\"InstallRecord\"=hex(1):{','.join(f'{b:02x}' for b in data)}\r\n").encode("utf-16-le"))
    r = wine.wine(["reg", "import", win_path(reg)])
    assert r.returncode == 0, r


SHELL_LINK_HEADER = bytes([0x4C, 0, 0, 0, 0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0,
                           0, 0x46])


def test_an_edited_record_removes_nothing_but_the_products_names(wine, env, sandbox):
    user = sandbox / "Documents"
    put_files(user, ["letter.txt", "Marrowlane.lnk/keep.txt", "notes/Marrowlane.lnk",
                     "real/keep.txt"])
    (user / "real" / "Marrowlane.lnk").write_bytes(SHELL_LINK_HEADER + b"the user's own")
    (user / "links").mkdir()
    (user / "links" / "Marrowlane.lnk").symlink_to(user / "real" / "Marrowlane.lnk")
    # A folder of another program's, with the generic names only; one that looks like ours
    # but whose runner is a link to the user's letter and whose config.json is a folder; and
    # a link to a folder that holds a runner.
    generic = sandbox / "Other program"
    put_files(generic, ["config.json", "WebView2Loader.dll"])
    linked = sandbox / "Linked"
    put_files(linked, ["Marrowlane-Setup.exe", "config.json/keep.txt"])
    (linked / "marrowlane.exe").symlink_to(user / "letter.txt")
    put_files(sandbox / "Elsewhere", ["marrowlane.exe", "config.json"])
    (sandbox / "Alias").symlink_to(sandbox / "Elsewhere", target_is_directory=True)
    # In a Steam account, the artwork of the user's own shortcut and of a Steam game.
    own = vdf.entry(appid=3000000005, name="Other", exe='"C:\\Other\\other.exe"')
    config = put_account(sandbox, "111", vdf.shortcuts_file(own),
                         grid_files(3000000005) + grid_files(440))
    account = win_path(config.parent)
    write_record(wine, sandbox, "\n".join([
        "Marrowlane install record 1",
        *(f"folder\t{win_path(p)}" for p in (generic, linked, sandbox / "Alias")),
        *(f"shortcut\t{win_path(p)}" for p in (
            user / "Marrowlane.lnk", user / "notes" / "Marrowlane.lnk",
            user / "links" / "Marrowlane.lnk")),
        f"steam\t3000000005\t{account}", f"steam\t440\t{account}"]))
    before = snapshot(sandbox)

    r = uninstall(wine, env, sandbox)
    assert (r.out, r.err, r.status) == (expected_out(default_folder(sandbox)), "", 0)
    after = snapshot(sandbox)
    # The one file of ours in a folder that holds a file only the product names so; Wine
    # cannot remove a link without reaching its target, so the links all stay.
    assert {p: s for p, s in before.items() if p not in after} == {
        "Linked/Marrowlane-Setup.exe": len(b"Marrowlane-Setup.exe")}
    assert {p for p in after if p not in before} == set()
    assert (user / "letter.txt").read_bytes() == b"letter.txt"
    assert (user / "real" / "Marrowlane.lnk").read_bytes().endswith(b"the user's own")
