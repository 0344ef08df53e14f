"""Loads 100 MB of random bytes under each scanner's magic and prints the time
and peak memory of each load (each in a fresh process). Every load must finish,
with a trace or a refusal, within 2 seconds and 1 GB.

    python bench/scan_random.py [size_mb]
"""

import os
import subprocess
import sys
import tempfile

SIZE_MB = int(sys.argv[1]) if len(sys.argv) > 1 else 100
TIME_LIMIT = 2.0
MEMORY_LIMIT_MB = 1024

# Peak memory is read from VmHWM: ru_maxrss would also count the parent's pages
# the child held between fork and exec.
CHILD = r"""
import sys, time
import trelm
loader = getattr(trelm.PyTrace, sys.argv[1])
start = time.perf_counter()
try:
    trace = loader(sys.argv[2])
    outcome = f"{len(trace.signal_names())} names, {trace.max_index() + 1} time stamps"
except ValueError as err:
    outcome = f"refused: {err}"
elapsed = time.perf_counter() - start
with open("/proc/self/status") as status:
    peak_mb = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:")) / 1024
print(f"{elapsed:.3f} {peak_mb:.0f} {outcome}")
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
            out = subprocess.run([sys.executable, "-c", CHILD, loader, path], capture_output=True, text=True)
            if out.returncode != 0:
                print(f"{label:32} crashed: {out.stderr.strip()[-300:]}")
                failures += 1
                continue
            seconds, peak, outcome = out.stdout.strip().split(" ", 2)
            ok = float(seconds) <= TIME_LIMIT and float(peak) <= MEMORY_LIMIT_MB
            failures += not ok
            print(f"{label:32} {float(seconds):8.3f} {float(peak):8.0f}  {outcome}{'' if ok else '  OVER LIMIT'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
