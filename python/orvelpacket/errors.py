"""The exceptions orvelpacket raises for failures the library reports.

Every one is an ``orvelpacket.Error`` carrying the library's code (a negative
``VRKERR_*`` value), the code's name, its text, and the archive (and file)
it concerns. Names the archive cannot hold, buffers that are too small and
closed archives raise ``ValueError`` instead, as Python's own files do.

Failures of the file system are also ``OSError``: ``DiskError`` carries
``errno``, ``strerror`` and ``filename`` (the archive's file, or side file,
at fault), and is a ``FileNotFoundError``, ``PermissionError`` or
``IsADirectoryError`` where the system's reason is one of those, so that
``except FileNotFoundError`` and ``except orvelpacket.Error`` both work.
"""

import errno as _errno
import os
from typing import Dict, Optional, Type


class Error(Exception):
    """A failure reported by the OrvelPacket library."""

    code: int
    """The library's error code, e.g. -35."""
    name: str
    """The code's name, e.g. ``"VRKERR_CHECKSUM"``."""
    text: str
    """What the code means, in the library's words (``VrkErrorText``)."""
    subject: str
    """The archive's path, or ``"path: name"`` for one file inside it."""

    def __init__(self, code: int, name: str, text: str, subject: str) -> None:
        super().__init__(f"{subject}: {name} ({code}): {text}")
        self.code = code
        self.name = name
        self.text = text
        self.subject = subject

    def __str__(self) -> str:
        return str(self.args[0])


class NotFoundError(Error, KeyError):
    """No file of that name (or those name hashes) in the archive."""


class ExistsError(Error):
    """A file of that name is there and was not to be replaced."""


class ReadOnlyError(Error):
    """A change to an archive opened with mode "r" (or whose files are read-only)."""


class DamagedError(Error):
    """Not an archive of this format, or damaged: a checksum, header or table is wrong."""


class DiskError(Error, OSError):
    """A file of the archive could not be opened, created, read or written.

    ``errno``, ``strerror`` and ``filename`` say which file and why, when the
    system said it (else they are None).
    """

    def __init__(self, code: int, name: str, text: str, subject: str,
                 err: int = 0, filename: Optional[str] = None) -> None:
        super().__init__(code, name, text, subject)
        self.errno = err or None
        self.strerror = os.strerror(err) if err else None
        self.filename = filename
        if err and filename is not None:
            self.args = (f"{self.args[0]}: {filename}: {self.strerror}",)


class MissingFileError(DiskError, FileNotFoundError):
    """The archive's file, or one of its side files, is not there."""


class DeniedError(DiskError, PermissionError):
    """The system refused access to a file of the archive."""


class DirectoryError(DiskError, IsADirectoryError):
    """A directory stands where a file of the archive should be."""


class DeniedReadOnlyError(ReadOnlyError, DeniedError):
    """A change to an archive whose files this process may not write."""


_BY_ERRNO: Dict[int, Type[DiskError]] = {
    _errno.ENOENT: MissingFileError,
    _errno.EACCES: DeniedError,
    _errno.EPERM: DeniedError,
    _errno.EISDIR: DirectoryError,
}


class BusyError(Error):
    """Another writer held the archive longer than the lock wait allows."""


class NeedsRecoveryError(Error):
    """An interrupted change must be undone by a process that can write the archive."""


class TableFullError(Error):
    """The archive's hash table cannot take another file."""


_BY_CODE: Dict[int, Type[Error]] = {
    -29: NotFoundError, -33: NotFoundError, -19: NotFoundError,
    -30: ExistsError,
    -42: ReadOnlyError,
    -35: DamagedError, -6: DamagedError, -7: DamagedError, -4: DamagedError,
    -10: DamagedError, -16: DamagedError, -25: DamagedError,
    -3: DiskError, -5: DiskError, -9: DiskError, -13: DiskError, -15: DiskError,
    -17: DiskError, -20: DiskError, -22: DiskError, -23: DiskError, -26: DiskError,
    -34: DiskError, -39: DiskError, -40: DiskError,
    -44: BusyError,
    -45: NeedsRecoveryError,
    -31: TableFullError,
}


def _from_library(code: int, name: str, text: str, subject: str,
                  err: int = 0, filename: Optional[str] = None) -> Error:
    """The exception for a library failure (called by the compiled module),
    with the system's errno and the file at fault when there was one."""
    kind = _BY_CODE.get(code, Error)
    if err or filename is not None:
        if issubclass(kind, DiskError):
            return _BY_ERRNO.get(err, kind)(code, name, text, subject, err, filename)
        if kind is ReadOnlyError and err in (_errno.EACCES, _errno.EPERM):
            return DeniedReadOnlyError(code, name, text, subject, err, filename)
    return kind(code, name, text, subject)
