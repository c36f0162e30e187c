"""Archives and patches read from a URL through the bindings: the same names,
sizes and bytes as from the disk, and the errors Python code expects. The
transfer itself (ranges, faults, nginx) is tested below the bindings."""

import functools
import http.server
import shutil
import threading
from contextlib import closing, contextmanager

import pytest

import orvelpacket
from conftest import random_bytes, sample_files, text_bytes


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@contextmanager
def _serving(directory):
    """Python's own server on a loopback port (it ignores ranges, so every
    read comes from the start of the body: slow, and still right)."""
    handler = functools.partial(_QuietHandler, directory=str(directory))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}"
    finally:
        server.shutdown()
        server.server_close()


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
def test_a_url_serves_the_same_reads_as_the_disk(tmp_path, encipher):
    files = _make_archive(tmp_path / "a.vrk", encipher)
    some = {n: d for n, d in files.items() if not n.startswith("many/") or n.startswith("many/1")}
    with _serving(tmp_path) as base:
        with orvelpacket.open(str(tmp_path / "a.vrk")) as local, orvelpacket.open(base + "/a.vrk") as remote:
            assert remote.mode == "r"
            _same_reads(local, remote, some)
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
    with _serving(tmp_path) as base:
        url = base + "/a.vrx"
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
