"""Copying and downloading assets, against a loopback HTTP server of the test."""
import time

import pytest

from harness import refused_url, win_path

PNG = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 40


def debug_form(path):
    return '"' + str(path).replace("\\", "\\\\").replace('"', '\\"') + '"'


def downloading(url, dest):
    return f"  Downloading asset: {url} -> {debug_form(win_path(dest))}\n"


def copying(source, dest):
    source, dest = debug_form(win_path(source)), debug_form(win_path(dest))
    return f"  Copying local asset: {source} -> {dest}\n"


def leftovers(folder):
    """Files a download left beside its destination."""
    return sorted(p.name for p in folder.iterdir() if p.name.endswith(".tmp"))


@pytest.fixture(scope="module")
def wine(wine_with_fakes):
    return wine_with_fakes


class Fakes:
    """The logs of our curl and PowerShell, which stand in the system folder of this
    module's prefix; each records how it was started."""

    def __init__(self, sandbox):
        self.curl_log = sandbox / "curl.log"
        self.ps_log = sandbox / "powershell.log"
        self.env = {"FAKECURL_LOG": win_path(self.curl_log), "FAKEPS_LOG": win_path(self.ps_log)}

    def curl_calls(self):
        return self.curl_log.read_text().splitlines() if self.curl_log.exists() else []

    def statements(self):
        lines = self.ps_log.read_text().splitlines() if self.ps_log.exists() else []
        return [line for line in lines if line.startswith("statement ")]


@pytest.fixture
def fakes(wine, sandbox):
    return Fakes(sandbox)


def test_download_into_a_new_folder(steamprobe, http_server, sandbox):
    url = http_server.serve("/media/steam/capsule.png", PNG)
    dest = sandbox / "grid" / "deeper" / "1p.png"
    r = steamprobe("fetch", url, win_path(dest))
    assert (r.out, r.status) == (downloading(url, dest), 0)
    assert dest.read_bytes() == PNG
    assert http_server.paths_requested() == ["/media/steam/capsule.png"]
    assert leftovers(dest.parent) == []


def test_download_follows_redirects(steamprobe, http_server, sandbox):
    # Download addresses of a distribution server commonly redirect to the file itself.
    target = http_server.serve("/files/marrowlane.exe", b"MZ" + PNG)
    url = http_server.serve("/api/download?os=windows", status=302,
                            headers={"Location": target})
    dest = sandbox / "marrowlane.exe"
    r = steamprobe("fetch", url, win_path(dest))
    assert (r.out, r.status) == (downloading(url, dest), 0)
    assert dest.read_bytes() == b"MZ" + PNG
    assert http_server.paths_requested() == ["/api/download?os=windows", "/files/marrowlane.exe"]


@pytest.mark.parametrize("status", [404, 500])
def test_http_error_is_no_asset_and_keeps_the_earlier_file(steamprobe, http_server, fakes,
                                                           sandbox, status):
    # The URL service alone would report success and save the error page as the file.
    url = http_server.serve("/marrowlane.png", status=status)
    dest = sandbox / "icons" / "marrowlane.png"
    dest.parent.mkdir()
    dest.write_bytes(PNG)
    r = steamprobe("fetch", url, win_path(dest), extra_env=fakes.env)
    assert r.out == downloading(url, dest) + f"error Other: Failed to download asset from {url}\n"
    assert r.status == 1
    assert dest.read_bytes() == PNG
    assert leftovers(dest.parent) == []
    # All three methods asked, in order: the URL service, curl, PowerShell.
    assert http_server.paths_requested() == ["/marrowlane.png"] * 3
    [curl] = fakes.curl_calls()
    assert curl.startswith(f'curl "-fsSL" "{url}" "-o" ' + debug_form(win_path(dest))[:-1] + ".")
    assert len(fakes.statements()) == 1


