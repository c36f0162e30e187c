"""Failures arrive as exceptions that carry the library's code and text."""

import pytest

import orvelpacket
from conftest import text_bytes


def test_opening_what_is_not_an_archive(tmp_path):
    with pytest.raises(orvelpacket.DiskError) as missing:
        orvelpacket.open(tmp_path / "none.vrk")
    assert missing.value.code == -5 and missing.value.name == "VRKERR_OPEN_FILE"
    assert str(missing.value) == f"{tmp_path / 'none.vrk'}: VRKERR_OPEN_FILE (-5): a file cannot be opened"

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
