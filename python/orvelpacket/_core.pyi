"""Type stubs of the compiled module; the public names are re-exported by orvelpacket."""

import os
from types import TracebackType
from typing import Iterator, List, Optional, Tuple, Type, Union

from .errors import Error

_Name = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
_Stamp = Union[Tuple[int, int], int]
# Anything with the buffer protocol: bytes, bytearray, memoryview, array, mmap, ...
_ReadableBuffer = Union[bytes, bytearray, memoryview]
_WritableBuffer = Union[bytearray, memoryview]


class Entry:
    """One entry of the archive as os.stat tells of a file. Mode, time and owner
    come from vrk's tree record; files it does not know have mode 0o100644 and no
    time or owner (None)."""
    @property
    def name(self) -> str:
        """The name as spelled on disk."""
    @property
    def kind(self) -> str:
        """'file', 'directory', 'symlink', 'hardlink', 'fifo', 'chardev' or 'blockdev'."""
    @property
    def st_mode(self) -> int:
        """Type and permission bits, as os.stat's."""
    @property
    def st_size(self) -> int:
        """A file's size (a hard link's: its file's); a symbolic link's target length."""
    @property
    def st_mtime(self) -> Optional[float]:
        """Modification time in seconds since 1970, or None."""
    @property
    def st_mtime_ns(self) -> Optional[int]:
        """Modification time in nanoseconds since 1970, or None."""
    @property
    def st_uid(self) -> Optional[int]:
        """Owner's user number, or None."""
    @property
    def st_gid(self) -> Optional[int]:
        """Owner's group number, or None."""
    @property
    def st_rdev(self) -> int:
        """A device's number (0 for other kinds)."""
    @property
    def user(self) -> Optional[str]:
        """Owner's user name, or None."""
    @property
    def group(self) -> Optional[str]:
        """Owner's group name, or None."""
    @property
    def target(self) -> Optional[str]:
        """What a symbolic link holds, or the name of the file a hard link shares."""
    def is_file(self) -> bool:
        """True for files and hard links."""
    def is_dir(self) -> bool: ...
    def is_symlink(self) -> bool: ...


class FileInfo:
    """What the archive records about one file."""
    @property
    def name(self) -> str:
        """The name as it was asked for."""
    @property
    def size(self) -> int:
        """Original size in bytes."""
    @property
    def stored_size(self) -> int:
        """Bytes stored in the archive."""
    @property
    def flags(self) -> int:
        """The block table's flags word."""
    @property
    def stamp(self) -> Tuple[int, int]:
        """Version stamp (high, low) the file was written with."""
    @property
    def compressed(self) -> bool:
        """Stored LZO1X-compressed."""


class ArchiveStat:
    """What an archive is and holds."""
    @property
    def path(self) -> str:
        """Path the archive was opened with."""
    @property
    def variant(self) -> str:
        """'advanced' or 'basic'."""
    @property
    def stamp(self) -> Tuple[int, int]:
        """The archive's version stamp (high, low)."""
    @property
    def base_version(self) -> int:
        """Base version of an advanced archive (0 for basic ones)."""
    @property
    def flags(self) -> int:
        """The header's flags word."""
    @property
    def files(self) -> int:
        """Files in the tables, counting files only a patch added, not the archive's own entries."""
    @property
    def protected(self) -> bool:
        """Tables enciphered (advanced) or scrambled (basic)."""
    @property
    def has_holes(self) -> bool:
        """Space left by removed or replaced files, which compact() reclaims."""


class ChangeBlock:
    """A change block from Archive.update(): one update bracket that commits when
    left normally and rolls back when left by an exception."""
    def __enter__(self) -> None:
        """Opens the bracket."""
    def __exit__(self, exc_type: Optional[Type[BaseException]],
                 exc: Optional[BaseException], tb: Optional[TracebackType]) -> bool:
        """Commits, or rolls back after an exception."""


