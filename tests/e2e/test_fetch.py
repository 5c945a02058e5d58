"""Copying and downloading assets, against a loopback HTTP server of the test."""
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
    assert len(fakes.curl_calls()) == 1 and len(fakes.statements()) == 1
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
