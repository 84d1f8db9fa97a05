"""The package through its public API, against the command-line host and itself."""
import json
import math
import subprocess
from pathlib import Path

import numpy as np
import pytest

import pelmora

SCENARIOS = Path(__file__).resolve().parents[2] / "examples" / "scenarios"
IDEAL = pelmora.IdealGas(molweight=18.0, gamma=1.3, viscosity=1.1e-5, compressibility=0.9)
PIPES = [pelmora.Pipe(2000, 0.5, roughness=4.5e-5, cell_length=100, heat_transfer=2.0),
         pelmora.Pipe(1000, 0.5, inclination=0.01, roughness=4.5e-5, cell_length=100)]
FEED = pelmora.Boundary(pressure=50e5, temperature=300.0)
DEMAND = pelmora.Boundary(mass_flow=([0, 60], [20.0, 30.0]))


def started(gas=IDEAL, line=PIPES):
    engine = pelmora.Engine(gas, line)
    engine.start_uniform(50e5, 300.0, 20.0)
    return engine


@pytest.mark.parametrize("name, endtime", [("demand_cycle", 3600), ("compressor_trip", 900)])
def test_same_results_as_the_c_host(tmp_path, name, endtime):
    # pelmora-run makes the calls from C++; the package must get the same bits.
    s = json.loads((SCENARIOS / f"{name}.json").read_text())
    s.update(endtime=endtime, output={"interval": 0, "profiles": [0, endtime / 2, endtime]})
    (tmp_path / "s.json").write_text(json.dumps(s))
    subprocess.run([pelmora.executable(), "s.json", "--library", pelmora.library_path(),
                    "--output", "out", "--no-plots", "--quiet"], cwd=tmp_path, check=True)
    ends = np.loadtxt(tmp_path / "out" / "ends.csv", delimiter=",", skiprows=1)
    profiles = np.loadtxt(tmp_path / "out" / "profiles.csv", delimiter=",", skiprows=1)

    g, start = s["gas"], s["initial"]
    gas = (pelmora.NaturalGas(g["composition"], pressure=start["a"], temperature=start["b"])
           if g["model"] == "realgas" else
           pelmora.IdealGas(g["molweight"], g["gamma"], g["viscosity"], g["compressibility"]))
    pipes = [pelmora.Pipe(p["length"], p["diameter"], inclination=p["inclination"],
                          roughness=p["roughness"], cell_length=p["celllength"],
                          ambient_temperature=p["ambienttemperature"],
                          heat_transfer=p["heattransfercoefficient"]) for p in s["pipes"]]
    bounds = {}
    for end, b in s["boundary"].items():
        times = [row["time"] for row in b["table"]]
        bounds[end] = pelmora.Boundary(**{q.replace("massflow", "mass_flow"): (
            times, [row[q] for row in b["table"]]) for q in b["fixed"]})
    with pelmora.Engine(gas, pipes) as engine:
        engine.start_steady(mode=start["mode"], a=start["a"], b=start["b"], c=start["c"])
        run = engine.run(endtime, s["timestep"], profiles=s["output"]["profiles"], **bounds)

    h = run.history
    ours = np.column_stack([h[f"{e}_{q}"] for e in ("inlet", "outlet")
                            for q in pelmora.History.END_COLUMNS] + [h.line_pack])
    assert np.array_equal(h.time, ends[:, 0])
    assert np.array_equal(ours[1:], ends[1:, 1:14])  # at t = 0 the host shows the end cells
    ours = np.vstack([np.column_stack([p[q] for q in ("pipe", "position", "pressure",
                                                      "temperature", "mass_flow", "density",
                                                      "velocity", "mach")])
                      for p in run.profiles.values()])
    assert np.array_equal(ours, profiles[:, 1:9])


