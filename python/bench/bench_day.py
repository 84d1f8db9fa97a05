"""What the Python package costs over a C host, and what Python property
routines cost over compiled ones.

    .venv/bin/python python/bench/bench_day.py [--rounds 9] [--hours 24]

1. Package overhead. A 1,000-cell line (1,000 km of 1 m pipe in 1 km cells,
   fed at 80 bar) through a day of outlet demand in 60 s host steps, four
   ways in shuffled turns: host_day.c as a program (per step loadbc twice,
   transientpipes, geterrorcode), the same C loop called inside this Python
   process, the package's Engine.step in a loop, and Engine.run (which also
   records both ends and the line pack after every step). Each reports the
   processor time of its host steps only (the time its thread ran, so that
   other jobs on the machine count less), and all must end on the same
   outlet pressure, bit for bit. The same four run on a 3-cell line, where
   the engine costs little: the difference there is the package's own time
   per host step, also given as a share of a 1,000-cell host step.
2. Property routines. One hour of the same line with the built-in ideal gas,
   with the same gas as three compiled C routines (host_day.c built as a
   library, CompiledGas), and as three Python functions (PythonGas).

Runs on one core (the first the process may use); figures are lower
quartiles and medians of the rounds, in processor seconds, comparable only
within one run of this script.
"""
import argparse
import ctypes
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pelmora

ROOT = Path(__file__).resolve().parents[2]
LENGTH, DIAMETER, CELL = 1000e3, 1.0, 1000.0
DEMAND = ([0, 10800, 18000, 25200, 32400, 43200, 54000, 64800, 72000, 79200, 86400],
          [60, 45, 40, 75, 85, 65, 55, 80, 85, 65, 60])
INLET = pelmora.Boundary(pressure=8e6, temperature=288.15)
OUTLET = pelmora.Boundary(mass_flow=DEMAND)
IDEAL = pelmora.IdealGas(molweight=18.0, gamma=1.3, viscosity=1.1e-5, compressibility=0.9)


def build(folder):
    """host_day as a program and as a library (its C loop and its three routines)."""
    source, flags = ROOT / "python/bench/host_day.c", ["-std=c99", "-O2", f"-I{ROOT}/include"]
    program, library = folder / "host_day", folder / "libhost_day.so"
    subprocess.run(["cc", *flags, str(source), "-o", str(program), "-ldl"], check=True)
    subprocess.run(["cc", *flags, "-shared", "-fPIC", str(source), "-o", str(library), "-ldl"],
                   check=True)
    return program, ctypes.CDLL(str(library))


def c_program(program, hours, length):
    out = subprocess.run([str(program), pelmora.library_path(), str(length), str(DIAMETER),
                          str(CELL), str(hours), "60"], check=True, capture_output=True,
                         text=True).stdout.split()
    return float(out[0]), float(out[1])


def c_in_process(host, hours, length):
    seconds, outlet = ctypes.c_double(), ctypes.c_double()
    status = host.hostday(pelmora.library_path().encode(), ctypes.c_double(length),
                          ctypes.c_double(DIAMETER), ctypes.c_double(CELL),
                          ctypes.c_double(hours), ctypes.c_double(60.0), ctypes.byref(seconds),
                          ctypes.byref(outlet))
    assert status == 0
    return seconds.value, outlet.value


def package(hours, gas=IDEAL, use_run=False, length=LENGTH):
    line = [pelmora.Pipe(length, DIAMETER, roughness=2e-5, cell_length=CELL,
                         ambient_temperature=283.15, heat_transfer=2.0)]
    with pelmora.Engine(gas, line) as engine:
        engine.start_steady(inlet_pressure=8e6, inlet_temperature=288.15, mass_flow=60.0)
        end = hours * 3600.0
        started = time.thread_time()
        if use_run:
            engine.run(end, 60, inlet=INLET, outlet=OUTLET)
        else:
            engine.set_boundary(INLET, OUTLET)
            while engine.time < end:
                engine.step(60, INLET, OUTLET)
        seconds = time.thread_time() - started
        return seconds, engine.ends().outlet.pressure


