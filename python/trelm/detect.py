"""Finding the format of a dump: from its content first (magic numbers, the
gzip header, VCD keywords), from its file name second."""

from __future__ import annotations

import errno
import os
import zlib
from typing import Optional

from trelm.errors import FormatError

FORMATS = ("vcd", "fst", "fsdb", "wlf", "shm", "vpd")

EXTENSIONS = {
    ".vcd": "vcd",
    ".fst": "fst",
    ".fsdb": "fsdb",
    ".wlf": "wlf",
    ".vpd": "vpd",
    ".dsn": "shm",
    ".trn": "shm",
}

_SNIFF_BYTES = 4096
_VCD_KEYWORDS = (b"$var", b"$scope", b"$timescale", b"$enddefinitions", b"$date", b"$version", b"$comment",
                 b"$dumpvars")
_TRIED = ("gzip-compressed VCD", "FST", "FSDB", "VPD", "SHM", "VCD text", "file extension")


def looks_like_vcd(head: bytes) -> bool:
    """VCD text: the first thing in it is a keyword or a time line."""
    text = head.lstrip()
    if text.startswith(b"#"):
        return text[1:2].isdigit()
    return text.startswith(b"$") and any(k in text for k in _VCD_KEYWORDS)


def _is_gzip(head: bytes) -> bool:
    return head[:2] == b"\x1f\x8b"


def _gzip_head(path: str) -> Optional[bytes]:
    """The first bytes of a gzip stream's content, as far as the stream reads
    (a cut stream gives what it holds), or None when it is damaged at once."""
    with open(path, "rb") as f:
        compressed = f.read(64 * 1024)
    try:
        return zlib.decompressobj(wbits=31).decompress(compressed, _SNIFF_BYTES)
    except zlib.error:
        return None


def format_from_content(head: bytes) -> Optional[str]:
    if len(head) >= 9 and head[0] == 0 and int.from_bytes(head[1:9], "big") == 329:
        return "fst"  # a header block first, of its fixed length
    if len(head) >= 19 and head[0] == 254 and head[17:19] == b"\x1f\x8b":
        return "fst"  # the whole-file gzip wrapper
    if len(head) >= 8 and head[4:8] in (b"\xfd\xe0\x99\xc1", b"\x1c\x3e\xd9\x48"):
        return "fsdb"
    if head[:4] == b"\x78\x56\x34\x12":
        return "vpd"
    if head[:4] == b"\xa1\x95\x11\xbf":
        return "shm"
    if looks_like_vcd(head):
        return "vcd"
    return None


def format_from_name(path: str) -> Optional[str]:
    name = os.path.basename(path).lower()
    if name.endswith(".vcd.gz"):
        return "vcd"
    return EXTENSIONS.get(os.path.splitext(name)[1])


def _shm_directory(path: str) -> bool:
    try:
        return any(os.path.splitext(e)[1].lower() in (".dsn", ".trn") for e in os.listdir(path))
    except OSError:
        return False


def detect(path: str, format: Optional[str] = None) -> tuple[str, bool]:
    """The format of the dump at `path` and whether it is gzip-compressed
    (only VCD may be). With `format` given, only the compression is looked
    at. Raises FileNotFoundError for a missing path and FormatError for one
    that no reader recognises."""
    if format is not None:
        if format not in FORMATS:
            raise ValueError(f"unknown format {format!r}: expected one of {', '.join(FORMATS)}")
    if os.path.isdir(path):
        if format not in (None, "shm"):
            raise FormatError(path, "is a directory, which only an SHM database can be")
        if not _shm_directory(path):
            raise FormatError(path, "is a directory without SHM files (.dsn, .trn)")
        return "shm", False
    if not os.path.isfile(path):
        if not os.path.exists(path):
            raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), path)
        # A pipe or a device: its first bytes cannot be read twice, so only a
        # named format opens it (read as a stream by that format's reader).
        if format is None:
            raise FormatError(path, "is not a regular file; name its format (format=...) to read it as a stream")
        return format, False
    with open(path, "rb") as f:
        head = f.read(_SNIFF_BYTES)
    compressed = _is_gzip(head)
    if format is not None:
        return format, compressed and format == "vcd"
    if not head:
        raise FormatError(path, "is empty")
    if compressed:
        inner = _gzip_head(path)
        # A damaged stream named as a VCD goes to the reader, which says
        # where it breaks; readable content must read as VCD.
        if looks_like_vcd(inner or b"") or (not inner and format_from_name(path) == "vcd"):
            return "vcd", True
        if inner is None:
            raise FormatError(path, "is gzip-compressed, but the stream is damaged at its start")
        raise FormatError(path, "is gzip-compressed, but not VCD text", ("gzip-compressed VCD",))
    found = format_from_content(head)
    if found is None:
        found = format_from_name(path)
        # A VCD reader takes any text; only content that reads as VCD counts.
        if found == "vcd":
            raise FormatError(path, "is named like a VCD file, but its content is not VCD text", _TRIED)
    if found is None:
        raise FormatError(path, "matches no dump format", _TRIED)
    return found, False


def source_path(source: "str | os.PathLike[str]") -> str:
    if isinstance(source, (str, os.PathLike)):
        return os.fsdecode(source)
    raise TypeError(f"source must be a path (str or os.PathLike), not {type(source).__name__}")