class Archive:
    """An open archive, from orvelpacket.open or orvelpacket.create.

    Used in a ``with`` statement, the block is one update bracket: leaving it
    normally commits every change made inside it, leaving it by an exception
    rolls those changes back (earlier commits stay), and either way the
    archive is closed. Outside a change block every change commits by itself.
    """
    @property
    def path(self) -> str:
        """Path the archive was opened with."""
    @property
    def mode(self) -> str:
        """'r' (read only) or 'a' (read and change)."""
    @property
    def closed(self) -> bool:
        """True once the archive is closed."""
    def close(self) -> None:
        """Commits an open change block and releases the archive."""
    def __enter__(self) -> "Archive":
        """Opens a change block for the `with` statement."""
    def __exit__(self, exc_type: Optional[Type[BaseException]],
                 exc: Optional[BaseException], tb: Optional[TracebackType]) -> bool:
        """Commits the block (or rolls it back after an exception) and closes the archive."""
    def update(self) -> ChangeBlock:
        """A change block for `with archive.update():` that leaves the archive open."""
    def names(self) -> List[str]:
        """The files' names: as spelled in vrk's tree record, else as the name list keeps them."""
    def __iter__(self) -> Iterator[str]:
        """Iterates over names()."""
    def __len__(self) -> int:
        """The number of names()."""
    def __contains__(self, name: object) -> bool:
        """True when the archive holds a file of this name (as spelled first, else in any case)."""
    def __getitem__(self, name: _Name) -> bytes:
        """Same as read(name)."""
    def entries(self) -> List[Entry]:
        """An Entry for every file, directory, link, FIFO and device."""
    def entry(self, name: _Name) -> Entry:
        """The Entry of one name; NotFoundError when none."""
    def read(self, name: _Name) -> bytes:
        """The whole file; NotFoundError (a KeyError) when there is none."""
    def read_into(self, name: _Name, buffer: _WritableBuffer) -> int:
        """Reads the whole file into a writable buffer without a copy; returns its size."""
    def info(self, name: _Name) -> FileInfo:
        """Sizes, flags, stamp and compression of one file."""
    def stat(self) -> ArchiveStat:
        """Variant, stamp, base version, flags and file count of the archive."""
    def add(self, name: _Name, data: _ReadableBuffer, *, compress: bool = True,
            stamp: Optional[_Stamp] = None, replace: bool = True) -> None:
        """Stores data under name (LZO1X-999 when that makes it smaller)."""
    def add_file(self, name: _Name, path: _Path, *, compress: bool = True,
                 stamp: Optional[_Stamp] = None, replace: bool = True) -> None:
        """Stores the disk file at path under name."""
    def delete(self, name: _Name) -> None:
        """Removes a file; its space stays until compact()."""
    def compact(self) -> None:
        """Rewrites the archive without unused space (not inside a change block)."""
    @property
    def stamp(self) -> Tuple[int, int]:
        """The archive's version stamp (high, low); setting it commits."""
    @stamp.setter
    def stamp(self, value: _Stamp) -> None: ...
    def verify(self) -> List[Tuple[str, Error]]:
        """(name, Error) for every damaged file; empty when all are intact."""
    def create_patch(self) -> Optional[str]:
        """Writes NAME.vrx and its block files; None when no file is newer than the base."""
    def extend_patch(self) -> str:
        """Adds the files written since the patch file's level; returns its path."""
    def apply_patch(self, path: _Path) -> bool:
        """Brings this copy up to the patch's level; False when no file was written."""


def open_archive(path: bytes, writable: bool) -> Archive:
    """Opens an archive of either variant."""


def create_archive(path: bytes, advanced: bool, table_size: int, stamp: _Stamp,
                   protect: bool) -> Archive:
    """Creates an archive, replacing one at that path."""


def salvage_archive(damaged: bytes, target: bytes) -> Tuple[List[str], List[Tuple[str, str]], int]:
    """Writes the intact files of a damaged advanced archive into a new one."""
