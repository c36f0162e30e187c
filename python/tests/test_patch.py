"""Patches of advanced archives: create, extend and apply. Patching commits
by itself, so these archives are closed with contextlib.closing rather than
used as change blocks."""

import shutil
from contextlib import closing

import pytest

import orvelpacket


def copy_archive(src_dir, dst_dir, stem="a"):
    dst_dir.mkdir()
    for ext in (".vrk", ".bhl", ".lst"):
        shutil.copy(src_dir / (stem + ext), dst_dir / (stem + ext))
    return dst_dir / (stem + ".vrk")


def test_a_patch_brings_copies_up_to_its_level(tmp_path):
    path = tmp_path / "a.vrk"
    with orvelpacket.create(path, stamp=(0, 1)) as a:
        a.add("base.txt", b"level one")
    first = copy_archive(tmp_path, tmp_path / "first")
    second = copy_archive(tmp_path, tmp_path / "second")

    a = orvelpacket.open(path, "a")
    assert a.create_patch() is None  # nothing above the base version yet
    a.stamp = (0, 2)
    a.add("new.txt", b"level two")
    a.add("base.txt", b"level two replaces level one")
    patch = a.create_patch()
    assert patch == str(tmp_path / "a.vrx")
    assert (tmp_path / "a_00000002.pb").exists()

    with closing(orvelpacket.open(first, "a")) as c:
        assert c.apply_patch(patch) is True
        assert c.stamp == (0, 2)
        assert c.read("new.txt") == b"level two"
        assert c.read("base.txt") == b"level two replaces level one"
        # Patches carry name hashes: the copy finds new files by name, but
        # its name list does not gain them.
        assert "new.txt" in c and "new.txt" not in list(c.names())
        assert c.apply_patch(patch) is False  # already at its level

    a.stamp = (0, 3)
    a.add("third.txt", b"level three")
    assert a.extend_patch() == patch
    a.close()
    with closing(orvelpacket.open(second, "a")) as c:
        assert c.apply_patch(tmp_path / "a.vrx") is True
        assert c.stamp == (0, 3)
        assert c.read("third.txt") == b"level three"
        assert c.read("new.txt") == b"level two"


def test_a_missing_block_file_is_reported_and_applying_again_finishes(tmp_path):
    path = tmp_path / "a.vrk"
    with orvelpacket.create(path, stamp=(0, 1)) as a:
        a.add("base.txt", b"1")
    copy = copy_archive(tmp_path, tmp_path / "copy")
    with closing(orvelpacket.open(path, "a")) as a:
        a.stamp = (0, 2)
        a.add("two.txt", b"2")
        patch = a.create_patch()
    block = tmp_path / "a_00000002.pb"
    block.rename(tmp_path / "aside.pb")
    with closing(orvelpacket.open(copy, "a")) as c:
        with pytest.raises(orvelpacket.DiskError) as missing:
            c.apply_patch(patch)
        assert missing.value.code == -15
        (tmp_path / "aside.pb").rename(block)
        assert c.apply_patch(patch) is True
        assert c.read("two.txt") == b"2"


def test_basic_archives_have_no_patches(tmp_path):
    with closing(orvelpacket.create(tmp_path / "b.pak", variant="basic")) as a:
        a.add("f", b"x")
        with pytest.raises(orvelpacket.Error) as e:
            a.create_patch()
        assert e.value.code == -41 and "advanced" in str(e.value)
