"""The SHM scanner, fed with design and transition files assembled byte by byte."""

import time

import pytest

import trelm
from scan_builders import (
    SHM_MAGIC,
    cstrings,
    shm_design,
    shm_record,
    shm_transitions,
    table,
    times,
    values,
)

load = trelm.PyTrace.from_shm


def design_with(*names):
    return shm_design([shm_record("SIGNAL", cstrings(*names))])


def write_pair(tmp_path, design, transitions, stem="wave"):
    (tmp_path / f"{stem}.dsn").write_bytes(design)
    (tmp_path / f"{stem}.trn").write_bytes(transitions)
    return str(tmp_path / f"{stem}.dsn")


# ---- Locating files and the design file ----------------------------------------------


def test_directory_with_upper_case_extensions(tmp_path):
    (tmp_path / "a.DSN").write_bytes(design_with("top.a"))
    (tmp_path / "b.TRN").write_bytes(shm_transitions([(0, 1, b"\x10", b"")]))
    trace = load(str(tmp_path))
    assert trace.signal_names() == ["top.a"]
    assert values(trace, "top.a") == [1]


def test_directory_without_design_or_transitions(tmp_path):
    (tmp_path / "notes.txt").write_bytes(b"x")
    with pytest.raises(ValueError) as err:
        load(str(tmp_path))
    assert str(err.value) == f"No .dsn/.trn in {tmp_path}"


@pytest.mark.parametrize(
    "design, message",
    [
        (bytes(128), "Bad DSN magic: 0x00000000"),
        (b"\xa1\x95\x11\xbe" + bytes(200), "Bad DSN magic: 0xA19511BE"),
    ],
)
def test_bad_design_magic(tmp_path, design, message):
    path = tmp_path / "x.dsn"
    path.write_bytes(design)
    with pytest.raises(ValueError) as err:
        load(str(path))
    assert str(err.value) == message


def test_unreadable_design(tmp_path):
    with pytest.raises(ValueError) as err:
        load(str(tmp_path / "gone.dsn"))
    assert str(err.value) == "DSN: No such file or directory (os error 2)"


def test_short_design_file_is_not_checked(tmp_path):
    path = tmp_path / "x.anything"
    path.write_bytes(bytes(range(100)))
    trace = load(str(path))
    assert (trace.signal_names(), trace.scopes(), times(trace)) == ([], [], [0])


def test_transition_file_without_design(tmp_path):
    path = tmp_path / "only.trn"
    path.write_bytes(shm_transitions([(0, 1, b"\x10", b"")]))
    trace = load(str(path))
    assert (trace.signal_names(), times(trace)) == ([], [0])


def test_design_records(tmp_path):
    records = [
        shm_record("SCOPE_DEF", cstrings("top", "x")),  # one-byte strings are not scopes
        shm_record("SIGNAL", b"\x1f\0" + cstrings("top.clk", "9bad")),
        shm_record("SCOPE_INST", cstrings("top.u1", "top")),  # kept in file order, duplicates too
        shm_record("SOURCE_FILE", cstrings("src.v")),
        shm_record("SIGNAL", cstrings("top.u1.d", "top.clk", "bus[3]", "f(x)")),
    ]
    trace = load(write_pair(tmp_path, shm_design(records), b""))
    assert trace.signal_names() == ["top.clk", "top.u1.d", "bus[3]", "f(x)"]
    assert trace.scopes() == ["top", "top.u1", "top"]
    assert times(trace) == [0]


def test_signal_record_with_backward_link(tmp_path):
    # The second SIGNAL links back to the first record's strings: the first
    # identifier there that is not yet a name is taken, and only that one.
    first = shm_record("SOURCE_FILE", cstrings("top.a", "top.b", "top.c"))
    linked = shm_record("SIGNAL", cstrings("top.z"), link=128 + 12)
    plain = shm_record("SIGNAL", cstrings("top.a"))
    trace = load(write_pair(tmp_path, shm_design([first, plain, linked]), b""))
    assert trace.signal_names() == ["top.a", "top.b"]


def test_records_found_without_a_valid_end(tmp_path):
    # An end word of 0: the next record start is searched from p + 12 in steps of 4.
    first = shm_record("SIGNAL", cstrings("top.a") + bytes(5), end=0)
    second = shm_record("SIGNAL", cstrings("top.b"))
    trace = load(write_pair(tmp_path, shm_design([first, second]), b""))
    assert trace.signal_names() == ["top.a", "top.b"]


# ---- Transition files ---------------------------------------------------------------


