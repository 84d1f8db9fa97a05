"""What the Python package costs over a C host, and what Python property
routines cost over compiled ones.

    .venv/bin/python python/bench/bench_day.py [--rounds 7] [--hours 24]

1. Package overhead. A 1,000-cell line (1,000 km of 1 m pipe in 1 km cells,
   fed at 80 bar) through a day of outlet demand in 60 s host steps, three
   ways, in turns: host_day.c (per step loadbc twice, transientpipes,
   geterrorcode), the package's Engine.step in a loop, and Engine.run (which
   also records both ends and the line pack after every step). Each reports
   the time of its host steps only. All three must end on the same outlet
   pressure, bit for bit. On a loaded machine a few per cent are lost in the
   noise, so the same three run on a 3-cell line as well, where the engine
   costs little and the difference is the package's own time per host step;
   that time is also given as a share of a host step of the 1,000-cell line.
2. Property routines. One hour of the same line with the built-in ideal gas,
   with the same gas as three compiled C routines (host_day.c built as a
   library, CompiledGas), and as three Python functions (PythonGas).

Runs on one core (the first the process may use); the figures are lower
quartiles and medians of the rounds. Timings are only comparable within one
run of this script.
"""
import argparse
import ctypes
import os
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
    """host_day as a program and as a library of its three routines."""
    source, flags = ROOT / "python/bench/host_day.c", ["-std=c99", "-O2", f"-I{ROOT}/include"]
    program, library = folder / "host_day", folder / "libhost_day.so"
    subprocess.run(["cc", *flags, str(source), "-o", str(program), "-ldl"], check=True)
    subprocess.run(["cc", *flags, "-shared", "-fPIC", str(source), "-o", str(library)],
                   check=True)
    return program, library


def c_host(program, hours, length=LENGTH):
    out = subprocess.run([str(program), pelmora.library_path(), str(length), str(DIAMETER),
                          str(CELL), str(hours), "60"], check=True, capture_output=True,
                         text=True).stdout.split()
    return float(out[0]), float(out[1])


def package(hours, gas=IDEAL, use_run=False, length=LENGTH):
    line = [pelmora.Pipe(length, DIAMETER, roughness=2e-5, cell_length=CELL,
                         ambient_temperature=283.15, heat_transfer=2.0)]
    with pelmora.Engine(gas, line) as engine:
        engine.start_steady(inlet_pressure=8e6, inlet_temperature=288.15, mass_flow=60.0)
        end = hours * 3600.0
        started = time.perf_counter()
        if use_run:
            engine.run(end, 60, inlet=INLET, outlet=OUTLET)
        else:
            engine.set_boundary(INLET, OUTLET)
            while engine.time < end:
                engine.step(60, INLET, OUTLET)
        seconds = time.perf_counter() - started
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--hours", type=float, default=24.0)
    args = parser.parse_args()
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    with tempfile.TemporaryDirectory() as folder:
        program, library = build(Path(folder))

        # 1. The same day three ways, in turns, on 1,000 cells and on 3.
        base = {}
        for length, hours in ((LENGTH, args.hours), (3 * CELL, 96.0)):
            ways = {"C host": lambda: c_host(program, hours, length),
                    "package, Engine.step": lambda: package(hours, length=length),
                    "package, Engine.run": lambda: package(hours, use_run=True, length=length)}
            times = {name: [] for name in ways}
            outlets = set()
            for k in range(args.rounds):
                names = list(ways)
                for name in names[k % 3:] + names[:k % 3]:  # each way in turn goes first
                    seconds, outlet = ways[name]()
                    times[name].append(seconds)
                    outlets.add(outlet)
            if len(outlets) != 1:
                sys.exit(f"the three ways ended on different outlet pressures: {outlets}")
            print(f"{length / CELL:,.0f} cells, {hours:g} h in 60 s host steps, "
                  f"{args.rounds} rounds (s, lower quartile / median; same outlet pressure "
                  f"{outlets.pop():.17g} Pa every time)")
            c = base[length] = quartiles(times["C host"])[0]
            for name, t in times.items():
                p25, median = quartiles(t)
                extra = 1e6 * (p25 - c) / (hours * 60)
                share = extra * 1e-6 * args.hours * 60 / base[LENGTH] * 100
                print(f"  {name:22s} {p25:8.3f} {median:8.3f}   {100 * (p25 / c - 1):+6.2f} %"
                      + (f"   {extra:+6.1f} us per host step = {share:+5.2f} % of the "
                         f"1,000-cell C host" if length != LENGTH else ""))

        # 2. Property routines: one hour, built-in, compiled C, Python.
        c = ctypes.CDLL(str(library))
        compiled = pelmora.CompiledGas(c.idealpt, c.idealrhoe, c.idealph, molweight=18.0,
                                       gamma=1.3, viscosity=1.1e-5, compressibility=0.9)
        calls = [0]
        gases = {"built-in ideal gas": IDEAL, "compiled routines": compiled,
                 "Python routines": python_gas(calls)}
        seconds = {name: min(package(1.0, gas)[0] for _ in range(2 if name[0] == "P" else 5))
                   for name, gas in gases.items()}
        calls = calls[0] / 2
        print("property routines, 1 h of the same line (best of several runs, s):")
        for name, s in seconds.items():
            print(f"  {name:22s} {s:8.3f}   x {s / seconds['built-in ideal gas']:6.1f} the "
                  f"built-in gas, x {s / seconds['compiled routines']:6.1f} compiled routines")
        extra = seconds["Python routines"] - seconds["compiled routines"]
        print(f"  {calls:,.0f} calls of the Python routines per run, {1e6 * extra / calls:.2f} us "
              "more per call than compiled")


if __name__ == "__main__":
    main()
