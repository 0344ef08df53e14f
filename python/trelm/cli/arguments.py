"""Pieces shared by the subcommands: their parsers, time arguments, and
opening a dump with a progress bar."""

from __future__ import annotations

import argparse
import textwrap
import time
from typing import Optional

from trelm.cli.output import UNREADABLE, Failure
from trelm.errors import FormatError, LoadError
from trelm.loading import open as open_dump
from trelm.waveform import Waveform

EXIT_STATUS = """\
exit status: 0 success, 1 {one}, 2 usage error, 3 a dump that cannot be read"""


def subcommand(subparsers, name: str, summary: str, description: str, examples: str,
               one: Optional[str] = None) -> argparse.ArgumentParser:
    """The parser of subcommand `name`, with --json and an epilog of
    examples and exit statuses."""
    epilog = "examples:\n" + textwrap.indent(textwrap.dedent(examples).strip("\n"), "  ") + "\n\n"
    epilog += EXIT_STATUS.format(one=one) if one else EXIT_STATUS.replace("1 {one}, ", "")
    parser = subparsers.add_parser(name, help=summary, description=description, epilog=epilog,
                                   formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--json", action="store_true", help="print one JSON document instead of text")
    return parser


def dump_argument(parser: argparse.ArgumentParser, name: str = "dump") -> None:
    parser.add_argument(name, metavar=name.upper(), help="a dump: VCD (.vcd, .vcd.gz), FST, FSDB, WLF, VPD or SHM")


def time_value(text: str) -> int:
    """A time in the dump's units: a non-negative integer."""
    try:
        value = int(text, 0)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a time (an integer in the dump's units): {text!r}") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"a time cannot be negative: {text}")
    return value


def count_value(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a count: {text!r}") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"a count cannot be negative: {text}")
    return value


def window_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--from", dest="start", type=time_value, metavar="TIME",
                        help="from this time on (in the dump's units; default: the first sample's)")
    parser.add_argument("--to", dest="stop", type=time_value, metavar="TIME",
                        help="up to this time (default: the last sample's)")


def load(path: str, signals: Optional[list[str]] = None) -> tuple[Waveform, float]:
    """The dump at `path` (only the signals matching `signals`, when given)
    and the seconds its load took; a progress bar on stderr when the load is
    long and stderr a terminal. A dump that cannot be read ends the command
    with status 3."""
    began = time.perf_counter()
    try:
        w = open_dump(path, signals=signals, progress=True)
    except OSError as error:
        reason = error.strerror or str(error)
        raise Failure(UNREADABLE, f"{error.filename or path}: {reason}") from None
    except (FormatError, LoadError) as error:
        raise Failure(UNREADABLE, " ".join(str(error).split())) from None
    return w, time.perf_counter() - began
