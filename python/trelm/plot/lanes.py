"""One lane of a timing diagram per signal, drawn with matplotlib artists: a
step line for one-bit signals, hexagon-ended segments with their values for
buses and strings, a line for reals. Every artist carries a gid
"<signal>/<part>", which also names it in SVG output."""

from __future__ import annotations

from typing import Optional

import numpy as np

from trelm import sampling
from trelm.plot.segments import BUSY, Segments

LOW, HIGH = 0.15, 0.85  # where a lane's content lies within its unit height
MIDDLE = (LOW + HIGH) / 2
LINE = "#1f5fa8"
UNKNOWN = "#d9534f"
BUSY_COLOUR = "#8c8c8c"
SLOPE_PIXELS = 3.0  # run of a hexagon's end
CHARACTER_PIXELS = 6.0  # width of one character of a value label

# One-bit digits drawn as a level; the others (x, u, w, -) as a band.
_LEVELS = {"0": LOW, "1": HIGH, "l": LOW, "h": HIGH, "z": MIDDLE}


def _rectangles(starts: np.ndarray, ends: np.ndarray, base: float) -> np.ndarray:
    lo, hi = base + LOW, base + HIGH
    return np.stack([np.column_stack((starts, np.full_like(starts, lo))),
                     np.column_stack((starts, np.full_like(starts, hi))),
                     np.column_stack((ends, np.full_like(starts, hi))),
                     np.column_stack((ends, np.full_like(starts, lo)))], axis=1)


def _hexagons(starts: np.ndarray, ends: np.ndarray, base: float, slope: float) -> np.ndarray:
    run = np.minimum(slope, (ends - starts) / 2)
    lo, mid, hi = base + LOW, base + MIDDLE, base + HIGH
    points = [(starts, mid), (starts + run, hi), (ends - run, hi), (ends, mid), (ends - run, lo), (starts + run, lo)]
    return np.stack([np.column_stack((x, np.full_like(x, y))) for x, y in points], axis=1)


def _patches(ax, polygons: np.ndarray, gid: str, **style) -> None:
    from matplotlib.collections import PolyCollection

    if len(polygons):
        collection = PolyCollection(list(polygons), gid=gid, **style)
        ax.add_collection(collection)


def _busy(ax, name: str, seg: Segments, base: float) -> None:
    busy = seg.where == BUSY
    _patches(ax, _rectangles(seg.starts[busy], seg.ends[busy], base), f"{name}/busy", facecolor=BUSY_COLOUR,
             edgecolor="none", hatch="////")


def _step_line(ax, starts: np.ndarray, ends: np.ndarray, levels: np.ndarray, gid: str) -> None:
    """One line through every segment's level; NaN levels leave a gap."""
    ax.plot(np.column_stack((starts, ends)).ravel(), np.repeat(levels, 2), color=LINE, linewidth=1.2, gid=gid)


def bit_lane(ax, name: str, steps: sampling.Steps, seg: Segments, base: float) -> None:
    values = sampling.exact(steps, np.where(seg.where >= 0, seg.where, -1))
    levels = np.full(len(values), np.nan)
    band = np.zeros(len(values), dtype=bool)
    for k, value in enumerate(values.tolist()):
        if seg.where[k] < 0 or value is None:
            continue
        level = _LEVELS.get(str(value).lower())
        if level is None:
            band[k] = True
        else:
            levels[k] = base + level
    _step_line(ax, seg.starts, seg.ends, levels, f"{name}/line")
    _patches(ax, _rectangles(seg.starts[band], seg.ends[band], base), f"{name}/x", facecolor=UNKNOWN,
             alpha=0.35, edgecolor="none")
    _busy(ax, name, seg, base)


def label_of(value, kind: str) -> str:
    """A bus value as its segment shows it: hex for two-state values, the
    digits otherwise; a string as it is."""
    if isinstance(value, int) and kind == "bits":
        return format(value, "x")
    return str(value)


def _two_state_or_z(value) -> Optional[bool]:
    """True for a two-state value, False for one of only z digits, None for
    other digits."""
    if isinstance(value, int):
        return True
    if isinstance(value, str) and value and set(value.lower()) == {"z"}:
        return False
    return None


def bus_lane(ax, name: str, steps: sampling.Steps, seg: Segments, base: float, pixel: float) -> None:
    values = sampling.exact(steps, np.where(seg.where >= 0, seg.where, -1))
    kind = steps.signal.kind
    shown = np.array([w >= 0 and v is not None for w, v in zip(seg.where.tolist(), values.tolist())], dtype=bool)
    state = [_two_state_or_z(v) if kind == "bits" else True for v in values.tolist()]
    floating = shown & np.array([s is False for s in state], dtype=bool)
    unknown = shown & np.array([s is None for s in state], dtype=bool)
    plain = shown & ~floating & ~unknown
    slope = SLOPE_PIXELS * pixel
    _patches(ax, _hexagons(seg.starts[plain], seg.ends[plain], base, slope), f"{name}/segments",
             facecolor="white", edgecolor=LINE, linewidth=1.0)
    _patches(ax, _hexagons(seg.starts[unknown], seg.ends[unknown], base, slope), f"{name}/x",
             facecolor=UNKNOWN, alpha=0.35, edgecolor=UNKNOWN, linewidth=1.0)
    if floating.any():
        levels = np.where(floating, base + MIDDLE, np.nan)
        _step_line(ax, seg.starts, seg.ends, levels, f"{name}/z")
    _busy(ax, name, seg, base)
    for k in np.flatnonzero(plain | unknown).tolist():
        text = label_of(values[k], kind)
        room = (seg.ends[k] - seg.starts[k]) / pixel - 2 * SLOPE_PIXELS
        if room < CHARACTER_PIXELS:
            continue
        if len(text) * CHARACTER_PIXELS > room:
            keep = int(room // CHARACTER_PIXELS) - 1
            text = text[:keep] + "…" if keep > 0 else "…"
        ax.text((seg.starts[k] + seg.ends[k]) / 2, base + MIDDLE, text, ha="center", va="center", fontsize=8,
                clip_on=True, gid=f"{name}/label")


def real_lane(ax, name: str, steps: sampling.Steps, seg: Segments, base: float) -> tuple[float, float]:
    """Draws the lane and returns the range of values it spans."""
    where = np.where(seg.where >= 0, seg.where, 0)
    values = np.where(seg.where >= 0, steps.values[where] if len(steps.values) else np.nan, np.nan)
    finite = values[np.isfinite(values)]
    lo, hi = (float(finite.min()), float(finite.max())) if len(finite) else (0.0, 0.0)
    scale = (HIGH - LOW) / (hi - lo) if hi > lo else 0.0
    levels = base + (LOW + (values - lo) * scale if scale else np.where(np.isfinite(values), MIDDLE, np.nan))
    _step_line(ax, seg.starts, seg.ends, levels, f"{name}/line")
    _busy(ax, name, seg, base)
    return lo, hi