def test_refused_connection_fails_every_method(steamprobe, fakes, sandbox):
    url = refused_url("/a.png")
    dest = sandbox / "a.png"
    r = steamprobe("fetch", url, win_path(dest), extra_env=fakes.env)
    assert r.status == 1
    assert r.out.endswith(f"error Other: Failed to download asset from {url}\n")
    assert not dest.exists()
    assert len(fakes.curl_calls()) == 1 and len(fakes.statements()) == 1, r
    assert leftovers(sandbox) == []


def test_empty_body(steamprobe, session_wine, env, http_server, fakes, sandbox):
    url = http_server.serve("/empty.png", b"")
    # Where our fakes are not, Wine has no curl and its own PowerShell does nothing: no
    # method gives a file, and the earlier one stays.
    dest = sandbox / "stub" / "empty.png"
    dest.parent.mkdir()
    dest.write_bytes(PNG)
    r = session_wine.run(session_wine.tool("steamprobe"), ["fetch", url, win_path(dest)],
                         env=env, cwd=dest.parent)
    assert r.status == 1 and dest.read_bytes() == PNG

    # The URL service and curl leave empty files, which do not count; an empty file from
    # PowerShell with status 0 does.
    dest = sandbox / "ours" / "empty.png"
    r = steamprobe("fetch", url, win_path(dest), extra_env=fakes.env)
    assert (r.out, r.status) == (downloading(url, dest), 0)
    assert dest.read_bytes() == b""
    assert len(fakes.curl_calls()) == 1 and len(fakes.statements()) == 1
    assert leftovers(dest.parent) == []


@pytest.mark.parametrize("name", [
    "it's.png",
    "x'; Set-Content -Path pwned.txt -Value 1; '.png",
    "typographic\u2019; Set-Content -Path pwned.txt -Value 1; \u2018.png",
])
def test_quotes_reach_powershell_as_literal_text(steamprobe, http_server, fakes, sandbox, name):
    # Nothing is served, so the request goes on to PowerShell, which must read the address
    # and the file name back exactly, as one command.
    url = http_server.url("/" + name)
    dest = sandbox / "o'k \u2019" / name
    r = steamprobe("fetch", url, win_path(dest), extra_env=fakes.env)
    assert r.status == 1
    # The script holds the address with each quote character doubled ...
    literal = "'" + "".join(c * 2 if c in "'\u2018\u2019" else c for c in url) + "'"
    assert f"-Uri {literal} -OutFile '" in fakes.ps_log.read_text()
    # ... and PowerShell reads it back as the one command with the address unchanged.
    [statement] = fakes.statements()
    command = f"statement Invoke-WebRequest -UseBasicParsing -Uri {debug_form(url)} -OutFile "
    assert statement.startswith(command)
    out_file = statement[len(command):]
    assert out_file.startswith(debug_form(win_path(dest))[:-1] + ".") and out_file.endswith('.tmp"')
    assert not (sandbox / "cwd" / "pwned.txt").exists()


def test_local_copy(steamprobe, sandbox):
    source = sandbox / "art" / "hero 'wide' \u2713.png"
    source.parent.mkdir()
    source.write_bytes(PNG)
    dest = sandbox / "grid" / "new" / "1_hero.png"
    r = steamprobe("fetch", win_path(source), win_path(dest))
    assert r.out == copying(source, dest)
    assert r.status == 0 and dest.read_bytes() == PNG

    # Over an earlier file.
    source.write_bytes(b"newer")
    assert steamprobe("fetch", win_path(source), win_path(dest)).status == 0
    assert dest.read_bytes() == b"newer"


