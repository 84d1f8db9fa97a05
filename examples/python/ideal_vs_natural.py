"""The same line and the same demand with two descriptions of one natural gas:
the real gas of the property provider libpelmora_realgas (its compiled
routines, so no Python runs per cell), and an ideal gas with the real gas's
molar mass, compressibility factor, isentropic exponent and viscosity at the
inlet state.

    .venv/bin/python examples/python/ideal_vs_natural.py [--output DIR] [--show]

The ideal gas keeps Z at its inlet value. The real gas's Z changes along the
line with pressure and temperature: here the gas cooling towards the ground
lowers it more than the falling pressure raises it, so the line holds more
gas (line pack) and the outlet pressure falls less. Figure: DIR/ideal_vs_natural.png (default
pelmora-output/python/ideal-vs-natural).
"""
import argparse
from pathlib import Path

import matplotlib

import pelmora

HOUR = 3600.0
COMPOSITION = {"methane": 0.90, "ethane": 0.05, "propane": 0.015, "isobutane": 0.0025,
               "nbutane": 0.0025, "nitrogen": 0.02, "carbondioxide": 0.01}
INLET_PRESSURE, INLET_TEMPERATURE = 70e5, 303.15
PIPES = [pelmora.Pipe(length=40e3, diameter=0.5, inclination=0.002, roughness=2e-5,
                      cell_length=1000, ambient_temperature=281.15, heat_transfer=2.5),
         pelmora.Pipe(length=40e3, diameter=0.5, inclination=-0.002, roughness=2e-5,
                      cell_length=1000, ambient_temperature=281.15, heat_transfer=2.5)]
DEMAND = ([0, HOUR, 3 * HOUR], [50.0, 75.0, 75.0])  # kg/s at the outlet


def simulate(gas):
    # One engine per process: each gas gets its own engine, one after the other.
    with pelmora.Engine(gas, PIPES) as engine:
        engine.start_steady(inlet_pressure=INLET_PRESSURE, inlet_temperature=INLET_TEMPERATURE,
                            mass_flow=50.0)
        run = engine.run(until=6 * HOUR, dt=60, profiles=[6 * HOUR],
                         inlet=pelmora.Boundary(pressure=INLET_PRESSURE,
                                                temperature=INLET_TEMPERATURE),
                         outlet=pelmora.Boundary(mass_flow=DEMAND))
    return run


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", type=Path,
                        default=Path("pelmora-output/python/ideal-vs-natural"))
    parser.add_argument("--show", action="store_true", help="show the figure in a window")
    args = parser.parse_args()
    if not args.show:
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    natural = pelmora.NaturalGas(COMPOSITION, pressure=INLET_PRESSURE,
                                 temperature=INLET_TEMPERATURE)
    ideal = pelmora.IdealGas(natural.molweight, natural.gamma, natural.viscosity,
                             natural.compressibility)
    print(f"natural gas: M = {natural.molweight:.2f} kg/kmol, at the inlet Z = "
          f"{natural.compressibility:.4f}, isentropic exponent {natural.gamma:.4f}")
    runs = {"natural gas": simulate(natural), "ideal gas, Z fixed at the inlet": simulate(ideal)}

    fig, (pressure, pack, profile) = plt.subplots(3, 1, figsize=(8, 9))
    for label, run in runs.items():
        h = run.history
        pressure.plot(h.time / HOUR, h.outlet_pressure / 1e5, label=label)
        pack.plot(h.time / HOUR, h.line_pack / 1000, label=label)
        (p,) = run.profiles.values()
        profile.plot(p.position / 1000, p.pressure / 1e5, label=label)
        print(f"{label:32s} outlet {h.outlet_pressure[-1] / 1e5:6.2f} bar, line pack "
              f"{h.line_pack[0] / 1000:6.1f} -> {h.line_pack[-1] / 1000:6.1f} t, "
              f"{run.wall_time:.2f} s")
    pressure.set(xlabel="time, h", ylabel="outlet pressure, bar",
                 title="Ideal and natural gas on the same line")
    pack.set(xlabel="time, h", ylabel="line pack, t")
    profile.set(xlabel="distance from the inlet, km", ylabel="pressure at 6 h, bar")
    pressure.legend()
    fig.tight_layout()
    args.output.mkdir(parents=True, exist_ok=True)
    fig.savefig(args.output / "ideal_vs_natural.png", dpi=100)
    print(f"figure in {args.output}/")
    if args.show:
        plt.show()


if __name__ == "__main__":
    main()
