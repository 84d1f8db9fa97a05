"""What a sweep gains from a local Dask cluster over running its cases one
after another.

    .venv/bin/python python/bench/bench_sweep.py [--cases 40] [--hours 24] [--rounds 3]
                                                 [--workers N]

The cases are the demand-cycle example (100 km, 100 cells, 60 s host steps)
over `--hours`, each with another peak demand. In every round, in shuffled
order: the cases one after another through pelmora-run in this process (as
a worker runs each case: scenario written to a temporary folder, pelmora-run
run on it, summary.json read back), and the same cases as a sweep on a
fresh local cluster of `--workers` processes (default: one per core), whose
start, run and close are timed apart. Figures are wall-clock seconds, lower
quartile and median of the rounds.

speed-up per worker = (one after another / sweep run) / workers
overhead per case   = (workers x sweep run - one after another) / cases:
                      the worker time a case costs beyond its pelmora-run
Wall-clock figures need a quiet machine. The processor time of the
cluster's own processes (client with scheduler, workers; pelmora-run not
counted) per case does not: that is what the scheduler costs.
"""
import argparse
import contextlib
import json
import os
import random
import resource
import statistics
import tempfile
import time
from pathlib import Path

from pelmora import sweep

ROOT = Path(__file__).resolve().parents[2]


def usage():
    """Processor seconds of this process and of its finished children."""
    me, children = (resource.getrusage(w) for w in (resource.RUSAGE_SELF,
                                                    resource.RUSAGE_CHILDREN))
    return me.ru_utime + me.ru_stime, children.ru_utime + children.ru_stime


def one_after_another(cases, binaries):
    programs = {k: binaries[k] for k in ("run", "library")}
    for case in cases:
        result = sweep.run_case(json.dumps(case.scenario, indent=2), "summary", programs)
        assert result["exit"] == 0, result["stderr"]


def on_a_cluster(study, workers, folder):
    """Wall seconds of the cluster's start, the sweep and the close, the
    processor seconds of the sweep (client, workers, their pelmora-runs), when
    the first case started, and the mean time of a case on a worker and
    between two cases there."""
    import distributed
    with contextlib.ExitStack() as stack:
        started = time.perf_counter()
        client = stack.enter_context(distributed.Client(sweep._local_cluster(stack, workers)))
        before, mine = client.run(usage), usage()[0]
        ran, now = time.perf_counter(), time.time()
        with distributed.get_task_stream(client) as stream:
            rows, _ = sweep.run_sweep(study, folder, client=client)
        closing = time.perf_counter()
        after, mine = client.run(usage), usage()[0] - mine
    assert all(r["status"] == "completed" for r in rows)
    cpu = [sum(after[w][k] - before[w][k] for w in after) for k in (0, 1)]
    # Idle time of a worker between one case and its next.
    spans = {}
    for task in stream.data:
        for s in task["startstops"]:
            if s["action"] == "compute":
                spans.setdefault(task["worker"], []).append((s["start"], s["stop"]))
    gaps = [b[0] - a[1] for w in spans.values() for a, b in zip(sorted(w), sorted(w)[1:])]
    each = [b - a for w in spans.values() for a, b in w]
    first = min(a for w in spans.values() for a, _ in w) - now
    return [ran - started, closing - ran, time.perf_counter() - closing, mine, *cpu, first,
            statistics.mean(each), statistics.mean(gaps)]


def quartiles(values):
    low = statistics.quantiles(values, n=4, method="inclusive")[0] if len(values) > 1 else values[0]
    return f"{low:7.2f} / {statistics.median(values):7.2f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cases", type=int, default=40)
    parser.add_argument("--hours", type=float, default=24)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--workers", type=int, default=len(os.sched_getaffinity(0)))
    args = parser.parse_args()
    base = json.loads((ROOT / "examples/scenarios/demand_cycle.json").read_text())
    base.update(endtime=args.hours * 3600, output={"interval": 3600, "profiles": []})
    peaks = [70 + 30 * k / max(args.cases - 1, 1) for k in range(args.cases)]
    study = sweep.Sweep({"name": "bench", "base": base,
                        "grid": {"/boundary/outlet/table/8/massflow": peaks}})
    binaries = sweep._binaries()
    names = ["one after another", "its pelmora-runs (cpu)", "cluster start", "sweep run",
             "cluster close", "client, scheduler (cpu)", "workers (cpu)",
             "their pelmora-runs (cpu)", "first case starts after", "a case on a worker",
             "worker idle between cases"]
    times = {name: [] for name in names}
    with tempfile.TemporaryDirectory() as work:
        for r in range(args.rounds):
            for way in random.sample(["alone", "cluster"], 2):
                if way == "alone":
                    t, cpu = time.perf_counter(), usage()[1]
                    one_after_another(study.cases, binaries)
                    figures = [time.perf_counter() - t, usage()[1] - cpu]
                else:
                    figures = on_a_cluster(study, args.workers, Path(work) / str(r))
                for name, value in zip(names[:2] if way == "alone" else names[2:], figures):
                    times[name].append(value)
    print(f"{args.cases} cases of {args.hours:g} h, {args.workers} workers, {args.rounds} "
          f"rounds (lower quartile / median, s)")
    for name, values in times.items():
        print(f"  {name:26s} {quartiles(values)}")
    median = {name: statistics.median(values) for name, values in times.items()}
    alone, run = median["one after another"], median["sweep run"]
    dask = median["client, scheduler (cpu)"] + median["workers (cpu)"]
    print(f"  speed-up per worker {alone / run / args.workers:.2f}; overhead per case "
          f"{(args.workers * run - alone) / args.cases * 1000:.0f} ms of wall time, "
          f"{dask / args.cases * 1000:.0f} ms of processor time (a case alone "
          f"{alone / args.cases * 1000:.0f} ms)")


if __name__ == "__main__":
    main()