def quartiles(times):
    times = sorted(times)
    return times[(len(times) - 1) // 4], statistics.median(times)


def python_gas(calls):
    """The ideal gas as three Python functions; calls[0] counts their calls."""
    r = 8314.3 / 18.0 * 0.9
    cv = r / 0.3
    cp, mu = 1.3 * cv, 1.1e-5

    def counted(f):
        def routine(a, b):
            calls[0] += 1
            return f(a, b)
        return routine

    return pelmora.PythonGas(counted(lambda p, t: (p / (r * t), cv * t, cp * t, mu)),
                             counted(lambda rho, e: (0.3 * rho * e, e / cv, 1.3 * e, mu)),
                             counted(lambda p, h: (p * cp / (r * h), h / cp, h / 1.3, mu)),
                             molweight=18.0, gamma=1.3, viscosity=mu, compressibility=0.9)


def overhead(program, host, rounds, hours):
    """Part 1: the four ways on 1,000 cells and on 3."""
    shuffle = random.Random(1)
    base = None
    for length, span in ((LENGTH, hours), (3 * CELL, 96.0)):
        ways = {"C host program": lambda: c_program(program, span, length),
                "C loop in Python": lambda: c_in_process(host, span, length),
                "package, Engine.step": lambda: package(span, length=length),
                "package, Engine.run": lambda: package(span, use_run=True, length=length)}
        times = {name: [] for name in ways}
        outlets = set()
        for _ in range(rounds):
            for name in shuffle.sample(list(ways), len(ways)):
                seconds, outlet = ways[name]()
                times[name].append(seconds)
                outlets.add(outlet)
        if len(outlets) != 1:
            sys.exit(f"the ways ended on different outlet pressures: {outlets}")
        print(f"{length / CELL:,.0f} cells, {span:g} h in 60 s host steps, {rounds} rounds "
              f"(processor s, lower quartile / median; outlet {outlets.pop():.17g} Pa each time)")
        c = quartiles(times["C host program"])[0]
        base = base or c / (span * 60)  # s per host step on 1,000 cells
        for name, t in times.items():
            p25, median = quartiles(t)
            extra = (p25 - c) / (span * 60)
            note = "" if length == LENGTH else \
                f"   {1e6 * extra:+6.1f} us per host step = {100 * extra / base:+5.2f} % of one " \
                "on 1,000 cells"
            print(f"  {name:22s} {p25:8.3f} {median:8.3f}   {100 * (p25 / c - 1):+6.2f} %{note}")


def routines(host):
    """Part 2: one hour with the built-in gas, compiled routines, Python routines."""
    compiled = pelmora.CompiledGas(host.idealpt, host.idealrhoe, host.idealph, molweight=18.0,
                                   gamma=1.3, viscosity=1.1e-5, compressibility=0.9)
    calls = [0]
    gases = {"built-in ideal gas": IDEAL, "compiled routines": compiled,
             "Python routines": python_gas(calls)}
    runs = {"built-in ideal gas": 5, "compiled routines": 5, "Python routines": 2}
    seconds = {name: min(package(1.0, gas)[0] for _ in range(runs[name]))
               for name, gas in gases.items()}
    per_run = calls[0] / runs["Python routines"]
    print("property routines, 1 h of the 1,000-cell line (processor s, best of several runs):")
    for name, s in seconds.items():
        print(f"  {name:22s} {s:8.3f}   x {s / seconds['built-in ideal gas']:6.1f} the "
              f"built-in gas, x {s / seconds['compiled routines']:6.1f} compiled routines")
    extra = seconds["Python routines"] - seconds["compiled routines"]
    print(f"  {per_run:,.0f} calls of the Python routines per run, {1e6 * extra / per_run:.2f} "
          "us more per call than compiled")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--hours", type=float, default=24.0)
    args = parser.parse_args()
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    with tempfile.TemporaryDirectory() as folder:
        program, host = build(Path(folder))
        host.hostday.restype = ctypes.c_int
        overhead(program, host, args.rounds, args.hours)
        routines(host)


if __name__ == "__main__":
    main()
