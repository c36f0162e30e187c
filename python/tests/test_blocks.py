"""Change blocks: a `with` block is one update bracket that commits when left
normally and rolls back when left by an exception; outside blocks every
change commits by itself."""

import pytest

import orvelpacket


def names_on_disk(path):
    with orvelpacket.open(path) as a:
        return sorted(a)


def test_leaving_the_with_block_commits_and_closes(archive_path, variant):
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add("one.txt", b"1")
        a.add("two.txt", b"2")
    assert a.closed
    assert names_on_disk(archive_path) == ["one.txt", "two.txt"]


def test_an_exception_rolls_back_the_block_and_keeps_earlier_commits(archive_path, variant):
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add("committed.txt", b"kept")
    with pytest.raises(RuntimeError):
        with orvelpacket.open(archive_path, "a") as a:
            a.add("dropped.txt", b"rolled back")
            a.delete("committed.txt")
            raise RuntimeError("the pipeline failed")
    assert a.closed
    with orvelpacket.open(archive_path) as a:
        assert list(a) == ["committed.txt"]
        assert a.read("committed.txt") == b"kept"
        assert a.verify() == []


def test_update_blocks_leave_the_archive_open(archive_path, variant):
    a = orvelpacket.create(archive_path, variant=variant)
    a.add("alone.txt", b"commits by itself")
    assert names_on_disk(archive_path) == ["alone.txt"]

    with a.update():
        a.add("block.txt", b"b")
    with pytest.raises(KeyError):
        with a.update():
            a.add("lost.txt", b"l")
            a.read("no such file")
    assert not a.closed
    assert sorted(a) == ["alone.txt", "block.txt"]

    # A rollback anywhere drops the whole bracket, the outer block's changes too.
    with a.update():
        a.add("outer.txt", b"o")
        with pytest.raises(ZeroDivisionError):
            with a.update():
                a.add("inner.txt", b"i")
                1 / 0
        a.add("after.txt", b"commits by itself again")
    assert sorted(a) == ["after.txt", "alone.txt", "block.txt"]
    a.close()
    assert names_on_disk(archive_path) == ["after.txt", "alone.txt", "block.txt"]


def test_a_read_only_archive_as_a_context_manager(archive_path, variant):
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add("f", b"data")
    with orvelpacket.open(archive_path) as a:
        with a.update():  # takes no writer lock and changes nothing
            assert a.read("f") == b"data"
    assert a.closed


def test_patches_and_compaction_refuse_to_run_inside_a_block(tmp_path):
    with orvelpacket.create(tmp_path / "a.vrk") as a:
        a.add("f", b"data")
        with pytest.raises(ValueError, match="change block"):
            a.compact()
        with pytest.raises(ValueError, match="change block"):
            a.create_patch()
