"""Files the installation takes from beside the setup (Explorer starts a downloaded setup in
the Downloads folder, where anything may lie under those names), and what its copies carry."""
from __future__ import annotations

import hashlib
import os
import pathlib
import shutil
import stat

import pytest

from harness import win_path
from installer_text import SHARING_VIOLATION, app_files_text, debug_path, without_wine_notes

ROOT = pathlib.Path(__file__).resolve().parents[2]
LOADER_SHA256 = "86545b66cdb0603bc26b626fb9ad610cb6e71f28d468f5ea66df23b03dda96d5"
ARGS = ("--cli", "-y", "--no-steam", "--no-desktop", "--no-menu")
# A saved error page under the loader's name: 38 bytes of HTML.
PAGE = b"<html><body>404 Not Found</body></html>"[:38]


def vendor_loader() -> bytes:
    for folder in (ROOT.parent / "shared" / "vendor", pathlib.Path("/work/shared/vendor")):
        if (folder / "WebView2Loader.dll").exists():
            return (folder / "WebView2Loader.dll").read_bytes()
    pytest.skip("the vendor WebView2Loader.dll is not on this machine")


def writable(path: pathlib.Path) -> bool:
    """Whether the file carries no read-only attribute (Wine shows a file without write
    permission as read-only; the tests run as root, so os.access cannot tell)."""
    return bool(stat.S_IMODE(path.stat().st_mode) & stat.S_IWUSR)


@pytest.mark.parametrize("local", ["a saved page", "another x64 library", "the same library"])
def test_a_local_loader_must_be_an_x64_library(wine, run, sandbox, http_server, local):
    data = {"a saved page": PAGE,
            "another x64 library": (wine.tools / "fake_loader.dll").read_bytes(),
            "the same library": vendor_loader()}[local]
    assert len(PAGE) == 38
    (sandbox / "cwd" / "WebView2Loader.dll").write_bytes(data)
    origin = http_server.url("")
    r = run(*ARGS, "--server-origin", origin)
    folder = sandbox / "LocalAppData" / "Marrowlane"
    install_path = win_path(folder)
    source = "WebView2Loader.dll"
    installed = (folder / "WebView2Loader.dll").read_bytes()
    assert r.status == 0, r
    if local == "a saved page":
        # Passed over with one line; the server has none, so the setup's own copy goes in.
        assert without_wine_notes(r.stderr) == (
            f"[!] Passed over {debug_path(source)}: it is not a 64-bit Windows library, so it "
            "cannot be WebView2Loader.dll\n")
        assert app_files_text(install_path, origin, runner="failed") in r.out
        assert hashlib.sha256(installed).hexdigest() == LOADER_SHA256
        return
    # Taken, and named when it is not the library the setup carries.
    assert app_files_text(install_path, origin, runner="failed",
                          loader=("local", source)) in r.out
    assert installed == data
    note = (f"[!] Note: {debug_path(source)} is not the WebView2Loader.dll this setup carries "
            "(its bytes differ); it was installed because it lies where the setup looks for a "
            "local copy\n")
    assert without_wine_notes(r.stderr) == (note if local == "another x64 library" else "")


