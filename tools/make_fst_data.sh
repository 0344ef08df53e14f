#!/usr/bin/env bash
# Makes the FST fixtures in tests/data/fst from the designs in tests/data/fst/src:
#   NAME.vcd                    Icarus Verilog's dump of NAME.v
#   NAME_{lz4,fastlz,zlib,gzip}.fst   vcd2fst of that dump with -4, -F, -Z and -c
#   verilated.fst / verilated.vcd     Verilator's native FST and VCD of the same run
#   ../vhdl/nine.{vcd,fst}            GHDL's VCD and FST of tests/data/vhdl/src/nine.vhd
#                                     (VHDL's nine logic values, an enumeration)
# Needs iverilog, vcd2fst (gtkwave), verilator and ghdl. The fixtures are
# committed; run this only to remake them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
data="$root/tests/data/fst"
src="$data/src"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for design in mixed counter; do
  iverilog -g2005 -DDUMPFILE="\"$design.vcd\"" -o "$work/$design.vvp" "$src/$design.v"
  (cd "$work" && vvp -n "$design.vvp" >/dev/null)
  cp "$work/$design.vcd" "$data/$design.vcd"
  vcd2fst -4 "$data/$design.vcd" "$data/${design}_lz4.fst" >/dev/null
  vcd2fst -F "$data/$design.vcd" "$data/${design}_fastlz.fst" >/dev/null
  vcd2fst -Z "$data/$design.vcd" "$data/${design}_zlib.fst" >/dev/null
  vcd2fst -c "$data/$design.vcd" "$data/${design}_gzip.fst" >/dev/null
done

for format in fst vcd; do
  flag=--trace
  define=0
  if [ "$format" = fst ]; then flag=--trace-fst; define=1; fi
  verilator --cc --exe --build -j 2 $flag -CFLAGS "-DTRACE_FST=$define" \
    --Mdir "$work/obj_$format" "$src/verilated.v" "$src/verilated_main.cpp" >/dev/null
  "$work/obj_$format/Vverilated" "$data/verilated.$format"
done

vhdl="$root/tests/data/vhdl"
(cd "$work" && ghdl -a --std=08 "$vhdl/src/nine.vhd" && ghdl -e --std=08 nine &&
  ghdl -r --std=08 nine --vcd="$vhdl/nine.vcd" && ghdl -r --std=08 nine --fst="$vhdl/nine.fst")

# Files of every block, pack and hierarchy kind from the tests' own writer:
# seeds for the fuzz target, which vcd2fst and Verilator alone do not cover.
mkdir -p "$data/constructed"
PYTHONPATH="$root/tests/python" "${PYTHON:-$root/.venv/bin/python}" - "$data/constructed" <<'PY'
import sys
import fst_writer as w
import test_fst_constructed as t
out = sys.argv[1]
for kind in (1, 5, 8):
    for pack in ("4", "F", "Z", None):
        hierarchy_kind = {1: 4, 5: 6, 8: 7}[kind]
        data = t.basic_file(kind, pack, hierarchy_kind)
        open(f"{out}/basic_{kind}_{pack or 'raw'}.fst", "wb").write(data)
open(f"{out}/basic_wrapped.fst", "wb").write(t.basic_file(wrap=True))
open(f"{out}/basic_big_endian.fst", "wb").write(t.basic_file(big_endian=True))
open(f"{out}/repeated_times.fst", "wb").write(t.repeated_times_file())
PY

# The front door's fixture of exact values: written by hand, converted by vcd2fst.
vcd2fst "$root/tests/data/front/exact.vcd" "$root/tests/data/front/exact.fst" >/dev/null
gzip -kn9 -c "$root/tests/data/front/exact.vcd" > "$root/tests/data/front/exact.vcd.gz"
