"""scripts/release end to end: a throwaway code-signing certificate and a loopback time-stamp
server, a release built from a commit of this tree, and what a user and winget get from it:
a signature that verifies, sums that check, manifests and a bill of materials that name the
file, and a signed program that installs under Wine and keeps its signature in its copy."""
from __future__ import annotations

import hashlib
import http.server
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import threading

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
from pe_image import CERTIFICATE_DIRECTORY, Image  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
URL = "https://example.test/marrowlane/0.2.0"
EXE = "Marrowlane-Setup.exe"
MANIFESTS = ("Marrowlane.Marrowlane.yaml", "Marrowlane.Marrowlane.installer.yaml",
             "Marrowlane.Marrowlane.locale.en-US.yaml")


def sha256(path: pathlib.Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def cache_value(build_dir: pathlib.Path, name: str) -> str:
    cache = (build_dir / "CMakeCache.txt").read_text()
    return re.search(rf"^{name}:[A-Z]+=(.*)$", cache, re.M).group(1)


def openssl(*args: str, cwd: pathlib.Path) -> None:
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def self_signed(folder: pathlib.Path, name: str, usage: str) -> tuple[pathlib.Path, pathlib.Path]:
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", f"/CN={name}",
            "-keyout", f"{usage}-key.pem", "-out", f"{usage}-cert.pem",
            "-addext", f"extendedKeyUsage=critical,{usage}",
            "-addext", "keyUsage=critical,digitalSignature", cwd=folder)
    return folder / f"{usage}-key.pem", folder / f"{usage}-cert.pem"


class TimeStampServer:
    """An RFC 3161 time-stamp authority on 127.0.0.1: each POSTed query is answered by
    `openssl ts -reply` with a certificate of its own."""

    def __init__(self, folder: pathlib.Path):
        self.key, self.cert = self_signed(folder, "Test Time Stamps", "timeStamping")
        (folder / "serial").write_text("01\n")
        self.config = folder / "tsa.cnf"
        self.config.write_text(
            "[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\n"
            f"serial = {folder}/serial\ncrypto_device = builtin\n"
            f"signer_cert = {self.cert}\ncerts = {self.cert}\nsigner_key = {self.key}\n"
            "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
            "digests = sha1, sha256, sha384, sha512\naccuracy = secs:1\nordering = yes\n"
            "tsa_name = yes\ness_cert_id_chain = no\ness_cert_id_alg = sha256\n")
        self.queries = 0
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):  # noqa: N802 (the base class names it)
                query = self.rfile.read(int(self.headers["Content-Length"]))
                reply = subprocess.run(
                    ["openssl", "ts", "-reply", "-config", str(server.config), "-queryfile",
                     "/dev/stdin", "-out", "/dev/stdout"], input=query, capture_output=True)
                server.queries += 1
                self.send_response(200 if reply.returncode == 0 else 500)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply.stdout)))
                self.end_headers()
                self.wfile.write(reply.stdout)

            def log_message(self, *args):
                pass

        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self._httpd.server_address[1]}/"
        threading.Thread(target=self._httpd.serve_forever, daemon=True).start()

    def close(self) -> None:
        self._httpd.shutdown()
        self._httpd.server_close()


@pytest.fixture(scope="module")
def keys(tmp_path_factory) -> dict:
    folder = tmp_path_factory.mktemp("keys")
    key, cert = self_signed(folder, "Marrowlane Test Signing", "codeSigning")
    tsa = TimeStampServer(folder)
    yield {"key": key, "cert": cert, "tsa": tsa}
    tsa.close()


@pytest.fixture(scope="module")
def repo(tmp_path_factory, session_wine) -> pathlib.Path:
    """This tree as it is, committed in a repository of its own (a release needs a clean
    tree), with the shared folder beside it as a checkout has it."""
    top = tmp_path_factory.mktemp("release")
    checkout = top / "marrowlane"
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                           cwd=ROOT, capture_output=True, check=True).stdout.split(b"\0")
    for name in filter(None, (f.decode() for f in files)):
        if (ROOT / name).exists():
            (checkout / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, checkout / name, follow_symlinks=False)
    loader = pathlib.Path(cache_value(session_wine.build_dir, "ML_WEBVIEW2_LOADER"))
    (top / "shared").symlink_to(loader.resolve().parents[1])
    git = dict(os.environ, GIT_AUTHOR_NAME="Release Test", GIT_AUTHOR_EMAIL="release@test",
               GIT_COMMITTER_NAME="Release Test", GIT_COMMITTER_EMAIL="release@test")
    for command in (["init", "-q"], ["add", "-A"], ["commit", "-q", "-m", "release test"]):
        subprocess.run(["git", *command], cwd=checkout, env=git, check=True)
    return checkout


def release(repo: pathlib.Path, dist: pathlib.Path, *args: str) -> subprocess.CompletedProcess:
    env = dict(os.environ, NO_PROXY="127.0.0.1", no_proxy="127.0.0.1")
    env.pop("SOURCE_DATE_EPOCH", None)
    return subprocess.run([str(repo / "scripts" / "release"), "--dist", str(dist), *args],
                          capture_output=True, text=True, env=env, timeout=1500)


@pytest.fixture(scope="module")
def dist(repo, keys, tmp_path_factory) -> pathlib.Path:
    folder = tmp_path_factory.mktemp("dist") / "dist"
    r = release(repo, folder, "--sign-key", str(keys["key"]), "--sign-cert", str(keys["cert"]),
                "--timestamp-url", keys["tsa"].url, "--url", URL)
    assert r.returncode == 0, r.stdout + r.stderr
    return folder