def test_files_a_browser_marked_as_downloaded_are_passed_over(wine, run, sandbox, http_server):
    # A browser saved these into the Downloads folder, where Explorer starts a downloaded
    # setup. Windows keeps the mark in the file's Zone.Identifier stream; Wine, which has no
    # alternate streams, opens "name:Zone.Identifier" as a file of that name.
    cwd = sandbox / "cwd"
    marked = {"marrowlane.exe": (wine.tool("argecho").read_bytes(), 3),
              "WebView2Loader.dll": (vendor_loader(), 4),
              "marrowlane.ico": ((ROOT / "assets" / "marrowlane.ico").read_bytes(), 3)}
    for name, (data, zone) in marked.items():
        (cwd / name).write_bytes(data)
        (cwd / f"{name}:Zone.Identifier").write_bytes(
            f"[ZoneTransfer]\r\nZoneId={zone}\r\nHostUrl=https://x.test/{name}\r\n".encode())
    origin = http_server.url("")
    r = run(*ARGS, "--server-origin", origin)
    folder = sandbox / "LocalAppData" / "Marrowlane"
    assert r.status == 0, r
    # The search went on: to the server (which has none of them) and the setup's own loader.
    assert app_files_text(win_path(folder), origin, runner="failed") in r.out
    assert without_wine_notes(r.stderr) == "".join(
        f"[!] Passed over {debug_path(name)}: it is marked as downloaded from "
        f"{'a restricted site' if zone == 4 else 'the Internet'} (Zone.Identifier zone {zone}), "
        "and the setup installs no downloaded file from beside it\n"
        for name, (_, zone) in marked.items())
    assert sorted(p.name for p in folder.iterdir()) == [
        "Marrowlane-Setup.exe", "WebView2Loader.dll", "config.json"]
    assert hashlib.sha256((folder / "WebView2Loader.dll").read_bytes()).hexdigest() == LOADER_SHA256


def test_copies_are_plain_files_replacing_read_only_ones(wine, run, env, sandbox, http_server):
    # A setup run from a read-only place (a mounted image, a read-only download), with local
    # files that are read-only too, over an installation whose files are read-only.
    source = sandbox / "Image"
    source.mkdir()
    setup = source / "Marrowlane-Setup.exe"
    shutil.copyfile(wine.exe, setup)
    cwd = sandbox / "cwd"
    shutil.copyfile(wine.tool("argecho"), cwd / "marrowlane.exe")
    (cwd / "WebView2Loader.dll").write_bytes(vendor_loader())
    shutil.copyfile(ROOT / "assets" / "marrowlane.ico", cwd / "marrowlane.ico")
    folder = sandbox / "LocalAppData" / "Marrowlane"
    folder.mkdir()
    names = ["Marrowlane-Setup.exe", "marrowlane.exe", "WebView2Loader.dll", "marrowlane.ico"]
    for name in names:
        (folder / name).write_bytes(b"MZ from an earlier installation")
    for path in [setup, *(cwd / n for n in names[1:]), *(folder / n for n in names)]:
        path.chmod(0o444)

    r = wine.run(setup, [*ARGS, "--server-origin", http_server.url("")], env=env, cwd=cwd)
    assert (without_wine_notes(r.stderr), r.status) == ("", 0), r
    for name, original in zip(names, [setup, *(cwd / n for n in names[1:])]):
        assert (folder / name).read_bytes() == original.read_bytes(), name
        assert writable(folder / name), name
    assert not [p.name for p in folder.iterdir() if p.name.endswith(".tmp")]


def test_a_failed_local_copy_is_no_success(wine, run, sandbox, http_server):
    # The installed loader is held open (the runner still runs): the local copy cannot take
    # its place, and the console must not say it did.
    folder = sandbox / "LocalAppData" / "Marrowlane"
    folder.mkdir(parents=True)
    held = folder / "WebView2Loader.dll"
    held.write_bytes(b"MZ the loader the runner has loaded")
    (sandbox / "cwd" / "WebView2Loader.dll").write_bytes(vendor_loader())
    holder = wine.start(wine.tool("filelock"), [win_path(held)])
    holder.wait_for_output(b"locked\n")
    try:
        r = run(*ARGS, "--server-origin", http_server.url(""))
    finally:
        holder.wait(stdin=b"\n")
    assert r.status == 0, r
    assert "from local" not in r.out
    # Nor can the built-in copy take its place, which must not be claimed either.
    assert "Extracted embedded" not in r.out
    assert without_wine_notes(r.stderr) == (
        f"[!] Could not deploy WebView2Loader.dll from local {debug_path('WebView2Loader.dll')} "
        f"-> {debug_path(win_path(held))} ({SHARING_VIOLATION})\n"
        f"[!] Could not write the built-in WebView2Loader.dll -> {debug_path(win_path(held))} "
        f"({SHARING_VIOLATION})\n")
    assert held.read_bytes() == b"MZ the loader the runner has loaded"
