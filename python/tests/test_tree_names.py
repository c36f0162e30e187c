"""Archives packed by vrk seen through orvelpacket: names as spelled in vrk's
tree record (also those the archive stores under aliases), hard links, and
os.stat-like entries."""

import os
import pathlib
import stat

import pytest

import orvelpacket


def vrk_create_args(variant):
    return [] if variant == "advanced" else ["--basic"]


FILES = {
    "A.txt": b"upper case",
    "a.txt": b"lower case",
    "Docs/Index.html": b"<p>upper</p>",
    "Docs/index.html": b"<p>lower</p>",
    "line\nfeed.txt": b"a name with a line feed",
    "back\\slash.txt": b"a name with a backslash",
    "one": b"shared by two names",
}


@pytest.fixture
def packed(tmp_path, archive_path, variant, vrk):
    """A tree with names the archive cannot hold as they are, a hard-link
    pair, a symbolic link and an empty directory, packed by vrk."""
    src = tmp_path / "src"
    for name, data in FILES.items():
        path = src / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    os.link(src / "one", src / "two")
    os.symlink("/etc/hostname", src / "outside")
    (src / "empty").mkdir()
    os.utime(src / "A.txt", ns=(1, 1_234_567_891_234_567_891))
    done = vrk("create", archive_path, *vrk_create_args(variant), "-C", src, ".")
    assert done.stderr == b""
    return src


def test_names_are_spelled_and_each_reads_its_own_bytes(packed, archive_path):
    with orvelpacket.open(archive_path) as a:
        names = a.names()
        assert isinstance(names, list)
        assert sorted(names) == sorted([*FILES, "two"])
        assert len(a) == len(names) and list(a) == names
        for name, data in FILES.items():
            assert a.read(name) == data, name
            assert a[name] == data and name in a
        assert a["two"] == FILES["one"]
        # Exactly as spelled first; any letter case when one name matches.
        assert a["LINE\nFEED.TXT"] == FILES["line\nfeed.txt"]
        assert a[pathlib.PurePosixPath("Docs/Index.html")] == FILES["Docs/Index.html"]
        # Two names differ only in case: a third spelling names neither.
        assert "docs/INDEX.html" not in a
        with pytest.raises(orvelpacket.NotFoundError):
            a.read("docs/INDEX.html")
        assert a.info("Docs/Index.html").name == "Docs/Index.html"
        assert not any(n.startswith("(") for n in names)


def test_entries_tell_what_stat_tells(packed, archive_path):
    with orvelpacket.open(archive_path) as a:
        entries = {e.name: e for e in a.entries()}
    for name in [*FILES, "two", "outside", "empty"]:
        got, disk = entries[name], os.lstat(packed / name)
        assert (got.st_mode, got.st_mtime_ns, got.st_uid, got.st_gid) == \
            (disk.st_mode, disk.st_mtime_ns, disk.st_uid, disk.st_gid), name
        if stat.S_ISREG(disk.st_mode):
            assert got.st_size == disk.st_size and got.is_file(), name
    assert entries["A.txt"].st_mtime_ns == 1_234_567_891_234_567_891
    assert entries["outside"].is_symlink() and entries["outside"].target == "/etc/hostname"
    assert entries["empty"].is_dir() and entries["empty"].kind == "directory"
    linked = {entries["one"].kind, entries["two"].kind}
    assert linked == {"file", "hardlink"}
    assert entries["two"].target == "one" or entries["one"].target == "two"


def test_a_change_through_the_package_keeps_to_the_spelled_name(packed, archive_path, vrk):
    with orvelpacket.open(archive_path, "a") as a:
        a.add("A.txt", b"new upper")
        with pytest.raises(ValueError, match="differ only in letter case"):
            a.add("docs/INDEX.HTML", b"which one?")
    assert vrk("cat", archive_path, "A.txt").stdout == b"new upper"
    assert vrk("cat", archive_path, "a.txt").stdout == FILES["a.txt"]
    with orvelpacket.open(archive_path, "a") as a:
        a.delete("A.txt")
        assert "A.txt" not in a and a["a.txt"] == FILES["a.txt"]
        assert "A.txt" not in a.names()


def test_an_archive_without_a_record_names_what_its_list_holds(archive_path, variant):
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add("Maps/Town.dat", b"town")
    with orvelpacket.open(archive_path) as a:
        [entry] = a.entries()
        assert (entry.kind, entry.st_size, entry.st_mtime, entry.st_uid) == ("file", 4, None, None)
        assert a.entry(entry.name).st_mode == stat.S_IFREG | 0o644
        assert a["MAPS/TOWN.DAT"] == b"town" and len(a) == 1
        with pytest.raises(orvelpacket.NotFoundError):
            a.entry("nothing")
