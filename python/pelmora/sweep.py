"""Scenario sweeps: many variants of one scenario, run in parallel on a Dask cluster.

    pelmora-sweep SWEEP.json [--workers N] [--scheduler ADDRESS] [--output DIR]
    python -m pelmora.sweep SWEEP.json ...

A sweep file names a base scenario (a pelmora-run scenario file, relative to
the sweep file, or an inline object) and the cases made from it: `cases`, a
list of named sets of values, and `grid`, values whose cartesian product
makes further cases. Every value goes to a JSON Pointer (RFC 6901) into the
scenario. Each case runs through pelmora-run in a worker process of a local
Dask cluster (or of the cluster whose scheduler is named), and its row goes
into results.csv and results.json in the output directory. A case whose
results are complete is not run again; see docs/python.md.
"""
import argparse
import collections
import contextlib
import copy
import csv
import hashlib
import itertools
import json
import logging
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

KEEP = ("summary", "all")

# The headline figures of summary.json in the results table: column, path.
FIGURES = {f"{end}_pressure_{at}_Pa": (end, f"pressure_{at}")
           for end in ("inlet", "outlet") for at in ("start", "end", "min", "max")}
FIGURES.update({
    "line_pressure_min_Pa": ("line", "pressure_min"),
    "line_temperature_min_K": ("line", "temperature_min"),
    "mach_max": ("line", "mach_max"),
    "linepack_start_kg": ("linepack_kg", "start"),
    "linepack_end_kg": ("linepack_kg", "end"),
    "massbalance_error": ("massbalance_error",),
    "simulated_s": ("simulated_s",),
})

# pelmora-run's exit statuses that are the case's own outcome, so that a
# rerun would give it again: completed, bad scenario, set-up refused, stopped.
# Anything else (library not loadable, a signal, a worker that died) is
# tried again by the next run of the sweep.
FINAL_EXITS = (0, 1, 3, 4)


class SweepError(ValueError):
    """A sweep file that cannot be used; the message names the field."""


class PointerError(ValueError):
    """A JSON Pointer that is malformed or does not lead into the scenario."""


# --- JSON Pointers (RFC 6901) ---------------------------------------------

def pointer_tokens(pointer):
    """The reference tokens of `pointer`, unescaped (~1 is '/', then ~0 is '~')."""
    if not isinstance(pointer, str) or not pointer.startswith("/"):
        raise PointerError(f"{pointer!r}: a JSON Pointer into the scenario starts with '/'")
    tokens = pointer[1:].split("/")
    if any(re.search("~(?![01])", t) for t in tokens):
        raise PointerError(f"{pointer}: '~' must be followed by 0 or 1 ('~0' is '~', '~1' '/')")
    return [t.replace("~1", "/").replace("~0", "~") for t in tokens]


def set_pointer(document, pointer, value):
    """Sets the value at `pointer` in `document`. Every step must exist, but the
    last may name a new member of an object (pelmora-run judges the name); an
    array index must be one the array has."""
    tokens = pointer_tokens(pointer)
    node = document
    for depth, token in enumerate(tokens):
        where = "/" + "/".join(pointer[1:].split("/")[:depth]) if depth else "the scenario"
        last = depth == len(tokens) - 1
        if isinstance(node, dict):
            if not last and token not in node:
                raise PointerError(f"{pointer}: {where} has no member '{token}'")
            key = token
        elif isinstance(node, list):
            if not re.fullmatch("0|[1-9][0-9]*", token):
                raise PointerError(f"{pointer}: {where} is an array and '{token}' is no index")
            key = int(token)
            if key >= len(node):
                raise PointerError(f"{pointer}: {where} has no element {key} "
                                   f"(it has {len(node)})")
        else:
            raise PointerError(f"{pointer}: {where} is {json.dumps(node)}, not an object "
                               "or array")
        if last:
            node[key] = value
        else:
            node = node[key]


# --- The sweep file -------------------------------------------------------

