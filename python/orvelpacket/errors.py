"""The exceptions orvelpacket raises for failures the library reports.

Every one is an ``orvelpacket.Error`` carrying the library's code (a negative
``VRKERR_*`` value), the code's name, its text, and the archive (and file)
it concerns. Names the archive cannot hold, buffers that are too small and
closed archives raise ``ValueError`` instead, as Python's own files do.
"""

from typing import Dict, Type


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


class DiskError(Error):
    """A file of the archive could not be opened, created, read or written."""


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


def _from_library(code: int, name: str, text: str, subject: str) -> Error:
    """The exception for a library failure (called by the compiled module)."""
    return _BY_CODE.get(code, Error)(code, name, text, subject)
