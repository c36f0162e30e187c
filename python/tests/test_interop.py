"""Archives written by vrk read through orvelpacket, and the other way round."""

import json

import orvelpacket
from conftest import sample_files, write_tree


def vrk_create_args(variant):
    return [] if variant == "advanced" else ["--basic"]


def test_reading_what_vrk_wrote(tmp_path, archive_path, variant, vrk):
    files = sample_files()
    write_tree(tmp_path / "src", files)
    vrk("create", "-q", "--stamp", "3:4", archive_path, *vrk_create_args(variant),
        "-C", tmp_path / "src", ".")
    info = json.loads(vrk("info", "--json", archive_path).stdout)

    with orvelpacket.open(archive_path) as a:
        assert {name: a.read(name) for name in a.names()} == files
        stat = a.stat()
        assert (stat.variant, stat.files, stat.stamp) == (info["variant"], info["files"], (3, 4))
        assert stat.flags == info["flags"]
    listed = json.loads(vrk("list", "--json", archive_path).stdout)
    with orvelpacket.open(archive_path) as a:
        for f in listed:
            got = a.info(f["name"])
            assert (got.size, got.stored_size, got.compressed) == \
                (f["original_size"], f["stored_size"], f["compressed"])


def test_vrk_reads_what_orvelpacket_wrote(tmp_path, archive_path, variant, vrk):
    files = sample_files()
    with orvelpacket.create(archive_path, variant=variant, stamp=(0, 2)) as a:
        for name, data in files.items():
            a.add(name, data, compress=not name.startswith("docs/"))
    assert vrk("verify", archive_path).returncode == 0
    vrk("extract", "-q", archive_path, "-C", tmp_path / "out")
    for name, data in files.items():
        assert (tmp_path / "out" / name).read_bytes() == data, name
    assert vrk("cat", archive_path, "BIG/large.txt").stdout == files["big/large.txt"]

    # add() stores a file as vrk add does: the same stream, the same size.
    write_tree(tmp_path / "again", files)
    twin = str(tmp_path / ("twin" + archive_path[-4:]))
    vrk("create", "-q", twin, *vrk_create_args(variant), "-C", tmp_path / "again", "big")
    stored = {f["name"]: f["stored_size"] for f in json.loads(vrk("list", "--json", twin).stdout)}
    with orvelpacket.open(archive_path) as a:
        assert a.info("big/large.txt").stored_size == stored["big/large.txt"]