class Case:
    """One variant: its name, the values it sets, and its scenario (None with
    `error` when a pointer does not lead into the base)."""

    def __init__(self, name, values, base):
        self.name, self.values, self.error = name, values, None
        self.scenario = copy.deepcopy(base)
        try:
            for pointer, value in values.items():
                set_pointer(self.scenario, pointer, value)
        except PointerError as error:
            self.scenario, self.error = None, str(error)


class Sweep:
    """A sweep file read and expanded into its cases."""

    def __init__(self, data, folder="."):
        fields = {"name", "description", "base", "cases", "grid", "output", "plot"}
        _require(isinstance(data, dict), "", "the sweep is a JSON object")
        _require(not set(data) - fields, "", f"unknown fields {sorted(set(data) - fields)}; "
                 f"known: {sorted(fields)}")
        self.name = data.get("name")
        _require(isinstance(self.name, str) and self.name, "name", "a non-empty string")
        self.base = _base(data.get("base"), Path(folder))
        output = data.get("output", {})
        _require(isinstance(output, dict) and not set(output) - {"directory", "keep"},
                 "output", "an object with 'directory' and 'keep'")
        self.directory = output.get("directory", f"pelmora-output/{self.name}")
        self.keep = output.get("keep", "summary")
        _require(self.keep in KEEP, "output.keep", f"one of {KEEP}")
        self.cases = _named(data.get("cases", [])) + _grid(data.get("grid", {}))
        _require(self.cases, "", "no cases: give 'cases', 'grid' or both")
        twice = sorted(n for n, k in collections.Counter(n for n, _ in self.cases).items()
                       if k > 1)
        _require(not twice, "cases", f"names used twice: {twice}")
        self.pointers = list(dict.fromkeys(p for _, values in self.cases for p in values))
        for pointer in self.pointers:
            try:
                pointer_tokens(pointer)
            except PointerError as error:
                raise SweepError(str(error)) from None
        self.cases = [Case(name, values, self.base) for name, values in self.cases]
        self.plot = data.get("plot")
        if self.plot is not None:
            p = self.plot
            _require(isinstance(p, dict) and p.get("figure") in FIGURES and
                     p.get("x") in self.pointers and p.get("lines", p["x"]) in self.pointers
                     and not set(p) - {"figure", "x", "lines"}, "plot",
                     f"'figure' (one of {list(FIGURES)}), 'x' and optionally 'lines' "
                     f"(pointers the sweep sets: {self.pointers})")

    @classmethod
    def load(cls, path):
        try:
            data = json.loads(Path(path).read_text())
        except (OSError, ValueError) as error:
            raise SweepError(f"cannot read it: {error}") from None
        return cls(data, Path(path).parent)


def _require(condition, field, what):
    if not condition:
        raise SweepError(f"{field}: {what}" if field else what)


def _base(base, folder):
    if isinstance(base, str):
        try:
            base = json.loads((folder / base).read_text())
        except (OSError, ValueError) as error:
            raise SweepError(f"base: cannot read the scenario {base}: {error}") from None
    _require(isinstance(base, dict), "base", "a scenario file (relative to the sweep file) "
             "or a scenario object")
    return base


def _named(cases):
    _require(isinstance(cases, list), "cases", "a list of {\"name\": ..., \"set\": {...}}")
    named = []
    for k, case in enumerate(cases):
        _require(isinstance(case, dict) and not set(case) - {"name", "set"}, f"cases[{k}]",
                 "an object with 'name' and 'set'")
        name, values = case.get("name", f"case-{k + 1}"), case.get("set", {})
        _require(isinstance(name, str) and name and not name.startswith(".") and
                 not set(name) & set("/\\\0"), f"cases[{k}].name",
                 "a file name (no '/', not starting with '.')")
        _require(isinstance(values, dict), f"cases[{k}].set", "an object of pointer: value")
        named.append((name, values))
    return named


