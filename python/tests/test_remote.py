"""Archives read from a URL: the same names, sizes and bytes as from the disk,
from nginx (ranges) and from Python's own server (which ignores ranges)."""

import functools
import http.server
import os
import shutil
import socket
import subprocess
import threading
import time
from contextlib import closing

import pytest

import orvelpacket
from conftest import random_bytes, sample_files, text_bytes


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _nginx(root, work):
    """nginx serving `root` on a loopback port, with its files in `work`."""
    binary = shutil.which("nginx") or ("/usr/sbin/nginx" if os.access("/usr/sbin/nginx", os.X_OK) else None)
    if not binary:
        pytest.skip("nginx is not installed (scripts/bootstrap installs it)")
    os.chmod(root, 0o755)
    os.chmod(work, 0o755)
    port = _free_port()
    conf = work / "nginx.conf"
    conf.write_text(
        f"daemon off; worker_processes 1; pid {work}/nginx.pid; error_log {work}/error.log;\n"
        "events { worker_connections 64; }\n"
        f"http {{ access_log {work}/access.log; client_body_temp_path {work}/b; proxy_temp_path {work}/p;\n"
        f"  fastcgi_temp_path {work}/f; uwsgi_temp_path {work}/u; scgi_temp_path {work}/s;\n"
        f"  server {{ listen 127.0.0.1:{port}; root {root}; }} }}\n")
    args = [binary, "-p", str(work), "-c", str(conf), "-e", str(work / "error.log")]
    if os.geteuid() == 0:
        args += ["-g", "user root;"]
    process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return process, f"http://127.0.0.1:{port}"
        except OSError:
            if process.poll() is not None:
                break
            time.sleep(0.05)
    process.kill()
    process.wait()
    pytest.skip("nginx did not start: " + (work / "error.log").read_text(errors="replace"))


def _make_archive(path, encipher):
    files = sample_files()
    files.update({f"many/{i}.bin": random_bytes(i * 37 % 3000, i) for i in range(200)})
    with orvelpacket.create(str(path), encipher=encipher) as a:
        for name, data in files.items():
            a.add(name, data)
    return files


def _same_reads(local, remote, files):
    assert sorted(remote.names()) == sorted(local.names())
    facts = lambda s: (s.variant, s.files, s.stamp, s.base_version, s.protected)  # noqa: E731
    assert facts(remote.stat()) == facts(local.stat())
    for name, data in files.items():
        assert remote.read(name) == data, name
        assert repr(remote.info(name)) == repr(local.info(name))


@pytest.mark.parametrize("encipher", [False, True])
def test_nginx_serves_the_same_reads_as_the_disk(tmp_path, encipher):
    www = tmp_path / "www"
    www.mkdir()
    work = tmp_path / "nginx"
    work.mkdir()
    files = _make_archive(www / "a.vrk", encipher)
    process, base = _nginx(www, work)
    try:
        with orvelpacket.open(str(www / "a.vrk")) as local, orvelpacket.open(base + "/a.vrk") as remote:
            assert remote.mode == "r"
            _same_reads(local, remote, files)
            with pytest.raises(orvelpacket.ReadOnlyError):
                remote.add("new.txt", b"new")
        with pytest.raises(FileNotFoundError):
            orvelpacket.open(base + "/missing.vrk")
        with pytest.raises(ValueError, match="read-only"):
            orvelpacket.open(base + "/a.vrk", "a")
        # Credentials in a URL are never shown.
        with pytest.raises(FileNotFoundError) as failure:
            orvelpacket.open(base.replace("//", "//user:pa55word@") + "/missing.vrk?sig=s1gnature")
        assert "pa55word" not in str(failure.value) and "s1gnature" not in str(failure.value)
    finally:
        process.terminate()
        process.wait()


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def test_a_server_that_ignores_ranges_is_read_right(tmp_path):
    files = _make_archive(tmp_path / "a.vrk", False)
    handler = functools.partial(_QuietHandler, directory=str(tmp_path))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        url = f"http://127.0.0.1:{server.server_address[1]}/a.vrk"
        with orvelpacket.open(str(tmp_path / "a.vrk")) as local, orvelpacket.open(url) as remote:
            _same_reads(local, remote, {n: d for n, d in files.items() if n.startswith("many/1")})
    finally:
        server.shutdown()
        server.server_close()


def test_a_patch_at_a_url_brings_a_copy_up_as_from_the_disk(tmp_path):
    path = tmp_path / "a.vrk"
    with orvelpacket.create(path, stamp=(0, 1)) as a:
        a.add("base.txt", b"level one")
    for copy in ("disk", "url"):
        (tmp_path / copy).mkdir()
        for ext in (".vrk", ".bhl", ".lst"):
            shutil.copy(tmp_path / ("a" + ext), tmp_path / copy / ("a" + ext))
    with closing(orvelpacket.open(path, "a")) as a:
        a.stamp = (0, 2)
        a.add("new.bin", random_bytes(5000, 7))
        a.add("base.txt", text_bytes(3000, 8))
        patch = a.create_patch()
    handler = functools.partial(_QuietHandler, directory=str(tmp_path))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        url = f"http://127.0.0.1:{server.server_address[1]}/a.vrx"
        with closing(orvelpacket.open(tmp_path / "disk" / "a.vrk", "a")) as c:
            assert c.apply_patch(patch) is True
        with closing(orvelpacket.open(tmp_path / "url" / "a.vrk", "a")) as c:
            with pytest.raises(orvelpacket.Error):
                c.apply_patch(url.replace("a.vrx", "none.vrx"))
            assert c.apply_patch(url) is True
            assert c.stamp == (0, 2) and c.read("new.bin") == random_bytes(5000, 7)
        for ext in (".vrk", ".bhl", ".lst"):
            url_copy, disk_copy = tmp_path / "url" / ("a" + ext), tmp_path / "disk" / ("a" + ext)
            assert url_copy.read_bytes() == disk_copy.read_bytes(), ext
    finally:
        server.shutdown()
        server.server_close()