def test_python_routines_are_the_gas_they_describe_and_their_failures_are_reported():
    r = 8314.3 / IDEAL.molweight * IDEAL.compressibility
    cv = r / (IDEAL.gamma - 1)
    cp, mu = IDEAL.gamma * cv, IDEAL.viscosity
    failing = []

    def rhoe(rho, e):
        if failing and failing.pop():
            raise ZeroDivisionError("routine failed")
        return rho * r * e / cv, e / cv, cp * e / cv, mu

    python = pelmora.PythonGas(lambda p, t: (p / (r * t), cv * t, cp * t, mu), rhoe,
                               lambda p, h: (p * cp / (r * h), h / cp, cv * h / cp, mu),
                               molweight=18.0, gamma=1.3, viscosity=mu, compressibility=0.9)
    # A fixed sub-step keeps both runs on the same sub-steps despite rounding.
    line = pelmora.Line(PIPES, max_time_step=0.05)
    profiles = []
    for gas in (IDEAL, python):
        with started(gas, line) as engine:
            if gas is python:
                before = engine.save()
                failing.append(True)
                with pytest.raises(pelmora.PropertyRoutineError, match="rhoe") as error:
                    engine.step(1, FEED, DEMAND)
                assert isinstance(error.value.__cause__, ZeroDivisionError)
                assert engine.save() == before
            engine.run(30, 1, inlet=FEED, outlet=DEMAND)
            profiles.append(engine.profile())
    for q in ("pressure", "temperature", "density", "mass_flow"):
        ideal, ours = profiles[0][q], profiles[1][q]
        np.testing.assert_allclose(ours, ideal, rtol=0, atol=1e-10 * np.abs(ideal).max())


def test_save_continue_restore_continue_gives_identical_arrays(tmp_path):
    with started() as engine:
        engine.step(10, FEED, DEMAND)
        engine.save().save(tmp_path / "state.npz")
        runs = []
        for _ in range(2):
            run = engine.run(60, 5, inlet=FEED, outlet=DEMAND)
            runs.append((engine.save(), run.history.to_pandas(), engine.profile()))
            engine.restore(pelmora.State.load(tmp_path / "state.npz"))
        (a, ha, pa), (b, hb, pb) = runs
        assert a == b and ha.equals(hb)
        assert all(np.array_equal(pa[k], pb[k]) for k in pa.keys())


def test_a_start_is_the_same_whatever_an_earlier_engine_did():
    profiles = []
    for demand in (DEMAND, pelmora.Boundary(mass_flow=1e4), DEMAND):
        with started() as engine:
            try:
                engine.run(30, 5, inlet=FEED, outlet=demand)
            except pelmora.RefusedError:
                continue  # the engine stopped with a state that had blown up
            profiles.append(engine.profile())
    assert all(np.array_equal(profiles[0][k], profiles[1][k]) for k in profiles[0].keys())


def _state_without_pressure(engine):
    state = engine.save()
    state.arrays["phys.pressure"] = state.arrays["phys.pressure"][1:]
    return state


@pytest.mark.parametrize("misuse, error, match", [
    (lambda e: e.start_uniform([50e5] * 3, 300.0), ValueError, "one per pipe"),
    (lambda e: e.pipe(3), IndexError, "no pipe 3"),
    (lambda e: e.step(1, inlet={"pressure": math.nan}), ValueError, "inlet pressure"),
    (lambda e: e.step(1, outlet=pelmora.Boundary(mass_flow=lambda t: math.inf)), ValueError,
     "outlet mass_flow"),
    (lambda e: e.restore(_state_without_pressure(e)), ValueError, "phys.pressure"),
    (lambda e: pelmora.Engine(IDEAL, PIPES), pelmora.EngineInUseError, "one engine per process"),
])
def test_misuse_is_refused_before_the_engine_is_called(misuse, error, match):
    with started() as engine:
        engine.step(1, FEED, DEMAND)
        before = engine.save()
        with pytest.raises(error, match=match):
            misuse(engine)
        assert engine.save() == before


def test_engine_codes_become_warnings_and_exceptions():
    with started() as engine:
        with pytest.warns(pelmora.FlooredWarning, match="floors"):
            engine.start_uniform(50.0, 300.0)
        engine.start_uniform(50e5, 300.0, 20.0)
        with pytest.raises(pelmora.RefusedError, match="transientpipes"):
            engine.step(1, FEED, pelmora.Boundary(mass_flow=1e4))
        with pytest.raises(pelmora.SteadyStateError, match=r"status 3\): the Mach number"):
            engine.start_steady(inlet_pressure=1e5, inlet_temperature=300.0, mass_flow=1e4)