def _grid(grid):
    """The cases of the cartesian product, named from their values (the last
    pointer varies fastest)."""
    _require(isinstance(grid, dict) and all(isinstance(v, list) and v for v in grid.values()),
             "grid", "an object of pointer: [values]")
    pointers = list(grid)
    if not pointers:  # the product of nothing would be one case
        return []
    labels = []
    for p in pointers:  # the shortest tail that tells it from the others, not just an index
        tokens = p.split("/")
        n = 1
        while n < len(tokens) and (tokens[-n].isdigit() or [
                q.split("/")[-n:] for q in pointers].count(tokens[-n:]) > 1):
            n += 1
        labels.append(".".join(tokens[-n:]))
    cases = []
    for combination in itertools.product(*(enumerate(grid[p]) for p in pointers)):
        parts = [f"{label}={_label(value, k)}" for label, (k, value) in zip(labels, combination)]
        name = re.sub(r"[^A-Za-z0-9._,=+#-]", "_", ",".join(parts))
        cases.append((name, {p: value for p, (_, value) in zip(pointers, combination)}))
    return cases


def _label(value, k):
    if isinstance(value, (dict, list)):
        return f"#{k + 1}"
    return value if isinstance(value, str) else json.dumps(value)


# --- One case in a worker -------------------------------------------------

def run_case(scenario, keep, binaries):
    """Runs one scenario through pelmora-run in a temporary folder of the
    worker and returns its exit status, its stderr and the files the sweep
    keeps (name: bytes). Only the standard library and Dask's worker are used
    here: the function travels to the workers by value, so they need no
    Pelmora installation (`binaries` brings the programs, see _binaries)."""
    from distributed import get_worker
    run, library = _worker_binaries(binaries)
    try:  # Dask clears a worker's own directory when a killed worker left a case's folder
        scratch = get_worker().local_directory
    except ValueError:  # not on a worker: the benchmark runs the cases one after another
        scratch = None
    with tempfile.TemporaryDirectory(prefix="pelmora-case-", dir=scratch) as work:
        with open(os.path.join(work, "scenario.json"), "w") as f:
            f.write(scenario)
        command = [run, "scenario.json", "--library", library, "--output", "out", "--quiet"]
        if keep != "all":
            command.append("--no-plots")
        done = subprocess.run(command, cwd=work, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True)
        out = os.path.join(work, "out")
        files = {}
        for name in sorted(os.listdir(out)) if os.path.isdir(out) else []:
            if keep == "all" or name == "summary.json":
                with open(os.path.join(out, name), "rb") as f:
                    files[name] = f.read()
    return {"exit": done.returncode, "stderr": done.stderr, "files": files}


def _worker_binaries(binaries):
    """pelmora-run and the engine library on this worker: the client's own
    files on a local cluster, else copies written once into the worker's
    own folder."""
    if "files" not in binaries:
        return binaries["run"], binaries["library"]
    from distributed import get_worker
    folder = os.path.join(get_worker().local_directory, "pelmora-" + binaries["hash"][:16])
    if not os.path.isdir(folder):
        staging = tempfile.mkdtemp(dir=os.path.dirname(folder))
        for name, data in binaries["files"].items():
            with open(os.path.join(staging, name), "wb") as f:
                f.write(data)
            os.chmod(os.path.join(staging, name), 0o755)
        try:
            os.rename(staging, folder)
        except OSError:  # another thread of this worker was first
            shutil.rmtree(staging)
    return os.path.join(folder, "pelmora-run"), os.path.join(folder, "libpelmora.so")


def _binaries():
    """The programs every case runs with, and a hash of them: results made
    by another build are not taken as complete."""
    from . import _library, library_path
    run, library = _library.executable(), library_path()
    if run is None:
        raise SweepError("pelmora-run is not installed with the package; run "
                         "'bash scripts/setup-python.sh'")
    realgas = os.path.join(os.path.dirname(run), "libpelmora_realgas.so")
    files = {"pelmora-run": run, "libpelmora.so": library, "libpelmora_realgas.so": realgas}
    digest = hashlib.sha256()
    for path in files.values():
        with open(path, "rb") as f:
            digest.update(f.read())
    return {"run": run, "library": library, "hash": digest.hexdigest(), "paths": files}


