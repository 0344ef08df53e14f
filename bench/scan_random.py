"""Loads 100 MB of random bytes under each scanner's magic and prints the time
and peak memory of each load (each in a fresh process). Every load must finish,
with a trace or a refusal, within 2 seconds and 1 GB.

    python bench/scan_random.py [size_mb]
"""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from child import ChildFailed, run_child  # noqa: E402

SIZE_MB = int(sys.argv[1]) if len(sys.argv) > 1 else 100
TIME_LIMIT = 2.0
MEMORY_LIMIT_MB = 1024

CHILD = r"""
import trelm
def load():
    try:
        trace = getattr(trelm.PyTrace, sys.argv[1])(sys.argv[2])
        return f"{len(trace.signal_names())} names, {trace.max_index() + 1} time stamps"
    except ValueError as err:
        return f"refused: {err}"
outcome, figures = measured(load)
print(json.dumps({**figures, "outcome": outcome}))
"""


def random_file(path, size, head=b"", head_at=0):
    with open(path, "wb") as f:
        data = bytearray(os.urandom(size))
        data[head_at : head_at + len(head)] = head
        f.write(data)


def main():
    size = SIZE_MB * 1000 * 1000
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        cases = []

        def case(label, loader, path):
            cases.append((label, loader, path))

        p = os.path.join(tmp, "legacy.fsdb")
        random_file(p, size, bytes.fromhex("FDE099C1"), 4)
        case("FSDB legacy", "from_fsdb", p)
        p = os.path.join(tmp, "modern.fsdb")
        random_file(p, size, bytes.fromhex("1C3ED948"), 4)
        case("FSDB modern", "from_fsdb", p)
        p = os.path.join(tmp, "random.wlf")
        random_file(p, size)
        case("WLF", "from_wlf", p)
        p = os.path.join(tmp, "random.vpd")
        random_file(p, size, bytes.fromhex("78563412"))
        case("VPD", "from_vpd", p)
        d = os.path.join(tmp, "shm")
        os.mkdir(d)
        random_file(os.path.join(d, "w.dsn"), size, bytes.fromhex("A19511BF"))
        random_file(os.path.join(d, "w.trn"), size, bytes.fromhex("A19511BF"))
        case("SHM random .dsn + .trn", "from_shm", d)
        # A design with names, so that the random transition file is decoded.
        d2 = os.path.join(tmp, "shm_named")
        os.mkdir(d2)
        design = bytearray(128)
        design[0:4] = bytes.fromhex("A19511BF")
        payload = b"".join(f"top.s{i}".encode() + b"\0" for i in range(200))
        design += (0x00090700).to_bytes(4, "big") + (128 + 12 + len(payload)).to_bytes(4, "big") + bytes(4) + payload
        design += bytes(16)
        with open(os.path.join(d2, "w.dsn"), "wb") as f:
            f.write(design)
        random_file(os.path.join(d2, "w.trn"), size, bytes.fromhex("A19511BF"))
        case("SHM named .dsn + random .trn", "from_shm", d2)
        p = os.path.join(tmp, "bad.fsdb")
        random_file(p, size, b"\0\0\xbe\xef", 4)
        case("FSDB wrong magic", "from_fsdb", p)

        print(f"{SIZE_MB} MB of random bytes per file; limits {TIME_LIMIT} s and {MEMORY_LIMIT_MB} MB")
        print(f"{'case':32} {'seconds':>8} {'peak MB':>8}  outcome")
        for label, loader, path in cases:
            try:
                run = run_child(CHILD, loader, path)
            except ChildFailed as crash:
                print(f"{label:32} crashed: {str(crash)[-300:]}")
                failures += 1
                continue
            seconds, peak = run["wall"], run["peak_kb"] / 1024
            ok = seconds <= TIME_LIMIT and peak <= MEMORY_LIMIT_MB
            failures += not ok
            print(f"{label:32} {seconds:8.3f} {peak:8.0f}  {run['outcome']}{'' if ok else '  OVER LIMIT'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
