"""Writing and reading archives of both variants through orvelpacket."""

import array
import os

import pytest

import orvelpacket
from conftest import random_bytes, sample_files, text_bytes


def test_round_trip_of_every_kind_of_file(archive_path, variant):
    files = sample_files()
    with orvelpacket.create(archive_path, variant=variant, stamp=(2, 5)) as a:
        for name, data in files.items():
            a.add(name, data)
        a.add("win\\style\\path.txt", b"backslashes are kept")

    with orvelpacket.open(archive_path) as a:
        assert a.mode == "r"
        assert sorted(a.names()) == sorted(list(files) + ["win\\style\\path.txt"])
        for name, data in files.items():
            assert a.read(name) == data, name
            assert a.read(name.upper()) == data  # names ignore letter case
            info = a.info(name)
            assert info.size == len(data)
            assert info.stamp == (2, 5)
            # Text shrinks and is compressed; random bytes and empty files
            # are stored as they are.
            assert info.compressed == name.endswith(".txt"), name
            assert (info.stored_size < info.size) == name.endswith(".txt"), name
        assert "DOCS/Guide.TXT" in a and "docs/guide" not in a and 42 not in a
        stat = a.stat()
        assert (stat.variant, stat.files, stat.stamp) == (variant, len(files) + 1, (2, 5))
        assert stat.base_version == (5 if variant == "advanced" else 0)
        assert not stat.protected


@pytest.mark.parametrize("make_buffer", [
    bytearray,
    lambda n: memoryview(bytearray(n + 10))[5:5 + n],
    lambda n: array.array("B", bytes(n)),
])
def test_read_into_fills_any_writable_buffer(archive_path, variant, make_buffer):
    data = text_bytes(70000, 9)
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add("t.txt", data)
        buffer = make_buffer(len(data))
        assert a.read_into("t.txt", buffer) == len(data)
        assert bytes(buffer) == data
        with pytest.raises(ValueError, match="buffer holds"):
            a.read_into("t.txt", bytearray(len(data) - 1))
        with pytest.raises(TypeError):
            a.read_into("t.txt", bytes(len(data)))  # not writable


def test_add_options_and_changes(tmp_path, archive_path, variant):
    text = text_bytes(5000, 7)
    disk = tmp_path / "on-disk.bin"
    disk.write_bytes(random_bytes(3000, 8))
    with orvelpacket.create(archive_path, variant=variant, table_size=4, stamp=(0, 3)) as a:
        a.add("plain.txt", text, compress=False)
        a.add("stamped.txt", text, stamp=(1, 9))
        a.add("low.txt", text, stamp=4)
        a.add_file("from/disk.bin", disk)
        for i in range(40):  # beyond the tables' first size: they grow
            a.add(f"many/{i}.txt", text_bytes(100 + i, i))

    a = orvelpacket.open(archive_path, "a")
    assert not a.info("plain.txt").compressed
    assert a.info("plain.txt").stamp == (0, 3)  # the archive's stamp
    assert a.info("stamped.txt").stamp == (1, 9)
    assert a.info("low.txt").stamp == (0, 4)
    assert a.read("from/disk.bin") == disk.read_bytes()
    assert a.read("many/39.txt") == text_bytes(139, 39)

    with pytest.raises(orvelpacket.ExistsError):
        a.add("plain.txt", b"other", replace=False)
    a.add("plain.txt", b"replaced")
    assert a.read("plain.txt") == b"replaced"
    with pytest.raises(FileNotFoundError):
        a.add_file("x", tmp_path / "missing")

    a.stamp = (0, 8)
    a.add("later.txt", b"carries the new stamp")
    assert a.info("later.txt").stamp == (0, 8)

    with a.update():
        for i in range(40):
            a.delete(f"many/{i}.txt")
    assert "many/0.txt" not in a
    with pytest.raises(orvelpacket.NotFoundError):
        a.delete("many/0.txt")
    assert a.stat().has_holes
    before = os.path.getsize(archive_path)
    a.compact()
    assert not a.stat().has_holes
    assert os.path.getsize(archive_path) < before
    a.close()

    with orvelpacket.open(archive_path) as a:
        assert a.stamp == (0, 8)
        assert sorted(a) == ["from/disk.bin", "later.txt", "low.txt", "plain.txt", "stamped.txt"]
        assert a.read("plain.txt") == b"replaced"
        assert a.verify() == []


def test_protected_tables_read_back(archive_path, variant):
    files = sample_files()
    with orvelpacket.create(archive_path, variant=variant, encipher=True) as a:
        for name, data in files.items():
            a.add(name, data)
    with orvelpacket.open(archive_path) as a:
        assert a.stat().protected
        assert {n: a.read(n) for n in a} == files


@pytest.mark.parametrize("name, problem", [
    ("", "empty"), ("a\nb", "line break"), ("a\rb", "line break"), ("x" * 256, "255 bytes"),
    ("(ListFile)", "reserved"), ("(attributes)", "reserved"), ("a\0b", "NUL"),
])
def test_names_the_archive_cannot_hold_are_refused(archive_path, variant, name, problem):
    with orvelpacket.create(archive_path, variant=variant) as a:
        with pytest.raises(ValueError, match=problem):
            a.add(name, b"data")
        assert list(a.names()) == []
        with pytest.raises(TypeError):
            a.add(7, b"data")


def test_names_round_trip_bytes_that_are_not_utf8(archive_path, variant):
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add(b"caf\xe9.txt", b"latin-1 name")
        (name,) = a.names()
        assert name == "caf\udce9.txt"  # as os.fsdecode gives it
        assert a.read(name) == a.read(b"caf\xe9.txt") == b"latin-1 name"