# --- Rows -----------------------------------------------------------------

def _row(case, status, reason="", summary=None):
    row = {"case": case.name, **case.values, "status": status, "reason": reason,
           "warnings": (summary or {}).get("warnings", [])}
    for column, path in FIGURES.items():
        value = summary
        for key in path:
            value = value.get(key) if isinstance(value, dict) else None
        row[column] = value
    row["codes"] = {c: r["count"] for c, r in (summary or {}).get("codes", {}).items()}
    row["walltime_s"] = (summary or {}).get("walltime_s")
    return row


def _outcome(case, result):
    """The row of a case from what run_case returned (or the exception that
    came instead), and whether a rerun would give the same."""
    if isinstance(result, BaseException):
        what = ("the worker processes that ran it died" if type(result).__name__ ==
                "KilledWorker" else f"{type(result).__name__}: {result}")
        return _row(case, "failed", what), False
    code = result["exit"]
    summary = json.loads(result["files"]["summary.json"]) if "summary.json" in \
        result["files"] else None
    if code in (0, 4) and summary:
        return _row(case, ("completed", "stopped")[code == 4], summary["stopreason"], summary), True
    lines = [line for line in result["stderr"].splitlines()
             if line and not line.startswith("pelmora-run: warning")]
    message = lines[-1].removeprefix("pelmora-run: ") if lines else ""
    if code < 0:
        message = f"pelmora-run was ended by signal {-code}"
    elif code not in FINAL_EXITS:
        message = f"pelmora-run exited with status {code}: {message}"
    return _row(case, "failed", message), code in FINAL_EXITS


def _fingerprint(case, keep, binaries):
    text = json.dumps([case.scenario, case.values, keep, binaries["hash"]], sort_keys=True)
    return hashlib.sha256(text.encode()).hexdigest()


def _cell(value):
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    return json.dumps(value, separators=(",", ":"))


