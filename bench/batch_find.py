#!/usr/bin/env python3
"""trelm.batch.find over many dumps on a local Dask cluster, against serial
Python loops over the same dumps: the plain one (trelm.open of each dump,
then the query), whose ratio is the target, and one doing exactly what a
batch task does (trelm.open of the query's signals only, then the query).

Generates 40 dumps of about 20 MB each with bench/gen_vcd.py (one seed each)
into bench/data/batch/ on first use, then, in one run: the serial loop;
batch.find on a running local cluster (batch.local_cluster: a worker process
per core, trelm imported in each before the clock starts), whose ratio to the
serial loop is the target (on 2 cores: at most 0.65); and batch.find without
a client, which starts and closes such a cluster inside the call, for the
cost of that. Checks that all three found the same. The serial loop's CPU
time is shown beside its time: the engine reads each VCD on its own worker
pool, so the serial loop may keep more than one core busy already, which
bounds what a worker per core can gain.

    python3 bench/batch_find.py
    python3 bench/batch_find.py --dumps 10 --steps 20000   # quicker, smaller
"""
import argparse
import os
import resource
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_vcd  # noqa: E402

QUERY = "top.cpu.flag0 && top.cpu.alu.flag3 && top.cpu.fetch.bus1 > 2"


def make_dumps(directory, count, steps):
    os.makedirs(directory, exist_ok=True)
    paths = []
    for n in range(count):
        path = os.path.join(directory, f"run{n:03d}_{steps}.vcd")
        if not os.path.exists(path):
            partial = path + ".part"
            gen_vcd.generate(partial, 350, steps, 15, n + 1)
            os.replace(partial, path)
        paths.append(path)
    return paths


def serial(paths, query, only_named):
    import trelm
    from trelm.batch.tasks import FindQuery
    from trelm.query.mentions import mentioned_names

    names = mentioned_names(query) if only_named else None
    answer = FindQuery(query)  # what a batch task computes from each dump
    return [tuple(answer(trelm.open(path, signals=names)).values()) for path in paths]


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def answers(table):
    """(count, first, last) per row, None for a missing time; None for an error row."""
    out = []
    for count, first, last, error in zip(table["count"], table.first_time, table.last_time, table.error):
        if isinstance(error, str):
            out.append(None)
        else:
            out.append((int(count), None if count == 0 else int(first), None if count == 0 else int(last)))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dumps", type=int, default=40)
    parser.add_argument("--steps", type=int, default=100_000, help="time lines per dump (100000: about 20 MB)")
    parser.add_argument("--dir", default=os.path.join(HERE, "data", "batch"))
    args = parser.parse_args()

    from trelm import batch

    paths = make_dumps(args.dir, args.dumps, args.steps)
    size = sum(os.path.getsize(p) for p in paths)
    print(f"{len(paths)} dumps, {size / 1e6 / len(paths):.1f} MB each ({size / 1e9:.2f} GB); "
          f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.1f}")
    print(f"query: {QUERY}")

    start = time.perf_counter()
    expected = serial(paths, QUERY, only_named=False)
    serial_seconds = time.perf_counter() - start
    print(f"  serial loop             {serial_seconds:7.2f} s  (trelm.open of each whole dump, then the query)")
    start, start_cpu = time.perf_counter(), cpu_seconds()
    same = serial(paths, QUERY, only_named=True) == expected
    named_seconds = time.perf_counter() - start
    # The engine reads a VCD on its worker pool, so the serial loop may keep
    # more than one core busy already; what two workers can gain is bounded by that.
    print(f"  serial, named signals   {named_seconds:7.2f} s  (what a batch task does; CPU "
          f"{cpu_seconds() - start_cpu:.2f} s: {(cpu_seconds() - start_cpu) / named_seconds:.1f} cores busy "
          f"on average)")

    from dask.distributed import Client

    with batch.local_cluster() as cluster, Client(cluster) as client:
        client.run(__import__, "trelm")
        # A running cluster has run before: one dump per worker first, so that
        # the timed run does not include each worker's first load.
        batch.find(paths[:len(client.scheduler_info()["workers"])], QUERY, client=client)
        workers = len(client.scheduler_info()["workers"])
        start = time.perf_counter()
        table = batch.find(paths, QUERY, client=client)
        running_seconds = time.perf_counter() - start
    same &= answers(table) == expected
    work = table.load_seconds.sum() + table.call_seconds.sum()
    ratio = running_seconds / serial_seconds
    print(f"  batch.find, running cluster of {workers} {running_seconds:5.2f} s  ({ratio:.2f} x serial, "
          f"target <= 0.65; {running_seconds / named_seconds:.2f} x the loop of named signals; the tasks' own "
          f"load and query time {work:.2f} s)")

    start = time.perf_counter()
    table = batch.find(paths, QUERY)
    whole_seconds = time.perf_counter() - start
    same &= answers(table) == expected
    print(f"  batch.find, no client   {whole_seconds:7.2f} s  ({whole_seconds / serial_seconds:.2f} x serial; "
          f"starting and closing the cluster included)")
    print("same answers" if same else "ANSWERS DIFFER")
    ok = same and ratio <= 0.65
    print("target met" if ok else "TARGET MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
