"""Measurements made in a child process of its own, so that each peak memory is its own.

A child's code runs after PRELUDE, which gives it `status_kb(field)` and
`measured(call)`; it prints one JSON object as its last line.
"""
import json
import resource
import subprocess
import sys
import time

# Peak memory is read from VmHWM: ru_maxrss would also count the parent's pages
# the child held between fork and exec.
PRELUDE = r'''
import json, resource, sys, time

def status_kb(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0

def _cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime

def measured(call):
    """call()'s result, and its wall and CPU seconds and the peak RSS after it."""
    cpu, start = _cpu(), time.perf_counter()
    result = call()
    wall = time.perf_counter() - start
    return result, {"wall": wall, "cpu": _cpu() - cpu, "peak_kb": status_kb("VmHWM")}
'''


class ChildFailed(RuntimeError):
    """The child exited with an error; the text is its stderr."""


def run_child(code, *args):
    """Runs PRELUDE + code in a new interpreter; the JSON object of its last line."""
    done = subprocess.run([sys.executable, "-c", PRELUDE + code, *map(str, args)], capture_output=True, text=True)
    if done.returncode != 0:
        raise ChildFailed(done.stderr.strip())
    return json.loads(done.stdout.strip().splitlines()[-1])


def timed(command, **kwargs):
    """Runs a command; its wall seconds and the CPU seconds of the children."""
    def children_cpu():
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        return usage.ru_utime + usage.ru_stime
    start, start_cpu = time.perf_counter(), children_cpu()
    subprocess.run(command, check=True, **kwargs)
    return time.perf_counter() - start, children_cpu() - start_cpu
