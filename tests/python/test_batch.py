"""trelm.batch on a local Dask cluster of two worker processes, against a
serial loop over trelm.open; and the `trelm batch` command."""

import json
import time

import pytest

pytest.importorskip("dask.distributed")
pandas = pytest.importorskip("pandas")

import trelm  # noqa: E402
from dump_makers import FORMATS, write_dump  # noqa: E402
from trelm import batch  # noqa: E402
from trelm.cli import main  # noqa: E402

QUERY = "top.err && top.count > 3"


@pytest.fixture(scope="module")
def cluster():
    with batch.local_cluster(2) as two_workers:
        yield two_workers


@pytest.fixture(scope="module")
def client(cluster):
    from dask.distributed import Client

    with Client(cluster) as c:
        yield c


@pytest.fixture(scope="module")
def paths(tmp_path_factory):
    """Twenty small dumps cycling through every format, a missing path, a
    corrupt FST (its first bytes only) and a dump on which the asked
    function raises."""
    directory = tmp_path_factory.mktemp("dumps")
    dumps = [write_dump(directory, n, FORMATS[n % len(FORMATS)]) for n in range(20)]
    corrupt = directory / "corrupt.fst"
    corrupt.write_bytes(open(dumps[2], "rb").read()[:200])
    raising = write_dump(directory, 99, "vcd").replace("d99", "raises")
    (directory / "d99.vcd").rename(raising)
    return dumps + [str(directory / "missing.vcd"), str(corrupt), raising]


def describe(w):
    """A per-dump answer of every kind of column: ints, a time past 2**53, a
    text, a list; it raises for the dump named raises."""
    if "raises" in w.path:
        raise RuntimeError("asked to fail")
    return {"signals": len(w), "indices": w.index_count, "big": 2**62 + w.time_of(-1),
            "names": ",".join(w.signals), "last": [w[n][-1] for n in list(w)[:2]]}


def serial(paths, fn, signals=None):
    """(fields, error text) per path, from trelm.open and fn in this process."""
    out = []
    for path in paths:
        try:
            result = fn(trelm.open(path, signals=signals))
        except Exception as error:
            out.append((None, f"{type(error).__name__}: {error}"))
        else:
            out.append((result, None))
    return out


def missing(value):
    return not isinstance(value, (str, list)) and bool(pandas.isna(value))


def test_run_gives_what_a_serial_loop_gives(client, paths):
    table = batch.run(paths, describe, client=client)
    assert list(table.path) == paths
    assert list(table.columns) == ["path", "signals", "indices", "big", "names", "last", "load_seconds",
                                   "call_seconds", "error"]
    assert str(table.big.dtype) == "Int64"  # exact despite the rows without a result
    for row, (expected, error) in zip(table.itertuples(index=False), serial(paths, describe)):
        if error is None:
            assert missing(row.error), row.path
            assert {k: getattr(row, k) for k in expected} == expected, row.path
        else:
            assert row.error == error
            assert all(missing(getattr(row, k)) for k in ("signals", "big", "names"))
        assert row.load_seconds >= 0
        assert missing(row.call_seconds) == (error is not None and "raises" not in row.path)
    assert set(table.error.dropna().str.split(":").str[0]) == {"FileNotFoundError", "LoadError", "RuntimeError"}


def test_find_gives_what_a_serial_loop_gives(cluster, paths):
    # A cluster object: the run connects a client of its own.
    table = batch.find(paths, QUERY, client=cluster)
    assert list(table.path) == paths
    assert [str(table[c].dtype) for c in ("count", "first_time", "last_time")] == ["Int64", "UInt64", "UInt64"]

    def answer(w):
        times = w.times[w.find(QUERY)]
        return (len(times), int(times[0]), int(times[-1])) if len(times) else (0, None, None)

    expected = serial(paths, answer)
    assert sum(1 for result, _ in expected if result and result[0]) >= 4
    for row, (result, error) in zip(table.itertuples(index=False), expected):
        if error is None:
            got = tuple(None if missing(v) else int(v) for v in (row.count, row.first_time, row.last_time))
            assert got == result and missing(row.error), row.path
        else:
            # The error's kind; the text may differ, as only the query's signals were loaded.
            assert row.error.split(":")[0] == error.split(":")[0], row.path
            assert missing(row.count)


def test_a_slow_dump_does_not_hold_up_the_others(client, paths):
    slow = paths[0]

    def fn(w):
        if w.path == slow:
            time.sleep(3)
        return w.index_count

    order = [position for position, _ in batch.as_completed(paths[:8], fn, client=client)]
    assert sorted(order) == list(range(8))
    assert order[-1] == 0


def test_bad_query_and_paths_are_refused_before_any_work(paths):
    with pytest.raises(trelm.QueryError):
        batch.find(paths, "top.err &&")
    with pytest.raises(TypeError, match="list of paths"):
        batch.run(paths[0], len)


def run_command(argv):
    return main(["batch", *argv])


@pytest.mark.parametrize(
    "query, pick, status",
    [
        (QUERY, slice(None), 0),
        ("top.count == 255", slice(0, 8), 1),
        ("top.err", slice(20, 22), 3),  # only the missing and the corrupt dump
    ],
)
def test_command(client, paths, capsys, query, pick, status):
    dumps = paths[pick]
    assert run_command([query, *dumps, "--json", "--scheduler", client.scheduler.address]) == status
    document = json.loads(capsys.readouterr().out)
    assert document["command"] == "batch"
    assert document["arguments"] == {"query": query, "dumps": dumps, "scheduler": client.scheduler.address}
    table = batch.find(dumps, query, client=client)
    assert [(r["path"], r["count"], r["first_time"], r["error"]) for r in document["data"]] == [
        (p, None if missing(c) else int(c), None if missing(f) else int(f), None if missing(e) else e)
        for p, c, f, e in zip(table.path, table["count"], table.first_time, table.error)]


def test_command_on_a_local_cluster_in_plain_text(paths, capsys):
    assert run_command([QUERY, *paths[:3], paths[20]]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert lines[0].split() == ["dump", "count", "first", "last"]
    assert [line.split()[0] for line in lines[1:]] == paths[:3] + [paths[20]]
    assert "error: FileNotFoundError" in lines[-1]


def test_command_usage_errors(paths, capsys):
    assert run_command(["top.err &&", paths[0]]) == 2
    assert capsys.readouterr().err.startswith("trelm: bad query")
    import dask

    with dask.config.set({"distributed.comm.timeouts.connect": "1s"}):
        assert run_command(["top.err", paths[0], "--scheduler", "tcp://127.0.0.1:9"]) == 2
    assert "cannot reach the Dask scheduler" in capsys.readouterr().err


def test_dask_is_imported_only_when_a_batch_runs(monkeypatch, paths):
    import subprocess
    import sys

    code = "import sys, trelm, trelm.batch, trelm.cli.batch; print(sorted({'dask', 'pandas'} & set(sys.modules)))"
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, text=True).stdout.strip() == "[]"
    monkeypatch.setitem(sys.modules, "dask.distributed", None)
    with pytest.raises(ImportError, match=r"trelm\[batch\]"):
        batch.run(paths, len)