def test_local_failures(steamprobe, http_server, sandbox):
    # A missing source prints nothing and creates no folder; an address whose scheme is not
    # lower-case http(s) is a local path.
    for source in [win_path(sandbox / "missing.png"), http_server.url("/a.png").upper(),
                   "ftp://127.0.0.1/a.png"]:
        dest = sandbox / "not-created" / "a.png"
        r = steamprobe("fetch", source, win_path(dest))
        assert (r.out, r.status) == (f"error NotFound: Local asset not found: {source}\n", 1)
        assert not dest.parent.exists()
    assert http_server.requests == []

    # A source that exists but cannot be copied (a folder) prints its line first, then the
    # copy's own error.
    folder = sandbox / "a folder"
    folder.mkdir()
    dest = sandbox / "g" / "x.png"
    r = steamprobe("fetch", win_path(folder), win_path(dest))
    assert r.status == 1
    assert r.out.startswith(copying(folder, dest))
    assert r.out.count("\n") == 2 and "\nerror " in r.out and not dest.exists()


# -- downloads that lie: nothing of them replaces what was there ----------------------------

HTML = b"<!doctype html><html><body>Please sign in to the network</body></html>"


@pytest.mark.parametrize("case", ["short body", "page for an image", "page for a program"])
def test_a_download_that_is_not_what_was_asked_fails_every_method(steamprobe, http_server, fakes,
                                                                  sandbox, case):
    # A connection closed after 5,002 of 200,000 announced bytes: the URL service reports
    # success for it (under Wine), curl exits 18, PowerShell fails; a portal's page answered
    # with 200 fails the caller's content check whichever method fetched it.
    body, check, kind = {
        "short body": (b"MZ" + bytes(5000), "--executable", "Other"),
        "page for an image": (HTML, "--image", "InvalidData"),
        "page for a program": (HTML, "--executable", "InvalidData"),
    }[case]
    url = http_server.serve("/asset", body, announce=200_000 if case == "short body" else None)
    dest = sandbox / "kept" / "asset"
    dest.parent.mkdir()
    dest.write_bytes(b"MZ earlier" if check == "--executable" else PNG)
    earlier = dest.read_bytes()
    r = steamprobe("fetch", check, url, win_path(dest), extra_env=fakes.env)
    assert (r.out, r.status) == (
        downloading(url, dest) + f"error {kind}: Failed to download asset from {url}\n", 1)
    assert dest.read_bytes() == earlier
    assert leftovers(dest.parent) == []
    assert http_server.paths_requested() == ["/asset"] * 3
    assert len(fakes.curl_calls()) == 1 and len(fakes.statements()) == 1


def test_a_download_that_passes_its_check_replaces_the_file(steamprobe, http_server, sandbox):
    for check, body in (("--image", PNG), ("--executable", b"MZ" + PNG)):
        url = http_server.serve("/ok", body)
        dest = sandbox / "ok"
        dest.write_bytes(b"earlier")
        r = steamprobe("fetch", check, url, win_path(dest))
        assert (r.out, r.status, dest.read_bytes()) == (downloading(url, dest), 0, body)


def test_a_file_that_cannot_be_put_in_place_is_fetched_once(wine, steamprobe, http_server, fakes,
                                                            sandbox):
    # The download works, the move into place does not (a viewer holds the image open): the
    # next method would only fetch it again, and the reason would be lost.
    url = http_server.serve("/hero.png", PNG + b"new")
    dest = sandbox / "grid" / "1_hero.png"
    dest.parent.mkdir()
    dest.write_bytes(PNG + b"earlier")
    holder = wine.start(wine.tool("filelock"), [win_path(dest)])
    holder.wait_for_output(b"locked\n")
    try:
        r = steamprobe("fetch", "--image", url, win_path(dest), extra_env=fakes.env)
    finally:
        holder.wait(stdin=b"\n")
    assert r.status == 1
    assert r.out == downloading(url, dest) + "error PermissionDenied: Sharing violation.\n"
    assert http_server.paths_requested() == ["/hero.png"]
    assert fakes.curl_calls() == [] and fakes.statements() == []
    assert dest.read_bytes() == PNG + b"earlier"
    assert leftovers(dest.parent) == []


# -- servers that misbehave: every method gives up, and nothing of it stays behind ----------

STALL_MS = 1500


