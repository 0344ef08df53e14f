"""The WLF and VPD scanners, fed with files assembled byte by byte."""

import pytest

import trelm
from scan_builders import (
    VPD_MAGIC,
    WLF_PAGE,
    cstrings,
    table,
    times,
    values,
    vpd_file,
    wlf_file,
    wlf_value_page,
    write,
)

load_wlf = trelm.PyTrace.from_wlf
load_vpd = trelm.PyTrace.from_vpd


@pytest.mark.parametrize(
    "loader, data, message",
    [
        (load_wlf, bytes(WLF_PAGE - 1), "WLF file too small (< 1 page)"),
        (load_vpd, bytes(127), "VPD file too small"),
        (load_vpd, bytes(128), "Not a VPD file (magic=0x00000000)"),
        (load_vpd, bytes.fromhex("12345678") + bytes(124), "Not a VPD file (magic=0x78563412)"),
    ],
)
def test_refused_files(tmp_path, loader, data, message):
    with pytest.raises(ValueError) as err:
        loader(write(tmp_path, data))
    assert str(err.value) == message


@pytest.mark.parametrize("loader", [load_wlf, load_vpd])
def test_unreadable_path(tmp_path, loader):
    path = str(tmp_path / "missing")
    with pytest.raises(ValueError) as err:
        loader(path)
    assert str(err.value) == f"Failed to read {path}: No such file or directory (os error 2)"


# ---- WLF names --------------------------------------------------------------------


def test_wlf_limit_is_not_the_expected_count(tmp_path):
    later = cstrings("late.a", "late.b", "late.c")
    data = wlf_file(["top.a", "top.b", "top.c"], expected=2, pages=[later])
    trace = load_wlf(write(tmp_path, data))
    assert trace.signal_names() == ["top.a", "top.b", "top.c"]  # pages 1..3 not searched
    assert trace.scopes() == ["top"]
    assert times(trace) == [0]
    assert values(trace, "top.a") == [None]


def test_wlf_second_pass_over_pages_one_to_three(tmp_path):
    pages = [
        cstrings("p1.a"),
        b"\xff\xff" + cstrings("skipped.v"),  # value-page marker: not searched for names
        cstrings("p3.a", "top.a"),
        cstrings("p4.a"),  # page 4 is never searched
    ]
    trace = load_wlf(write(tmp_path, wlf_file(["top.a"], expected=5, pages=pages)))
    assert trace.signal_names() == ["top.a", "p1.a", "p3.a"]


def test_wlf_name_limit(tmp_path):
    names = [f"n{i:04d}" for i in range(1005)]
    trace = load_wlf(write(tmp_path, wlf_file(names, expected=3)))
    assert trace.signal_names() == names[:1000]


def test_wlf_invalid_length_prefixed_string(tmp_path):
    # 02 [07 02]: not printable, the next string starts right after the length
    # byte: 07 [02 ...] fails too, then 02 "zz" is taken; names start after it.
    lpstrings = [b"\x07\x02"]
    data = bytearray(wlf_file(lpstrings=()))
    data[40:45] = b"\x02\x07\x02zz"
    area = cstrings("top.a")
    data[45 : 45 + len(area)] = area
    data[2:4] = (45 + len(area)).to_bytes(2, "big")
    trace = load_wlf(write(tmp_path, bytes(data)))
    assert trace.signal_names() == ["top.a"]


def test_wlf_name_area_end_bounds_the_first_pass(tmp_path):
    data = wlf_file(["top.a", "top.b"], area_end=40 + 6 + 6)  # "a","b","c" strings take 6 bytes
    trace = load_wlf(write(tmp_path, data))
    assert trace.signal_names() == ["top.a"]


@pytest.mark.parametrize(
    "text, accepted",
    [("a b=c", True), ("a/b", False), ("x@y", False), ("f(x)", False), ("a{b", False), ("x", False),
     ("a-b.c", True), ("a.1b", False)],
)
def test_wlf_identifier_rules(tmp_path, text, accepted):
    trace = load_wlf(write(tmp_path, wlf_file([text])))
    assert trace.signal_names() == ([text] if accepted else [])


# ---- WLF values --------------------------------------------------------------------


def test_wlf_value_page(tmp_path):
    page = wlf_value_page(bytes([1, 5, 0xFF, 1, 7, 0]))
    trace = load_wlf(write(tmp_path, wlf_file(["top.a", "top.b"], pages=[page])))
    assert times(trace) == [0, 1]
    assert table(trace) == {"top.a": [None, None], "top.b": [5, 7]}


