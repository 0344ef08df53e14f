"""Timing diagrams: the lanes, labels and segments of a known dump, busy
segments in place of more changes than pixels, files and notebook views."""

import numpy as np
import pytest

import trelm
from trelm.plot import COLUMNS
from trelm.plot.segments import BUSY, cut
from trelm.sampling import by_time, steps

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")

KNOWN = """\
$timescale 1 ns $end
$scope module top $end
$var wire 1 ! clk $end
$var wire 8 " bus $end
$var real 64 # temp $end
$var wire 1 $ en $end
$upscope $end
$enddefinitions $end
#0
0!
b00000000 "
r1.0 #
z$
#10
1!
b00011111 "
r2.0 #
1$
#20
0!
bx0000001 "
r0.5 #
x$
#30
1!
bzzzzzzzz "
0$
#40
0!
b10101010 "
#50
"""


def _artists(figure, name):
    ax = figure.axes[0]
    return {a.get_gid(): a for a in ax.get_children() if (a.get_gid() or "").startswith(name + "/")}


def _texts(figure, name):
    return [t for t in figure.axes[0].texts if t.get_gid() == name + "/label"]


def test_known_dump_lanes_labels_and_segments(tmp_path):
    w = trelm.loads(KNOWN)
    figure = w.plot(["top.clk", "top.bus", "top.temp", "top.en"])
    ax = figure.axes[0]
    assert [t.get_text().split("\n")[0] for t in ax.get_yticklabels()] == ["top.clk", "top.bus", "top.temp",
                                                                           "top.en"]
    assert ax.get_xlim() == (0, 50)
    clk = _artists(figure, "top.clk")["top.clk/line"]
    assert np.unique(clk.get_xdata()).tolist() == [0, 10, 20, 30, 40, 50]
    bus = _artists(figure, "top.bus")
    assert len(bus["top.bus/segments"].get_paths()) == 3 and len(bus["top.bus/x"].get_paths()) == 1
    labels = [t.get_text() for t in _texts(figure, "top.bus")]
    assert labels == ["0", "1f", "x0000001", "aa"]
    assert "top.bus/z" in bus  # all-z is a line at mid-height
    en = _artists(figure, "top.en")  # the lowest lane: z, 1, x, 0
    assert np.allclose(en["top.en/line"].get_ydata(), [0.5, 0.5, 0.85, 0.85, np.nan, np.nan, 0.15, 0.15],
                       equal_nan=True)
    assert en["top.en/x"].get_paths()[0].vertices[:, 0].tolist()[:4] == [20, 20, 30, 30]
    temp = _artists(figure, "top.temp")["top.temp/line"].get_ydata()
    assert temp[4] < temp[0] < temp[2]  # 0.5 < 1.0 < 2.0
    path = tmp_path / "wave.png"
    figure.savefig(path)
    assert path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_window_and_busy_segments():
    toggles = 20000
    text = "$var wire 1 ! c $end\n$var wire 16 \" n $end\n" + "".join(
        f"#{t}\n{t % 2}!\nb{t % 65536:b} \"\n" for t in range(toggles)) + f"#{toggles * 3}\n"
    w = trelm.loads(text)
    figure = w.plot(["c", "n"])
    columns = COLUMNS
    for name in ("c", "n"):
        artists = _artists(figure, name)
        busy = artists[f"{name}/busy"].get_paths()
        assert len(busy) == 1 and busy[0].vertices[:, 0].min() == 0
        assert sum(len(a.get_paths()) if hasattr(a, "get_paths") else len(a.get_xdata()) // 2
                   for a in artists.values() if not hasattr(a, "get_text")) <= columns + 1
        assert sum(hasattr(a, "get_text") for a in _texts(figure, name)) <= columns
    seg = cut(by_time(steps(w["n"])), 100, 110, columns)
    assert seg.starts.tolist() == list(range(100, 110)) and BUSY not in seg.where
    zoomed = w.plot(["c"], 100, 110)
    assert zoomed.axes[0].get_xlim() == (100, 110) and "c/busy" not in _artists(zoomed, "c")


def test_notebook_views():
    w = trelm.loads(KNOWN)
    assert w["top.bus"]._repr_png_()[:4] == b"\x89PNG"
    html = w._repr_html_()
    assert "<table>" in html and "top.clk" in html and "0..50" in html