def test_a_tree_with_changes_is_refused(repo, tmp_path):
    (repo / "notes.txt").write_text("not committed")
    try:
        r = release(repo, tmp_path / "dist")
    finally:
        (repo / "notes.txt").unlink()
    assert r.returncode == 1
    assert "the working tree has changes" in r.stderr
    assert not (tmp_path / "dist").exists()


def test_signature_verifies_with_its_time_stamp_and_the_sums_check(dist, keys):
    assert sorted(p.name for p in dist.iterdir()) == sorted(
        [EXE, "SHA256SUMS", "Marrowlane-Setup.spdx.json", *MANIFESTS])
    r = subprocess.run(["osslsigncode", "verify", "-in", str(dist / EXE), "-CAfile",
                        str(keys["cert"]), "-TSA-CAfile", str(keys["tsa"].cert)],
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stdout + r.stderr
    assert "Signature verification: ok" in r.stdout
    assert "Marrowlane Test Signing" in r.stdout
    # Countersigned by the time-stamp server, which keeps it valid past the certificate's end.
    assert keys["tsa"].queries == 1
    assert "Timestamp Server Signature verification: ok" in r.stdout, r.stdout
    assert "Test Time Stamps" in r.stdout
    # A file signed with a key nobody trusts does not verify.
    other_key, other_cert = self_signed(keys["key"].parent, "Someone Else", "serverAuth")
    r = subprocess.run(["osslsigncode", "verify", "-in", str(dist / EXE), "-CAfile",
                        str(other_cert)], capture_output=True, text=True)
    assert r.returncode != 0
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist, capture_output=True,
                          text=True)
    assert sums.returncode == 0, sums.stdout + sums.stderr
    assert sums.stdout.count(": OK") == 5


def test_manifests_name_the_signed_file_and_the_version(dist, session_wine):
    version = cache_value(session_wine.build_dir, "CMAKE_PROJECT_VERSION")
    for name in MANIFESTS:
        text = (dist / name).read_text()
        assert re.findall(r"^PackageVersion: (.*)$", text, re.M) == [version], name
        assert "<" not in text.replace("<LICENSE>", ""), text  # no placeholder left but that one
    installer = (dist / MANIFESTS[1]).read_text()
    assert f"    InstallerSha256: {sha256(dist / EXE).upper()}\n" in installer
    assert f"    InstallerUrl: {URL}/{EXE}\n" in installer


def test_bill_of_materials_names_the_program_the_loader_and_the_toolchain(dist, session_wine):
    sbom = json.loads((dist / "Marrowlane-Setup.spdx.json").read_text())
    assert (sbom["spdxVersion"], sbom["dataLicense"], sbom["SPDXID"]) == (
        "SPDX-2.3", "CC0-1.0", "SPDXRef-DOCUMENT")
    packages = {p["name"]: p for p in sbom["packages"]}
    program = packages["Marrowlane-Setup"]
    assert program["versionInfo"] == cache_value(session_wine.build_dir, "CMAKE_PROJECT_VERSION")
    assert program["checksums"] == [{"algorithm": "SHA256", "checksumValue": sha256(dist / EXE)}]
    loader_file = pathlib.Path(cache_value(session_wine.build_dir, "ML_WEBVIEW2_LOADER"))
    loader = packages["WebView2Loader.dll"]
    assert loader["versionInfo"] == Image.read(loader_file).version().file_version == "1.0.3800.47"
    assert loader["checksums"] == [{"algorithm": "SHA256", "checksumValue": sha256(loader_file)}]
    assert loader["supplier"] == "Organization: Microsoft Corporation"
    licence = {i["licenseId"]: i for i in sbom["hasExtractedLicensingInfos"]}
    assert "Microsoft Corporation" in licence[loader["licenseDeclared"]]["extractedText"]
    # The compiler and the runtime linked in, with the versions Debian installed.
    for package in ("g++-mingw-w64-x86-64-posix", "gcc-mingw-w64-x86-64-posix",
                    "mingw-w64-x86-64-dev"):
        installed = subprocess.run(["dpkg-query", "--show", "--showformat=${Version}", package],
                                   capture_output=True, text=True, check=True).stdout
        assert packages[package]["versionInfo"] == installed, package
    ids = {p["SPDXID"] for p in sbom["packages"]} | {"SPDXRef-DOCUMENT"}
    kinds = {(r["spdxElementId"], r["relationshipType"], r["relatedSpdxElement"])
             for r in sbom["relationships"]}
    assert {(a, b) for a, _, b in kinds} <= {(a, b) for a in ids for b in ids}
    assert (program["SPDXID"], "CONTAINS", loader["SPDXID"]) in kinds
    assert (program["SPDXID"], "STATIC_LINK",
            packages["mingw-w64-x86-64-dev"]["SPDXID"]) in kinds


def test_signed_program_installs_and_its_copy_keeps_the_signature(dist, private_prefix, env,
                                                                   sandbox, http_server):
    signed = dist / EXE
    assert Image.read(signed).directory(CERTIFICATE_DIRECTORY)[1] > 0
    r = private_prefix.run(signed, ["--help"], env=env, cwd=sandbox / "cwd")
    assert (r.status, r.err) == (0, ""), r
    runner = (private_prefix.build_dir / "demo" / "marrowlane-demo-runner.exe").read_bytes()
    http_server.serve("/api/download?os=windows", runner)
    r = private_prefix.run(signed, ["--cli", "-y", "--server-origin", http_server.url("")],
                           env=env, cwd=sandbox / "cwd", timeout=120)
    assert r.status == 0, r
    folder = sandbox / "LocalAppData" / "Marrowlane"
    assert (folder / "marrowlane.exe").read_bytes() == runner
    # Windows Settings starts this copy: it must show the publisher the user saw.
    assert (folder / EXE).read_bytes() == signed.read_bytes()