def test_wlf_steps_carry_across_pages_and_bad_bytes_are_passed(tmp_path):
    first = wlf_value_page(bytes([2, 9, 0xFF, 0xFF, 0x40, 1, 3, 0]))  # 0x40: not a signal id
    # 00 passes one byte, then 05 (not below the name count) one more; id 1 is
    # written again at step 2 and the later write wins
    second = wlf_value_page(bytes([0, 5, 1, 4, 0xFF, 0]))
    other = cstrings("x.y")  # not a value page
    trace = load_wlf(write(tmp_path, wlf_file(["t.z", "t.a", "t.b"], pages=[first, other, second])))
    assert times(trace) == [0, 1, 2, 3]
    assert table(trace) == {"t.z": [None] * 4, "t.a": [None, None, 4, 4], "t.b": [9, 9, 9, 9]}


@pytest.mark.parametrize(
    "page",
    [
        wlf_value_page(bytes([1, 5, 0xFF, 1, 7, 0]), filler=False),  # fewer than 16 non-zero bytes
        wlf_value_page(bytes([1, 5]), length=1),  # record area shorter than 2
    ],
)
def test_wlf_pages_that_are_skipped(tmp_path, page):
    trace = load_wlf(write(tmp_path, wlf_file(["top.a", "top.b"], pages=[page])))
    assert times(trace) == [0]
    assert values(trace, "top.b") == [None]


def test_wlf_record_area_is_capped_at_the_page(tmp_path):
    records = bytes([0xFF]) * (WLF_PAGE - 16)
    page = wlf_value_page(records, length=0xFFFF, filler=False)
    trace = load_wlf(write(tmp_path, wlf_file(["top.a"], pages=[page])))
    assert trace.max_index() == WLF_PAGE - 16 - 1  # the last byte is not walked (u + 1 < m)


# ---- VPD --------------------------------------------------------------------------


def four_names(prefix):
    return cstrings(*(f"{prefix}.s{i}" for i in range(4)))


def test_vpd_name_sections(tmp_path):
    data = vpd_file([four_names("top.u1"), bytes(8), four_names("top")])
    trace = load_vpd(write(tmp_path, data))
    assert trace.signal_names() == [f"top.u1.s{i}" for i in range(4)] + [f"top.s{i}" for i in range(4)]
    assert trace.scopes() == ["top", "top.u1"]
    assert trace.max_index() == 0 and times(trace) == [0]
    assert values(trace, "top.s0") == [None]
    assert trace.signal_width("top.s0") == 1


@pytest.mark.parametrize(
    "section, names",
    [
        (cstrings("a.x", "a.y", "a.z"), []),  # three identifiers: not a name section
        (cstrings("a.x", "a.y", "a.z", "a.w"), ["a.x", "a.y", "a.z", "a.w"]),
        (cstrings("xFoldedTop", "a.x"), ["xFoldedTop", "a.x"]),  # marker text
        (cstrings(" WithMask", "a.x"), ["WithMask", "a.x"]),  # a marker string may start with a space
        # the window is 128 bytes; the whole section is searched once it qualifies
        (cstrings("FoldedTop") + bytes(200) + cstrings("late.name"), ["FoldedTop", "late.name"]),
        (bytes(130) + cstrings("a.x", "a.y", "a.z", "a.w"), []),
    ],
)
def test_vpd_section_classification(tmp_path, section, names):
    trace = load_vpd(write(tmp_path, vpd_file([section])))
    assert trace.signal_names() == names


def test_vpd_offsets(tmp_path):
    section = four_names("top")
    data = vpd_file([section])
    size = len(data)
    # 128 and the file length are ignored; a repeated offset counts once
    data = vpd_file([section], offsets=[128, size, 144 + 2, 144 + 2, 0])
    trace = load_vpd(write(tmp_path, data))
    # the section is read from offset 146: the first name loses its first two bytes
    assert trace.signal_names() == ["p.s0", "top.s1", "top.s2", "top.s3"]
    data = vpd_file([section], offsets=[128, size])
    assert load_vpd(write(tmp_path, data)).signal_names() == []


def test_vpd_sections_end_at_the_next_offset(tmp_path):
    first = cstrings("a.w", "a.x", "a.y")
    second = cstrings("b.v", "b.w", "b.x", "b.y")
    # first alone has three identifiers: skipped; second qualifies
    trace = load_vpd(write(tmp_path, vpd_file([first, second])))
    assert trace.signal_names() == ["b.v", "b.w", "b.x", "b.y"]
    assert VPD_MAGIC == bytes.fromhex("78563412")


def test_absurd_dotted_name_raises_memory_error(tmp_path):
    # 200,000 levels: the distinct scopes would hold about 40 GB of text
    name = "a." * 200_000 + "a"
    data = vpd_file([cstrings("FoldedTop", name)])
    with pytest.raises(MemoryError):
        load_vpd(write(tmp_path, data))
