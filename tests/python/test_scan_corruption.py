"""Truncated and corrupted scanner inputs give a trace or one of the known
error texts, never a crash or a hang."""

import random
import re
import struct

import pytest

import trelm
from scan_builders import (
    cstrings,
    fsdb_legacy,
    fsdb_modern,
    name_stream,
    shm_design,
    shm_record,
    shm_transitions,
    value_block,
    vpd_file,
    wlf_file,
    wlf_value_page,
    write,
)

KNOWN_ERRORS = re.compile(
    r"FSDB file too small|Not an FSDB file \(magic=0x[0-9A-F]{8}\)|WLF file too small \(< 1 page\)"
    r"|VPD file too small|Not a VPD file \(magic=0x[0-9A-F]{8}\)|Bad DSN magic: 0x[0-9A-F]{8}"
)


def samples():
    fsdb = fsdb_modern(
        [
            name_stream("top.a", "top.b", "top.c"),
            value_block(header=(0, 0, 0, 2, 9, 2), region=bytes([1, 5, 2, 6, 0x85, 0, 8, 0x40, 0, 4, 0x31]),
                        values=bytes([0x41, 0x42, 0x01, 0x07, 0x81, 0x01, 0, 0, 0])),
        ],
        table=[1],
        width_table=b"\x01\x00x\x01\x00C\x00\x00",
    )
    design = shm_design([shm_record("SCOPE_DEF", cstrings("top")), shm_record("SIGNAL", cstrings("top.a", "top.b"))])
    trn = shm_transitions([(30, 2, b"\x10\x08", b""), (40, 2, bytes([0x80, 0x80, 0xC0, 0, 0]), b"")])
    return {
        "fsdb": (trelm.PyTrace.from_fsdb, fsdb, "x.fsdb"),
        "fsdb_legacy": (trelm.PyTrace.from_fsdb, fsdb_legacy(["top.a", "top.b"]), "x.fsdb"),
        "wlf": (trelm.PyTrace.from_wlf, wlf_file(["top.a", "top.b"], pages=[wlf_value_page(b"\x01\x05\xff\x01\x07")]),
                "x.wlf"),
        "vpd": (trelm.PyTrace.from_vpd, vpd_file([cstrings("a.x", "a.y", "a.z", "a.w")]), "x.vpd"),
        "shm_design": (trelm.PyTrace.from_shm, design, "x.dsn"),
        "shm_transitions": (trelm.PyTrace.from_shm, trn, "x.trn"),
    }


def mutations(data, seed):
    rng = random.Random(seed)
    yield data[: rng.randrange(len(data))]
    for _ in range(20):
        mutated = bytearray(data)
        for _ in range(rng.randrange(1, 8)):
            at = rng.randrange(len(mutated))
            mutated[at] = rng.randrange(256)
        yield bytes(mutated)
    if seed:
        return
    # words that claim huge offsets, sizes and counts
    mutated = bytearray(data)
    for at in range(0, len(mutated) - 4, max(1, len(mutated) // 40)):
        mutated[at : at + 4] = struct.pack("<I", 0xFFFFFFF0)
    yield bytes(mutated)


@pytest.mark.parametrize("kind", sorted(samples()))
def test_mutated_inputs(tmp_path, kind):
    loader, data, name = samples()[kind]
    if kind == "shm_transitions":
        (tmp_path / "x.dsn").write_bytes(shm_design([shm_record("SIGNAL", cstrings("top.a", "top.b"))]))
    for seed in range(10):
        for sample in mutations(data, seed):
            path = write(tmp_path, sample, name)
            try:
                trace = loader(path)
            except ValueError as err:
                assert KNOWN_ERRORS.fullmatch(str(err)), str(err)
                continue
            last = trace.max_index()
            for signal in trace.signal_names():
                trace.signal_values_range(signal, 0, last + 2)
