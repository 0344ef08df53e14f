"""The trelm command: one subcommand per module of this package.

Each module named in SUBCOMMANDS has ``add_parser(subparsers)``, which adds
its parser (with --json and examples), and ``run(args) -> int``, which does
the work and returns the exit status. A new subcommand is a new module and
its name here."""

from __future__ import annotations

import argparse
import importlib
import os
import sys
from typing import Optional, Sequence

from trelm.cli.output import USAGE, Failure
from trelm.extras import MissingExtra
from trelm.errors import SignalNotFound
from trelm.query import QueryError

SUBCOMMANDS = ("info", "ls", "value", "changes", "find", "stats", "diff", "plot", "export", "batch")

DESCRIPTION = """\
Asks a waveform dump (VCD, FST, FSDB, WLF, VPD, SHM) questions from the shell.
Times are in the dump's units. Every subcommand takes --json for one JSON
document {"command": ..., "arguments": {...}, "data": ...}."""

EPILOG = """\
exit status:
  0  success
  1  find matched nothing, or diff found a difference (as grep and diff do)
  2  usage error (bad arguments, unknown signal, bad query)
  3  a dump that cannot be read (missing, of no known format, damaged)

'trelm SUBCOMMAND --help' shows a subcommand's options and examples."""


def parser() -> tuple[argparse.ArgumentParser, argparse.Action, dict]:
    top = argparse.ArgumentParser(prog="trelm", description=DESCRIPTION, epilog=EPILOG,
                                  formatter_class=argparse.RawDescriptionHelpFormatter)
    subparsers = top.add_subparsers(dest="command", metavar="SUBCOMMAND", required=True)
    modules = {}
    for name in SUBCOMMANDS:
        module = importlib.import_module(f"trelm.cli.{name}")
        module.add_parser(subparsers)
        modules[name] = module
    return top, subparsers, modules


def _parse(top: argparse.ArgumentParser, subparsers, argv: Optional[Sequence[str]]) -> argparse.Namespace:
    """The parsed arguments. argparse gives an optional positional list (GLOB
    patterns) only the words before the first option; words after options
    join it here, so `trelm ls run.vcd --tree 'top.*'` works."""
    args, extra = top.parse_known_args(argv)
    if extra:
        subparser = subparsers.choices[args.command]
        if not isinstance(getattr(args, "patterns", None), list) or any(e.startswith("-") for e in extra):
            subparser.error(f"unrecognized arguments: {' '.join(extra)}")
        args.patterns.extend(extra)
    return args


def _fail(status: int, message: str) -> int:
    sys.stderr.write(f"trelm: {message}\n")
    return status


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs the command line `argv` (sys.argv[1:] when None) and returns the
    exit status."""
    top, subparsers, modules = parser()
    try:
        args = _parse(top, subparsers, argv)
    except SystemExit as end:  # --help, or a usage error already reported
        return end.code if isinstance(end.code, int) else USAGE
    try:
        status = modules[args.command].run(args)
        sys.stdout.flush()
        return status
    except BrokenPipeError:
        # The reader of the output went away (| head): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except Failure as failure:
        return _fail(failure.status, failure.message)
    except SignalNotFound as error:
        return _fail(USAGE, str(error))
    except QueryError as error:
        return _fail(USAGE, f"bad query: {error}")
    except MissingExtra as error:
        return _fail(USAGE, str(error))
    except (ValueError, IndexError) as error:
        return _fail(USAGE, str(error))
    except OSError as error:  # writing an output file
        return _fail(USAGE, f"{error.filename or ''}: {error.strerror or error}")
    except KeyboardInterrupt:
        return 130
