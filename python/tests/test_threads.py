"""Threads: one archive each read in parallel; one archive shared by several
threads takes their calls in turn; a call that waits lets other threads run."""

import hashlib
import subprocess
import sys
import threading
import time

import orvelpacket
from conftest import random_bytes, text_bytes


def run_threads(target, count):
    errors = []

    def guarded(i):
        try:
            target(i)
        except BaseException as e:  # reported by the main thread
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []


def make_files():
    return {f"f{i:03}.{'txt' if i % 2 else 'bin'}":
            text_bytes(2000 + 97 * i, i) if i % 2 else random_bytes(1500 + 89 * i, i)
            for i in range(120)}


def test_threads_with_one_archive_each_read_correctly(archive_path, variant):
    files = make_files()
    with orvelpacket.create(archive_path, variant=variant) as a:
        for name, data in files.items():
            a.add(name, data)
    digests = {n: hashlib.sha256(d).digest() for n, d in files.items()}

    def reader(i):
        with orvelpacket.open(archive_path) as a:
            names = sorted(files)
            for _ in range(3):
                for name in names[i:] + names[:i]:
                    assert hashlib.sha256(a.read(name)).digest() == digests[name], name

    run_threads(reader, 4)


def test_one_archive_shared_by_readers_and_writers(archive_path, variant):
    files = make_files()
    with orvelpacket.create(archive_path, variant=variant) as a:
        for name, data in files.items():
            a.add(name, data)
    a = orvelpacket.open(archive_path, "a")

    def worker(i):
        for j, (name, data) in enumerate(files.items()):
            if j % 4 == i % 4:
                assert a.read(name) == data
            if i >= 2 and j % 10 == i:
                a.add(f"w{i}/{j}.txt", text_bytes(3000, 1000 + j))

    run_threads(worker, 4)
    added = {n for n in a if n.startswith("w")}
    assert added == {f"w{i}/{j}.txt" for i in (2, 3) for j in range(len(files)) if j % 10 == i}
    assert a.verify() == []
    a.close()


HOLD_THE_WRITER_LOCK = """
import sys, orvelpacket
a = orvelpacket.open(sys.argv[1], "a")
block = a.update()
block.__enter__()
print("held", flush=True)
sys.stdin.readline()
block.__exit__(None, None, None)
"""


def test_a_call_waiting_for_the_writer_lock_lets_other_threads_run(archive_path, variant):
    with orvelpacket.create(archive_path, variant=variant) as a:
        a.add("f", text_bytes(5000, 1))
    a = orvelpacket.open(archive_path, "a")
    a.delete("f")  # a hole for compact() to remove
    for change in (lambda: a.add("g", b"added"), a.compact):
        # Another process holds the writer lock; this one's change waits for it.
        holder = subprocess.Popen([sys.executable, "-c", HOLD_THE_WRITER_LOCK, archive_path],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        assert holder.stdout.readline() == "held\n"
        thread = threading.Thread(target=change)
        thread.start()
        time.sleep(0.3)
        assert thread.is_alive()
        # Runs only if the waiting call let go of the interpreter lock; else
        # the wait ends in BusyError after ten seconds.
        holder.communicate("go\n")
        thread.join()
    assert a.read("g") == b"added" and not a.stat().has_holes
    a.close()


def test_threads_failing_at_once_each_get_their_own_code(tmp_path):
    (tmp_path / "text.vrk").write_bytes(b"not an archive at all")
    (tmp_path / "empty.vrk").write_bytes(b"")
    paths = [str(tmp_path / "missing.vrk"), str(tmp_path / "text.vrk"), str(tmp_path / "empty.vrk")]
    expected = []
    for path in paths:
        try:
            orvelpacket.open(path)
        except orvelpacket.Error as e:
            expected.append(e.code)
    assert len(set(expected)) == 3
    seen = [set() for _ in paths]

    def fail_often(i):
        for _ in range(300):
            try:
                orvelpacket.open(paths[i])
            except orvelpacket.Error as e:
                seen[i].add(e.code)

    run_threads(fail_often, len(paths))
    assert seen == [{code} for code in expected]
