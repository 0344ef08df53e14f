"""Small dumps of one design in every format the front door reads, numbered so
that no two hold the same values: VCD, gzip-compressed VCD, FST (fst_writer),
and the scanners' synthetic WLF, SHM, VPD and FSDB files."""

import gzip

import fst_writer as fw
import scan_builders as sb

FORMATS = ("vcd", "vcd.gz", "fst", "wlf", "shm", "vpd", "fsdb")
NAMES = ("top.clk", "top.err", "top.count")


def design_values(n):
    """Dump n's value of top.clk, top.err and top.count at each of its times
    (10 apart): err rises at a step that depends on n, or never; count is
    unknown at first in odd dumps."""
    steps = 6 + n % 5
    rise = None if n % 3 == 0 else 1 + n % 4
    rows = []
    for k in range(steps):
        count = "x" * 8 if k == 0 and n % 2 else format((k + n) % 256, "08b")
        rows.append((str(k % 2), "1" if rise is not None and k >= rise else "0", count))
    return rows


def vcd_text(n):
    lines = ["$timescale 1ns $end", "$scope module top $end", "$var wire 1 ! clk $end", "$var wire 1 \" err $end",
             "$var wire 8 # count $end", "$upscope $end", "$enddefinitions $end"]
    previous = None
    for k, row in enumerate(design_values(n)):
        lines.append(f"#{10 * k}")
        for code, value, before in zip("!\"#", row, previous or (None,) * 3):
            if value != before:
                lines.append(f"b{value} {code}" if code == "#" else f"{value}{code}")
        previous = row
    return "\n".join(lines) + "\n"


def fst_bytes(n):
    rows = design_values(n)
    lengths = [1, 1, 8]
    hierarchy = [fw.scope("top"), fw.var("clk", 1), fw.var("err", 1), fw.var("count", 8), fw.upscope()]
    changes = {i: [(k, row[i]) for k, row in enumerate(rows) if k and row[i] != rows[k - 1][i]] for i in range(3)}
    times = [10 * k for k in range(len(rows))]
    block = fw.vc_block(lengths, times, {i: c for i, c in changes.items() if c}, frame=list(rows[0]))
    header = fw.header_block(end=times[-1], max_handle=3, scope_count=1, var_count=3)
    return fw.simple_file(lengths, hierarchy, [block], header=header)


def write_dump(directory, n, format):
    """Dump n in `format` under `directory`; returns its path."""
    stem = directory / f"d{n:02d}"
    if format in ("vcd", "vcd.gz"):
        text = vcd_text(n).encode()
        path = stem.with_suffix("." + format)
        path.write_bytes(gzip.compress(text) if format == "vcd.gz" else text)
    elif format == "fst":
        path = stem.with_suffix(".fst")
        path.write_bytes(fst_bytes(n))
    elif format == "wlf":
        page = sb.wlf_value_page(bytes([1, n % 200, 0xFF, 1, n % 200 + 1, 0]))
        path = stem.with_suffix(".wlf")
        path.write_bytes(sb.wlf_file([f"top.w{n}", "top.b"], pages=[page]))
    elif format == "shm":
        path = stem.with_suffix(".dsn")
        path.write_bytes(sb.shm_design([sb.shm_record("SIGNAL", sb.cstrings(f"top.s{n}", "top.b"))]))
        stem.with_suffix(".trn").write_bytes(sb.shm_transitions([(10 * (n + 1), 2, b"\x10\x08", b"")]))
    elif format == "vpd":
        path = stem.with_suffix(".vpd")
        path.write_bytes(sb.vpd_file([sb.cstrings(*(f"top.v{n}.s{i}" for i in range(4)))]))
    else:
        path = stem.with_suffix(".fsdb")
        path.write_bytes(sb.fsdb_legacy([f"top.f{n}".encode(), b"top.b"]))
    return str(path)


def deep_vcd_text(depth):
    """A dump whose signal a lies `depth` scopes down (m0.m1...), beside a
    scope "empty" holding only b."""
    down = "".join(f"$scope module m{k} $end\n" for k in range(depth))
    up = "$upscope $end\n" * depth
    return (f"{down}$var wire 1 ! a $end\n{up}$scope module empty $end\n"
            "$var wire 1 \" b $end\n$upscope $end\n$enddefinitions $end\n#0\n0!\n0\"\n#1\n1!\n")
