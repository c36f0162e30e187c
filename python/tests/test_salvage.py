"""orvelpacket.salvage gives back the intact files of a damaged archive of either variant."""

import os

import orvelpacket
from conftest import text_bytes


def _pack(path):
    files = {f"dir/file{i}.txt": text_bytes(1000 + 300 * i, i) for i in range(6)}
    with orvelpacket.create(path, stamp=(3, 7)) as a:
        for name, data in files.items():
            a.add(name, data)
    return files


def test_salvage_of_a_cut_short_archive_keeps_the_files_before_the_cut(tmp_path):
    damaged = tmp_path / "d.vrk"
    files = _pack(damaged)
    os.truncate(damaged, os.path.getsize(damaged) - 10)
    report = orvelpacket.salvage(damaged, tmp_path / "n.vrk")
    assert len(report.lost) == 1 and "past the end" in report.lost[0][1]
    assert report.unreachable == 0
    with orvelpacket.open(tmp_path / "n.vrk") as a:
        assert a.stamp == (3, 7)
        assert sorted(a.names()) == sorted(report.recovered)
        for name in report.recovered:
            assert a.read(name) == files[name]
    assert len(report.recovered) == len(files) - 1


def test_salvage_without_a_name_list_names_files_by_their_hashes(tmp_path):
    damaged = tmp_path / "d.vrk"
    files = _pack(damaged)
    os.remove(tmp_path / "d.lst")
    report = orvelpacket.salvage(damaged, tmp_path / "n.vrk")
    assert not report.lost
    assert all(n.startswith("(salvaged)/") for n in report.recovered)
    with orvelpacket.open(tmp_path / "n.vrk") as a:
        assert sorted(a.read(n) for n in report.recovered) == sorted(files.values())


def test_salvage_of_what_is_no_archive_raises(tmp_path):
    junk = tmp_path / "junk.vrk"
    junk.write_bytes(b"nothing" * 10)
    try:
        orvelpacket.salvage(junk, tmp_path / "n.vrk")
    except orvelpacket.Error as e:
        assert e.code < 0
    else:
        raise AssertionError("salvage of junk succeeded")


def test_salvage_of_a_basic_archive_cut_short_finds_the_files_by_their_streams(tmp_path):
    damaged = tmp_path / "d.pak"
    files = {f"dir/file{i}.txt": text_bytes(3000 + 500 * i, i) for i in range(6)}
    with orvelpacket.create(damaged, variant="basic", table_size=16, stamp=(3, 7)) as a:
        for name, data in files.items():
            a.add(name, data)
    os.truncate(damaged, os.path.getsize(damaged) // 2)
    report = orvelpacket.salvage(damaged, tmp_path / "n.pak")
    assert report.recovered and not report.lost
    assert all(n.startswith("(salvaged)/at-") for n in report.recovered)
    with orvelpacket.open(tmp_path / "n.pak") as a:
        assert a.stamp == (3, 7)
        found = [a.read(n) for n in report.recovered]
    assert all(data in files.values() for data in found)
    assert len(found) + report.unreachable == len(files)
