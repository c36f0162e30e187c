"""Failures arrive as exceptions that carry the library's code and text."""

import errno
import os
import shutil
import subprocess
import sys
import tempfile

import pytest

import orvelpacket
from conftest import text_bytes


def test_opening_what_is_not_an_archive(tmp_path):
    with pytest.raises(orvelpacket.DiskError) as missing:
        orvelpacket.open(tmp_path / "none.vrk")
    assert missing.value.code == -5 and missing.value.name == "VRKERR_OPEN_FILE"
    none = tmp_path / "none.vrk"
    assert str(missing.value) == (f"{none}: VRKERR_OPEN_FILE (-5): a file cannot be opened: "
                                  f"{none}: No such file or directory")

    junk = tmp_path / "junk.pak"
    junk.write_bytes(b"no archive here" * 100)
    with pytest.raises(orvelpacket.DamagedError) as bad:
        orvelpacket.open(junk)
    assert bad.value.code == -6 and "not an archive" in bad.value.text
    assert isinstance(bad.value, orvelpacket.Error)

    with pytest.raises(orvelpacket.Error) as ext:
        orvelpacket.create(tmp_path / "adv.pak", variant="advanced")
    assert ext.value.code == -32
    with pytest.raises(ValueError):
        orvelpacket.open(junk, mode="w")
    with pytest.raises(ValueError):
        orvelpacket.create(tmp_path / "x.vrk", variant="zip")


def test_missing_files_read_only_archives_and_closed_ones(archive_path, variant):
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add("there.txt", b"x")
    a = orvelpacket.open(archive_path)
    with pytest.raises(KeyError) as missing:
        a.read("absent.txt")
    assert isinstance(missing.value, orvelpacket.NotFoundError)
    assert "absent.txt" in str(missing.value) and missing.value.code == -29
    for change in (lambda: a.add("n", b"x"), lambda: a.delete("there.txt"), a.compact,
                   lambda: setattr(a, "stamp", 3)):
        with pytest.raises(orvelpacket.ReadOnlyError):
            change()
    a.close()
    assert a.closed
    with pytest.raises(ValueError, match="closed"):
        a.read("there.txt")
    a.close()  # again: nothing to do


def test_damaged_data_is_named_by_read_and_verify(tmp_path):
    path = tmp_path / "d.vrk"
    good, bad = text_bytes(40000, 1), text_bytes(40000, 2)
    with orvelpacket.create(path) as a:
        a.add("good.txt", good)
        a.add("bad.txt", bad, compress=False)
    # Flip a byte in the middle of bad.txt's stored bytes.
    raw = bytearray(path.read_bytes())
    at = raw.find(bad[20000:20032])
    assert at > 0
    raw[at] ^= 0xFF
    path.write_bytes(bytes(raw))

    with orvelpacket.open(path) as a:
        assert a.read("good.txt") == good
        with pytest.raises(orvelpacket.DamagedError) as damaged:
            a.read("bad.txt")
        assert damaged.value.code == -35 and "bad.txt" in damaged.value.subject
        [(name, error)] = a.verify()
        assert name == "bad.txt" and isinstance(error, orvelpacket.DamagedError)


def test_damaged_name_list_fails_the_first_use_of_names(tmp_path):
    path = tmp_path / "d.vrk"
    with orvelpacket.create(path, variant="advanced") as a:
        a.add("x.txt", b"x" * 100)
    listed = bytearray((tmp_path / "d.lst").read_bytes())
    listed[42] ^= 0x08  # in the stored text, after the record and its checksum
    (tmp_path / "d.lst").write_bytes(bytes(listed))
    # The names are read when first needed, not by open; the package reads
    # them for its tree of names, also for reading by name.
    with orvelpacket.open(path) as a:
        for use in (a.names, lambda: a.read("x.txt")):
            with pytest.raises(orvelpacket.DamagedError) as damaged:
                use()
            assert damaged.value.code == -35 and damaged.value.subject == str(path)


@pytest.mark.parametrize("remove, kind, missing_name", [
    ("d.vrk", FileNotFoundError, "d.vrk"),
    ("d.bhl", FileNotFoundError, "d.bhl"),
    (None, IsADirectoryError, "dir.vrk"),
])
def test_file_system_failures_are_os_errors_naming_the_file(tmp_path, remove, kind, missing_name):
    path = tmp_path / "d.vrk"
    with orvelpacket.create(path) as a:
        a.add("x", b"x")
    if remove:
        (tmp_path / remove).unlink()
    else:
        (tmp_path / "dir.vrk").mkdir()
        path = tmp_path / "dir.vrk"
    with pytest.raises(kind) as failed:
        orvelpacket.open(path)
    e = failed.value
    assert isinstance(e, orvelpacket.DiskError) and isinstance(e, orvelpacket.Error)
    assert e.errno == {FileNotFoundError: errno.ENOENT, IsADirectoryError: errno.EISDIR}[kind]
    assert e.filename == str(tmp_path / missing_name)
    assert str(e).endswith(f": {tmp_path / missing_name}: {os.strerror(e.errno)}")
    assert e.code == -5


def test_an_archive_in_a_missing_directory_names_the_directory(tmp_path):
    with pytest.raises(FileNotFoundError) as failed:
        orvelpacket.create(tmp_path / "nowhere" / "x.vrk")
    assert failed.value.filename == str(tmp_path / "nowhere")
    assert failed.value.code == -3


def test_failures_without_a_system_reason_stay_as_they_were(tmp_path):
    junk = tmp_path / "junk.vrk"
    junk.write_bytes(b"no archive here" * 100)
    with pytest.raises(orvelpacket.DamagedError) as bad:
        orvelpacket.open(junk)
    assert not isinstance(bad.value, OSError)


@pytest.mark.skipif(os.geteuid() != 0, reason="needs root to run a child as another user")
def test_an_archive_that_cannot_be_written_raises_permission_error():
    # A directory another user can reach (pytest's are the owner's only).
    home = tempfile.mkdtemp()
    os.chmod(home, 0o755)
    path = os.path.join(home, "p.vrk")
    with orvelpacket.create(path) as a:
        a.add("x", b"x")
    for f in os.listdir(home):
        os.chmod(os.path.join(home, f), 0o444)
    # A child that is not root, for whom the mode bits count.
    code = ("import orvelpacket, sys\n"
            "try:\n"
            f"    orvelpacket.open({str(path)!r}, mode='a').add('y', b'y')\n"
            "except PermissionError as e:\n"
            "    print(e.errno, e.filename, isinstance(e, orvelpacket.ReadOnlyError))\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env,
                         preexec_fn=lambda: (os.setgid(65534), os.setuid(65534)))
    shutil.rmtree(home)
    assert out.stdout.split() == [str(errno.EACCES), path, "True"], out.stderr
