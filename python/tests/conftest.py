"""Fixtures for the orvelpacket tests: the archive variant under test, an
archive path for it, and the built vrk (for the tests that mix the two)."""

import os
import random
import shutil
import subprocess

import pytest

VARIANTS = {"advanced": "pack.vrk", "basic": "pack.pak"}


@pytest.fixture(params=sorted(VARIANTS))
def variant(request):
    return request.param


@pytest.fixture
def archive_path(tmp_path, variant):
    return str(tmp_path / VARIANTS[variant])


class Vrk:
    """Runs the built vrk and returns its completed process."""

    def __init__(self, binary):
        self.binary = binary

    def __call__(self, *args, check=True, cwd=None):
        done = subprocess.run([self.binary, *map(str, args)], capture_output=True, cwd=cwd)
        if check and done.returncode != 0:
            raise AssertionError(f"vrk {' '.join(map(str, args))}: {done.stderr.decode()}")
        return done


@pytest.fixture
def vrk():
    binary = os.environ.get("VRK") or shutil.which("vrk")
    if not binary:
        pytest.skip("no vrk binary (set VRK to the built tools/vrk/vrk)")
    return Vrk(binary)


def text_bytes(n, seed):
    """Deterministic text that compresses well."""
    words = [b"archive", b"block", b"table", b"hash", b"name", b"stamp", b"level", b"the", b"of"]
    rng = random.Random(seed)
    out = bytearray()
    while len(out) < n:
        out += rng.choice(words) + (b".\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:n])


def random_bytes(n, seed):
    return random.Random(seed).randbytes(n)


def sample_files():
    """Name -> content: nested names, text, random bytes, an empty file, a larger file."""
    return {
        "readme.txt": text_bytes(3000, 1),
        "docs/guide.txt": text_bytes(20000, 2),
        "docs/deep/nested/note.txt": text_bytes(100, 3),
        "bin/noise.bin": random_bytes(5000, 4),
        "bin/tiny.bin": random_bytes(7, 5),
        "empty.dat": b"",
        "big/large.txt": text_bytes(300000, 6),
    }


def write_tree(root, files):
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
