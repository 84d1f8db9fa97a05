"""Sweeps: the sweep file's expansion and pointers, and a sweep on a local cluster."""
import json
import subprocess
from pathlib import Path

import pytest

import pelmora
from pelmora.sweep import FIGURES, PointerError, Sweep, SweepError, main, set_pointer

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
SCENARIO = EXAMPLES / "scenarios" / "demand_cycle.json"


def test_cases_and_grid_expand_in_order_with_names_from_the_values():
    base = {"pipes": [{"length": 1, "roughness": 1}, {"length": 2, "roughness": 1}],
            "a/b": {"m~n": [0, 0]}}
    sweep = Sweep({"name": "s", "base": base,
                   "cases": [{"name": "first", "set": {"/pipes/1/length": 5}}, {}],
                   "grid": {"/pipes/0/roughness": [1e-5, 2e-5], "/pipes/1/roughness": [3],
                            "/a~1b/m~0n/1": ["x y", [1]]}})
    assert [c.name for c in sweep.cases] == [
        "first", "case-2",
        "pipes.0.roughness=1e-05,pipes.1.roughness=3,m_0n.1=x_y",
        "pipes.0.roughness=1e-05,pipes.1.roughness=3,m_0n.1=#2",
        "pipes.0.roughness=2e-05,pipes.1.roughness=3,m_0n.1=x_y",
        "pipes.0.roughness=2e-05,pipes.1.roughness=3,m_0n.1=#2"]
    assert sweep.cases[0].scenario["pipes"][1]["length"] == 5
    assert sweep.cases[1].scenario == base
    last = sweep.cases[-1].scenario
    assert (last["pipes"][0]["roughness"], last["pipes"][1]["roughness"], last["a/b"]) == (
        2e-5, 3, {"m~n": [0, [1]]})
    assert base["pipes"][0]["roughness"] == 1  # each case works on its own copy


def test_the_example_sweep_leads_into_its_scenario():
    sweep = Sweep.load(EXAMPLES / "sweeps" / "demand_study.json")
    assert len(sweep.cases) == 7 and not [c.error for c in sweep.cases if c.error]


@pytest.mark.parametrize("pointer, error", [
    ("/pipes/1/length", "/pipes has no element 1 (it has 1)"),
    ("/pipes/01/length", "/pipes is an array and '01' is no index"),
    ("/pipes/-", "'-' is no index"),
    ("/gas/molar/mass", "/gas has no member 'molar'"),
    ("/name/x", "/name is \"s\", not an object or array"),
    ("pipes/0", "starts with '/'"),
    ("/a~2b", "'~' must be followed by 0 or 1"),
])
def test_pointers_that_do_not_lead_into_the_scenario(pointer, error):
    with pytest.raises(PointerError, match=error.replace("(", r"\(").replace(")", r"\)")):
        set_pointer({"name": "s", "gas": {}, "pipes": [{}]}, pointer, 1)


def test_pointer_escapes_and_new_members():
    doc = {"~1": {}, "a/b": 0}
    for pointer in ("/~01/new", "/a~1b"):  # "~01" is "~1": ~1 is unescaped first
        set_pointer(doc, pointer, 7)
    assert doc == {"~1": {"new": 7}, "a/b": 7}


@pytest.mark.parametrize("change, error", [
    ({"name": ""}, "name: a non-empty string"),
    ({"grid": {}}, "no cases"),
    ({"cases": [{"name": "x"}, {"name": "x"}]}, r"names used twice: \['x'\]"),
    ({"cases": [{"name": "../x"}]}, r"cases\[0\].name: a file name"),
    ({"grid": {"/a": []}}, "grid: an object of pointer"),
    ({"grid": {"a": [1]}}, "starts with '/'"),
    ({"output": {"keep": "csv"}}, "output.keep: one of"),
    ({"plot": {"figure": "mach_max", "x": "/b"}}, "plot: 'figure'"),
    ({"base": "missing.json"}, "base: cannot read the scenario missing.json"),
])
def test_sweep_file_errors_name_the_field(change, error):
    with pytest.raises(SweepError, match=error):
        Sweep({"name": "s", "base": {}, "grid": {"/a": [1]}, **change})


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # Dask's own use of tornado
def test_a_sweep_on_two_workers_gives_pelmora_runs_figures_and_reruns_nothing(
        tmp_path, monkeypatch, capsys):
    base = json.loads(SCENARIO.read_text())
    base.update(endtime=1800, output={"interval": 600, "profiles": [1800]})
    roughness, flow = "/pipes/0/roughness", "/boundary/outlet/table/0/massflow"
    (tmp_path / "s.json").write_text(json.dumps({
        "name": "t", "base": base, "grid": {flow: [50, 65], roughness: [2e-5, 4e-5]},
        "cases": [{"name": "no-such-pipe", "set": {"/pipes/1/length": 1000}},
                  {"name": "overdrawn", "set": {flow: 1e4}},
                  {"name": "wrong-type", "set": {"/endtime": "soon"}}],
        "plot": {"figure": "outlet_pressure_min_Pa", "x": flow, "lines": roughness}}))
    monkeypatch.chdir(tmp_path)
    assert main(["s.json", "--workers", "2", "--output", "out"]) == 4
    out = tmp_path / "out"
    rows = {r["case"]: r for r in json.loads((out / "results.json").read_text())["cases"]}
    lines = (out / "results.csv").read_text().splitlines()
    assert len(lines) == 8 and lines[0].split(",")[:5] == [
        "case", "/pipes/1/length", flow, "/endtime", roughness]
    assert {n: (r["status"], r["reason"][:40]) for n, r in rows.items() if r["reason"]} == {
        "no-such-pipe": ("failed", "/pipes/1/length: /pipes has no element 1"),
        "overdrawn": ("stopped", "the engine cut transientpipes short with"),
        "wrong-type": ("failed", "scenario.json: endtime: expected a posit")}
    assert rows["overdrawn"]["codes"] == {"3": 1}
    assert [w["code"] for w in rows["overdrawn"]["warnings"]] == ["flow-above-choke"]
    assert (out / "plot.png").stat().st_size > 0

    completed = [r for r in rows.values() if r["status"] == "completed"]
    assert len(completed) == 4
    for row in completed:  # the same scenario through pelmora-run alone
        folder = out / "cases" / row["case"]
        scenario = json.loads((folder / "scenario.json").read_text())
        assert (scenario["boundary"]["outlet"]["table"][0]["massflow"],
                scenario["pipes"][0]["roughness"]) == (row[flow], row[roughness])
        subprocess.run([pelmora.executable(), "scenario.json", "--library",
                        pelmora.library_path(), "--output", "alone", "--quiet"],
                       cwd=folder, check=True)
        alone = json.loads((folder / "alone" / "summary.json").read_text())
        assert {c: row[c] for c in FIGURES} == {
            c: alone[path[0]] if len(path) == 1 else alone[path[0]][path[1]]
            for c, path in FIGURES.items()}

    records = {p: p.stat().st_mtime_ns for p in out.glob("cases/*/case.json")}
    capsys.readouterr()
    assert main(["s.json", "--output", "out"]) == 4
    assert "(0 run now, 7 from earlier runs)" in capsys.readouterr().out
    assert records == {p: p.stat().st_mtime_ns for p in out.glob("cases/*/case.json")}