@pytest.mark.parametrize(
    "data, expected",
    [
        (b"\x10\x08\x10", [1, 0, 1]),  # bits 4 and 3
        (b"\x40\x00\x40", [1, 0, 1]),  # bit 6 alone
    ],
)
def test_plain_bits(tmp_path, data, expected):
    design = design_with("s.a", "s.b", "s.c")
    trace = load(write_pair(tmp_path, design, shm_transitions([(0, 1, data, b"")])))
    assert times(trace) == [0]
    assert [values(trace, n)[0] for n in ("s.a", "s.b", "s.c")] == expected


def test_toggles_after_plain_bits(tmp_path):
    design = design_with("s.a", "s.b")
    trace = load(write_pair(tmp_path, design, shm_transitions([(30, 2, b"\x10\x08", b"")])))
    assert times(trace) == [0, 10, 20, 30]
    assert table(trace) == {"s.a": [1, 0, 1, 1], "s.b": [0, 1, 0, 0]}


@pytest.mark.parametrize(
    "unit_word, expected",
    [(6, [0, 1, 2, 3]), (5, [0]), (0, [0, 10, 20, 30]), (7, [0, 10, 20, 30])],  # x 100, 10 or 1000, / 1000
)
def test_time_unit(tmp_path, unit_word, expected):
    design = design_with("s.a", "s.b")
    trn = shm_transitions([(30, 2, b"\x10\x08", b"")], unit_word=unit_word)
    assert times(load(write_pair(tmp_path, design, trn))) == expected


def test_byte_stream(tmp_path):
    design = design_with("s.a", "s.b")
    trn = shm_transitions([(40, 2, bytes([0x80, 0x80, 0xC0, 0, 0]), b"")])
    trace = load(write_pair(tmp_path, design, trn))
    assert times(trace) == [0, 13, 26, 40]
    assert table(trace) == {"s.a": [1, 0, 1, 1], "s.b": [0, 0, 1, 1]}


def tail_with_code(code_byte5, code_byte8):
    z = bytearray(13)
    z[1] = 0x13
    z[2] = 0x40
    z[5] = code_byte5
    z[8] = code_byte8
    z[9:11] = b"\x01\x8f"
    return bytes(z)


@pytest.mark.parametrize(
    "tail, expected_times, expected",
    [
        (tail_with_code(0x40, 0x04), [0, 8, 200], [0, 1, 1]),  # code 65: (100 + 65 x 108) mod 127 = 8
        (tail_with_code(0x00, 0x00), [0, 200], [0, 0]),  # code 0: no event
    ],
)
def test_tail_code(tmp_path, tail, expected_times, expected):
    design = design_with("s.a", "s.b")
    trace = load(write_pair(tmp_path, design, shm_transitions([(200, 1, b"\x80", tail)])))
    assert times(trace) == expected_times
    assert values(trace, "s.a") == expected


def test_cursor_moves_over_records_not_decoded(tmp_path):
    design = design_with("s.a", "s.b", "s.c", "s.d")
    # an empty data area moves the cursor by one; then plain bits for b and c
    trn = shm_transitions([(0, 1, b"", b""), (0, 1, b"\x10\x10", b"")])
    trace = load(write_pair(tmp_path, design, trn))
    assert table(trace) == {"s.a": [0], "s.b": [1], "s.c": [1], "s.d": [0]}


def test_later_transition_file_replaces_time_stamps(tmp_path):
    (tmp_path / "w.dsn").write_bytes(design_with("s.a", "s.b"))
    (tmp_path / "a.trn").write_bytes(shm_transitions([(20, 1, b"\x10\x08", b"")]))
    (tmp_path / "b.trn").write_bytes(shm_transitions([(1000, 1, b"\x10", b"")]))
    trace = load(str(tmp_path))
    assert times(trace) == [0, 500, 1000]
    # s.b keeps what the first file wrote at indices 0..2 (its times 0, 10, 20)
    assert table(trace) == {"s.a": [1, 0, 0], "s.b": [0, 1, 1]}


def test_foreign_transition_files_are_skipped(tmp_path):
    (tmp_path / "w.dsn").write_bytes(design_with("s.a"))
    (tmp_path / "a.trn").write_bytes(b"\x00" * 100)
    (tmp_path / "b.trn").write_bytes(SHM_MAGIC + bytes(10))
    trace = load(str(tmp_path))
    assert times(trace) == [0] and values(trace, "s.a") == [None]


def test_hostile_toggle_count_is_bounded(tmp_path):
    design = design_with(*[f"s.x{i}" for i in range(64)])
    trn = shm_transitions([(0xFFFFFFFF, 0xFFFFFFFF, b"\x10" * 64, b"")])
    start = time.monotonic()
    trace = load(write_pair(tmp_path, design, trn))
    assert time.monotonic() - start < 20
    assert trace.max_index() <= 2**20 + 2
