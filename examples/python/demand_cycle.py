"""A day of outlet demand on a 100 km, 0.6 m line fed at 60 bar: the built-in
scenario of pelmora-run (examples/scenarios/demand_cycle.json), through the
Python package, with its figures drawn by matplotlib.

    .venv/bin/python examples/python/demand_cycle.py [--output DIR] [--show]

The package makes the same calls as pelmora-run, so the end states and
profiles are the same numbers, bit for bit. Figures go to DIR (default
pelmora-output/python/demand-cycle): ends.png and profiles.png.
"""
import argparse
import sys
from pathlib import Path

import matplotlib

import pelmora

HOUR = 3600.0
DEMAND_TIMES = [0, 10800, 18000, 25200, 32400, 43200, 54000, 64800, 72000, 79200, 86400]
DEMAND = [60, 45, 40, 75, 85, 65, 55, 80, 85, 65, 60]  # kg/s at the outlet
PROFILE_TIMES = [0, 21600, 32400, 43200, 72000, 86400]


def simulate():
    gas = pelmora.IdealGas(molweight=18.0, gamma=1.30, viscosity=1.1e-5, compressibility=0.90)
    pipe = pelmora.Pipe(length=100e3, diameter=0.6, roughness=2.0e-5, cell_length=1000,
                        ambient_temperature=283.15, heat_transfer=2.0)
    with pelmora.Engine(gas, [pipe]) as engine:
        engine.start_steady(inlet_pressure=6.0e6, inlet_temperature=288.15, mass_flow=60.0)
        return engine.run(until=24 * HOUR, dt=60,
                          inlet=pelmora.Boundary(pressure=6.0e6, temperature=288.15),
                          outlet=pelmora.Boundary(mass_flow=(DEMAND_TIMES, DEMAND)),
                          profiles=PROFILE_TIMES, progress=sys.stderr.isatty())


def draw(run, folder, show):
    import matplotlib.pyplot as plt

    h = run.history
    hours = h.time / HOUR
    fig, (pressure, flow, pack) = plt.subplots(3, 1, sharex=True, figsize=(8, 8))
    for end in ("inlet", "outlet"):
        pressure.plot(hours, h[f"{end}_pressure"] / 1e5, label=end)
        flow.plot(hours, h[f"{end}_mass_flow"], label=end)
    pressure.set_ylabel("pressure, bar")
    flow.set_ylabel("mass flow, kg/s")
    pack.plot(hours, h.line_pack / 1000, color="black")
    pack.set_ylabel("line pack, t")
    pack.set_xlabel("time, h")
    pressure.legend()
    pressure.set_title("Demand cycle: the ends of the line")
    fig.tight_layout()
    fig.savefig(folder / "ends.png", dpi=100)

    fig, (pressure, temperature) = plt.subplots(2, 1, sharex=True, figsize=(8, 6))
    for t, p in run.profiles.items():
        km = p.position / 1000
        pressure.plot(km, p.pressure / 1e5, label=f"{t / HOUR:g} h")
        temperature.plot(km, p.temperature - 273.15)
    pressure.set_ylabel("pressure, bar")
    temperature.set_ylabel("temperature, °C")
    temperature.set_xlabel("distance from the inlet, km")
    pressure.legend()
    pressure.set_title("Demand cycle: along the line")
    fig.tight_layout()
    fig.savefig(folder / "profiles.png", dpi=100)
    if show:
        plt.show()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", type=Path, default=Path("pelmora-output/python/demand-cycle"))
    parser.add_argument("--show", action="store_true", help="show the figures in a window")
    args = parser.parse_args()
    if not args.show:
        matplotlib.use("Agg")  # files only, no display needed
    run = simulate()
    h = run.history
    args.output.mkdir(parents=True, exist_ok=True)
    draw(run, args.output, args.show)
    print(f"{run.host_steps} host steps of 60 s in {run.wall_time:.2f} s "
          f"({h.time[-1] / run.wall_time:,.0f} x real time)")
    print(f"line pack {h.line_pack[0] / 1000:.1f} t at the start, {h.line_pack.min() / 1000:.1f}"
          f" to {h.line_pack.max() / 1000:.1f} t over the day, {h.line_pack[-1] / 1000:.1f} t "
          "at the end")
    low = h.outlet_pressure.argmin()
    print(f"lowest outlet pressure {h.outlet_pressure[low] / 1e5:.2f} bar at "
          f"{h.time[low] / HOUR:.1f} h; figures in {args.output}/")


if __name__ == "__main__":
    main()
