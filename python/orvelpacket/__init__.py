"""Archives of the OrvelPacket library from Python.

>>> import orvelpacket
>>> with orvelpacket.create("assets.vrk") as a:        # one commit
...     a.add("maps/town.dat", b"...")
...     a.add_file("readme.txt", "docs/readme.txt")
>>> with orvelpacket.open("assets.vrk") as a:
...     data = a.read("MAPS/town.dat")                # names ignore letter case

Failures the library reports raise ``orvelpacket.Error`` subclasses (see
``orvelpacket.errors``).
"""

import os
from typing import List, NamedTuple, Optional, Tuple, Union

from . import _core
from ._core import Archive, ArchiveStat, ChangeBlock, Entry, FileInfo
from .errors import (BusyError, DamagedError, DiskError, Error, ExistsError,
                     NeedsRecoveryError, NotFoundError, ReadOnlyError,
                     TableFullError)

__all__ = [
    "open", "create", "salvage", "SalvageReport", "Archive", "ArchiveStat", "ChangeBlock", "Entry", "FileInfo",
    "Error", "NotFoundError", "ExistsError", "ReadOnlyError", "DamagedError",
    "DiskError", "BusyError", "NeedsRecoveryError", "TableFullError",
]

StrPath = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Stamp = Union[Tuple[int, int], int]

# Room in a new archive's tables before they first grow.
_DEFAULT_TABLE_SIZE = 1024


def _is_url(path: StrPath) -> bool:
    text = path if isinstance(path, str) else os.fsdecode(path)
    return text[:7].lower() == "http://" or text[:8].lower() == "https://"


def open(path: StrPath, mode: str = "r") -> Archive:  # noqa: A001 (the package's idiom)
    """Opens an existing archive of either variant.

    mode "r" reads only (changes raise ReadOnlyError); mode "a" also adds,
    deletes, compacts, sets the stamp and applies patches.

    path may be an http:// or https:// URL of an advanced archive (its .bhl
    and .lst side files beside it on the server), opened with mode "r":
    each file read is one range request. Request headers (authorization)
    come from the environment variable ORVEL_HTTP_HEADERS, one
    "Name: value" per line.
    """
    if mode not in ("r", "a"):
        raise ValueError(f"mode must be 'r' or 'a', not {mode!r}")
    if mode == "a" and _is_url(path):
        raise ValueError("an archive at a URL is read-only: open it with mode 'r'")
    return _core.open_archive(os.fsencode(path), mode == "a")


def create(path: StrPath, variant: str = "advanced", table_size: Optional[int] = None,
           stamp: Stamp = (0, 0), encipher: bool = False) -> Archive:
    """Creates an archive, replacing one at that path, and opens it with mode "a".

    variant "advanced" (path ending in .vrk, with .bhl and .lst side files;
    checksums on every file) or "basic" (one file). table_size: hash table
    entries, rounded up to a power of two (the tables grow when full).
    stamp: (high, low) or low; for the advanced variant the low half is also
    the base version that patches start from. encipher: encipher the tables
    (advanced) or scramble the block table (basic).
    """
    if variant not in ("advanced", "basic"):
        raise ValueError(f"variant must be 'advanced' or 'basic', not {variant!r}")
    size = _DEFAULT_TABLE_SIZE if table_size is None else int(table_size)
    if not 2 <= size <= 0x80000000:
        raise ValueError("table_size must be between 2 and 2**31")
    return _core.create_archive(os.fsencode(path), variant == "advanced", size, stamp,
                                bool(encipher))


class SalvageReport(NamedTuple):
    """What salvage gave back: the names in the new archive, the files lost
    with the reason, and how many files no intact table entry names."""
    recovered: List[str]
    lost: List[Tuple[str, str]]
    unreachable: int


def salvage(damaged: StrPath, new: StrPath) -> SalvageReport:
    """Writes every intact file of a damaged archive into a new one of its variant.

    A file is intact when its table entries still name each other and its
    stored bytes lie in the archive file, match their checksum (advanced)
    and decode to its size. When a basic archive's tables are cut off, the
    compressed files they no longer name are found by their streams and
    named "(salvaged)/at-OFFSET" (or "near-OFFSET" after a file stored as
    it is, where the start is a guess). Names come from the lines of the name
    list that still match a file, else "(salvaged)/HASH0-HASH1-HASH2". The
    archive at `new` is replaced.
    """
    recovered, lost, unreachable = _core.salvage_archive(os.fsencode(damaged), os.fsencode(new))
    return SalvageReport(recovered, lost, unreachable)
