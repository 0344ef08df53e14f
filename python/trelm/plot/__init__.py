"""Timing diagrams of a waveform's signals, drawn with matplotlib."""

from __future__ import annotations

from typing import TYPE_CHECKING, Optional

from trelm import sampling
from trelm.export.table import window
from trelm.extras import require
from trelm.plot import lanes
from trelm.plot.segments import cut
from trelm.selection import Signals, select
from trelm.waveform import _MAX_TIME

if TYPE_CHECKING:
    from matplotlib.figure import Figure

    from trelm.waveform import Waveform

WIDTH_INCHES = 10.0
LANE_INCHES = 0.45
MARGIN_INCHES = 0.75  # below the lanes, for the time axis
DPI = 100
LEFT, RIGHT = 0.2, 0.98  # the lanes' extent across the figure, in its fractions
COLUMNS = int(WIDTH_INCHES * DPI * (RIGHT - LEFT))  # pixels across the lanes


def axis_label(w: "Waveform") -> str:
    if w.timescale is None:
        return "time"
    magnitude, unit = w.timescale
    return f"time ({unit})" if magnitude == 1 else f"time ({magnitude} {unit})"


def plot(w: "Waveform", signals: Signals, start: Optional[int] = None, stop: Optional[int] = None) -> "Figure":
    """See ``Waveform.plot``."""
    require("matplotlib", "plotting", "plot")
    from matplotlib.figure import Figure

    chosen = select(w, signals)
    start, stop = window(w, start, stop)
    if stop == start:  # a window of one time is drawn one time unit wide, within the times a dump can hold
        start, stop = (start, start + 1) if start < _MAX_TIME else (start - 1, start)
    height = LANE_INCHES * max(len(chosen), 1) + MARGIN_INCHES
    figure = Figure(figsize=(WIDTH_INCHES, height), dpi=DPI)
    bottom = MARGIN_INCHES / height
    ax = figure.add_axes((LEFT, bottom, RIGHT - LEFT, 1 - bottom - 0.1 / height))
    pixel = (stop - start) / COLUMNS
    names = []
    for k, signal in enumerate(chosen):
        base = float(len(chosen) - 1 - k)
        steps = sampling.by_time(sampling.steps(signal))
        seg = cut(steps, start, stop, COLUMNS)
        label = signal.name
        if signal.kind == "real":
            lo, hi = lanes.real_lane(ax, signal.name, steps, seg, base)
            label += f"\n{lo:g}..{hi:g}"
        elif signal.kind == "bits" and signal.width == 1:
            lanes.bit_lane(ax, signal.name, steps, seg, base)
        else:
            lanes.bus_lane(ax, signal.name, steps, seg, base, pixel)
        names.append(label)
    ax.set_xlim(start, stop)
    ax.set_ylim(0, max(len(chosen), 1))
    ax.set_yticks([len(chosen) - 1 - k + 0.5 for k in range(len(chosen))], names, fontsize=8)
    ax.tick_params(axis="y", length=0)
    for side in ("left", "right", "top"):
        ax.spines[side].set_visible(False)
    ax.grid(axis="x", color="#e0e0e0", linewidth=0.6)
    ax.set_axisbelow(True)
    ax.set_xlabel(axis_label(w))
    return figure


def figure_bytes(figure: "Figure", format: str) -> bytes:
    from io import BytesIO

    buffer = BytesIO()
    figure.savefig(buffer, format=format)
    return buffer.getvalue()