def write_results(directory, sweep, rows):
    """results.csv and results.json: one row per case, in the sweep's order."""
    columns = ["case", *sweep.pointers, "status", "reason", "warnings", *list(FIGURES),
               "codes", "walltime_s"]
    with open(directory / "results.csv", "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(columns)
        for row in rows:
            cells = dict(row, warnings="; ".join(
                f"{w['code']} ({w['where']})" if w.get("where") else w["code"]
                for w in row["warnings"]),
                codes=" ".join(f"{c}:{n}" for c, n in row["codes"].items()))
            writer.writerow(_cell(cells.get(c)) for c in columns)
    (directory / "results.json").write_text(
        json.dumps({"sweep": sweep.name, "cases": rows}, indent=1) + "\n")


def draw_plot(directory, sweep, rows):
    """The chosen figure against one swept value, a line per value of another."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    figure, x, lines = sweep.plot["figure"], sweep.plot["x"], sweep.plot.get("lines")
    done = [r for r in rows if r["status"] == "completed" and r.get(x) is not None]
    fig, ax = plt.subplots(figsize=(8, 5))
    for value in sorted({_cell(r.get(lines)) for r in done} if lines else {""}):
        points = sorted((r[x], r[figure]) for r in done
                        if not lines or _cell(r.get(lines)) == value)
        ax.plot(*zip(*points), marker="o", label=f"{lines} = {value}" if lines else None)
    ax.set(xlabel=x, ylabel=figure, title=sweep.name)
    ax.grid(True)
    if lines:
        ax.legend()
    fig.savefig(directory / "plot.png", dpi=100)
    plt.close(fig)


# --- Running a sweep ------------------------------------------------------

class Output:
    """The output directory: cases/<name>/ with the case's scenario.json,
    summary.json (and with keep 'all' the rest of pelmora-run's files),
    pelmora-run.log when it printed anything, and case.json, the row, written
    last: a case without case.json did not finish."""

    def __init__(self, directory):
        self.directory = Path(directory)
        (self.directory / "cases").mkdir(parents=True, exist_ok=True)

    def record(self, case):
        try:
            return json.loads((self.directory / "cases" / case.name / "case.json").read_text())
        except (OSError, ValueError):
            return None

    def save(self, case, fingerprint, row, final, result=None):
        folder = self.directory / "cases" / case.name
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        if case.scenario is not None:
            (folder / "scenario.json").write_text(json.dumps(case.scenario, indent=2) + "\n")
        if isinstance(result, dict):
            for name, data in result["files"].items():
                (folder / name).write_bytes(data)
            if result["stderr"]:
                (folder / "pelmora-run.log").write_text(result["stderr"])
        staging = folder / "case.json.part"
        staging.write_text(json.dumps({"fingerprint": fingerprint, "final": final, "row": row},
                                      indent=1) + "\n")
        os.replace(staging, folder / "case.json")


def run_sweep(sweep, directory=None, *, workers=None, scheduler=None, client=None,
              report=None):
    """Runs the cases of `sweep` whose results are not complete in the output
    directory; writes each case as it finishes, then results.csv,
    results.json and the plot. Returns the rows and the number of cases not
    taken from earlier runs (run now, or failed now for a pointer).
    `client` is a distributed.Client to use; else one is made (a local
    cluster of `workers` processes, or the cluster of `scheduler`).
    `report(case, row, counts)` hears of each finished case."""
    output = Output(directory or sweep.directory)
    binaries = _binaries()
    rows, todo, earlier = {}, [], 0
    for case in sweep.cases:
        fingerprint = _fingerprint(case, sweep.keep, binaries)
        record = output.record(case)
        if record and record["fingerprint"] == fingerprint and record["final"]:
            rows[case.name] = record["row"]
            earlier += 1
        elif case.error:
            rows[case.name] = _row(case, "failed", case.error)
            output.save(case, fingerprint, rows[case.name], True)
        else:
            todo.append((case, fingerprint))
    try:
        if todo:
            _run_cases(todo, sweep, output, binaries, rows, workers, scheduler, client, report)
    finally:
        table = [rows.get(c.name) or _row(c, "not run") for c in sweep.cases]
        write_results(output.directory, sweep, table)
    if sweep.plot:
        draw_plot(output.directory, sweep, table)
    return table, len(sweep.cases) - earlier


def _run_cases(todo, sweep, output, binaries, rows, workers, scheduler, client, report):
    import cloudpickle
    import distributed
    if __name__ != "__main__":  # the workers need not have the package
        cloudpickle.register_pickle_by_value(sys.modules[__name__])
    with contextlib.ExitStack() as stack:
        local = client is None and not scheduler
        if local:
            client = stack.enter_context(distributed.Client(_local_cluster(stack, workers)))
            if not client.nthreads():
                raise SweepError("the local cluster's worker processes did not start (see "
                                 "the messages above)")
        elif client is None:
            client = stack.enter_context(distributed.Client(scheduler, timeout=30))
        if local:  # the workers see the client's files
            programs = {k: binaries[k] for k in ("run", "library")}
        else:  # sent once to each worker
            key = "pelmora-binaries-" + binaries["hash"]
            programs = client.scatter({key: dict(hash=binaries["hash"], files={
                n: Path(p).read_bytes() for n, p in binaries["paths"].items()})},
                broadcast=True)[key]
        futures = {client.submit(run_case, json.dumps(case.scenario, indent=2), sweep.keep,
                                 programs, pure=False,
                                 key=f"pelmora-case-{case.name}-{fingerprint[:12]}"):
                   (case, fingerprint) for case, fingerprint in todo}
        waiting = distributed.as_completed(futures)
        counts = {"done": 0, "stopped": 0, "failed": 0, "total": len(todo)}
        threads, asked = 0, 0.0
        while not waiting.is_empty():
            finished = waiting.next_batch(block=False)
            if time.monotonic() - asked > 1:  # workers may come and go
                threads, asked = sum(client.nthreads().values()), time.monotonic()
            counts["running"] = min(waiting.count(), threads)
            for future in finished:
                case, fingerprint = futures[future]
                try:
                    result = future.result()
                except Exception as error:  # noqa: BLE001 - the case's row says what
                    result = error
                future.release()
                row, final = _outcome(case, result)
                output.save(case, fingerprint, row, final, result)
                rows[case.name] = row
                counts["done"] += 1
                counts[row["status"]] = counts.get(row["status"], 0) + 1
                if report:
                    report(case, row, counts)
            if not finished:
                time.sleep(0.1)
                if report:
                    report(None, None, counts)


def _local_cluster(stack, workers):
    import dask
    import distributed
    # Workers forked from a server that has imported Dask start in a fraction
    # of the time of fresh interpreters; without the statistical profiler and
    # with slower ticks an idle cluster takes about 3 % of a core, not 14 %.
    with dask.config.set({"distributed.worker.multiprocessing-method": "forkserver",
                          "distributed.worker.profile.enabled": False,
                          "distributed.admin.tick.interval": "1s",
                          "distributed.admin.system-monitor.interval": "5s"}):
        return stack.enter_context(distributed.LocalCluster(
            n_workers=workers or len(os.sched_getaffinity(0)), threads_per_worker=1,
            processes=True, dashboard_address=None, silence_logs=logging.CRITICAL))


class Report:
    """What the user sees while a sweep runs: a progress bar on a terminal,
    else a line per finished case."""

    def __init__(self, stream=sys.stderr):
        from .engine import ProgressBar
        self.stream, self.bar, self.start = stream, None, time.monotonic()
        if stream.isatty():
            self.bar = ProgressBar(0, 1, stream)

    def __call__(self, case, row, counts):
        done, total = counts["done"], counts["total"]
        if self.bar is None:
            if case is not None:
                reason = f": {row['reason']}" if row["reason"] else ""
                self.stream.write(f"pelmora-sweep: {done}/{total} {case.name}: "
                                  f"{row['status']}{reason}\n")
            return
        elapsed = time.monotonic() - self.start
        left = f"{_clock((total - done) * elapsed / done)} left" if done else "time left ?"
        self.bar.show(done / total, f"{done}/{total} done, {counts['running']} running, "
                      f"{counts['stopped']} stopped, {counts['failed']} failed, {left}", done == total)


def _clock(seconds):
    m, s = divmod(int(seconds + 0.5), 60)
    return f"{m // 60}:{m % 60:02d}:{s:02d}" if m >= 60 else f"{m}:{s:02d}"


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="pelmora-sweep", description="Runs the cases of a sweep file through pelmora-run "
        "on a Dask cluster (a local one unless --scheduler names one).")
    parser.add_argument("sweep", help="the sweep file (JSON)")
    parser.add_argument("--workers", type=int, help="worker processes of the local cluster "
                        "(default: one per core)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler, "
                        "e.g. tcp://host:8786")
    parser.add_argument("--output", help="output directory (default: the sweep file's)")
    args = parser.parse_args(argv)
    if args.workers is not None and args.workers < 1:
        parser.error("--workers must be at least 1")
    started = time.monotonic()
    try:
        sweep = Sweep.load(args.sweep)
        rows, ran = run_sweep(sweep, args.output, workers=args.workers,
                              scheduler=args.scheduler, report=Report())
    except SweepError as error:
        print(f"pelmora-sweep: {args.sweep}: {error}", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"pelmora-sweep: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print(f"\npelmora-sweep: interrupted; every finished case is in "
              f"{args.output or sweep.directory}; run the sweep again to finish it",
              file=sys.stderr)
        return 130
    statuses = [r["status"] for r in rows]
    print(f"pelmora-sweep: {sweep.name}: {len(rows)} cases, "
          + ", ".join(f"{statuses.count(s)} {s}" for s in ("completed", "stopped", "failed"))
          + f" ({ran} run now, {len(rows) - ran} from earlier runs) in "
          f"{time.monotonic() - started:.1f} s; results in {args.output or sweep.directory}")
    return 0 if statuses.count("completed") == len(rows) else 4


if __name__ == "__main__":
    sys.exit(main())