def shortened(fakes, total_ms=60000):
    return {**fakes.env, "ML_TEST_DOWNLOAD_STALL_MS": str(STALL_MS),
            "ML_TEST_DOWNLOAD_TOTAL_MS": str(total_ms)}


def by_product(server):
    """The requests of the URL service (the fake tools name themselves)."""
    return [r.path for r in server.requests if r.headers.get("User-Agent") != "fake-tool/1.0"]


@pytest.mark.parametrize("behaviour", ["silent", "stall"])
def test_a_server_that_stops_answering_fails_every_method(wine, steamprobe, http_server, fakes,
                                                          sandbox, behaviour):
    url = http_server.serve("/hero.png", PNG, behaviour=behaviour)
    dest = sandbox / "grid" / "1_hero.png"
    # PowerShell's own helper processes must end with it.
    helper = wine.install_tool("chatter", sandbox / "cwd", "pshelper.exe")
    # The total limit is far beyond the guard: only the stall limit can end each method in
    # time, so a broken one shows as a hang, whatever the machine's load.
    env = {**shortened(fakes, total_ms=600000), "FAKEPS_HELPER": f"{win_path(helper)} 0 600000 0"}
    r = steamprobe("fetch", url, win_path(dest), extra_env=env, timeout=300)
    assert (r.out, r.status) == (
        downloading(url, dest) + f"error Other: Failed to download asset from {url}\n", 1)
    assert http_server.paths_requested() == ["/hero.png"] * 3
    assert not dest.exists() and leftovers(dest.parent) == []
    left = set(wine.process_names()) & {"curl.exe", "powershell.exe", "pshelper.exe"}
    assert left == set()


@pytest.mark.parametrize("total_ms, succeeds", [(60000, True), (3000, False)])
def test_slow_is_not_stalled(steamprobe, http_server, fakes, sandbox, total_ms, succeeds):
    # A byte a second for longer than the stall limit is a slow download, not a stalled one;
    # the time limit still ends it.
    body = b"\x89PNG\r\n"
    assert len(body) > 2 * STALL_MS / 1000
    url = http_server.serve("/slow.png", body, behaviour="drip")
    dest = sandbox / "slow.png"
    r = steamprobe("fetch", url, win_path(dest), extra_env=shortened(fakes, total_ms), timeout=90)
    if succeeds:
        assert (r.out, r.status) == (downloading(url, dest), 0)
        assert dest.read_bytes() == body
    else:
        assert r.status == 1 and not dest.exists()
        assert len(http_server.requests) == 3
    assert leftovers(sandbox) == []


def test_redirects(steamprobe, http_server, fakes, sandbox):
    # Ten hops are still followed by the URL service alone.
    target = http_server.serve("/file.png", PNG)
    url = http_server.redirect_chain("/ten", 10, target)
    dest = sandbox / "ten.png"
    r = steamprobe("fetch", url, win_path(dest), extra_env=shortened(fakes))
    assert (r.out, r.status) == (downloading(url, dest), 0)
    assert dest.read_bytes() == PNG and fakes.curl_calls() == []
    assert len(by_product(http_server)) == 11

    # A loop between two addresses ends each method: the URL service after ten hops (under
    # Wine it would follow it for ever), curl and PowerShell at their own limits. The time
    # limits are far beyond the guard, so only the redirect limits can end it in time.
    a = http_server.serve("/a", status=302, headers={"Location": http_server.url("/b")})
    http_server.serve("/b", status=302, headers={"Location": a})
    dest = sandbox / "loop.png"
    r = steamprobe("fetch", a, win_path(dest), timeout=300,
                   extra_env={**shortened(fakes, total_ms=600000),
                              "ML_TEST_DOWNLOAD_STALL_MS": "600000"})
    assert r.status == 1 and r.out.endswith(f"Failed to download asset from {a}\n")
    assert len(fakes.curl_calls()) == 1 and len(fakes.statements()) == 1
    assert not dest.exists() and leftovers(sandbox) == []
