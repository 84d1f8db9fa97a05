"""The engine's whole state as numpy arrays, through the eight exchange calls.

Items are named after the exchange calls' arguments and grouped by their
count: one value, one per pipe, per conserved variable, per face, per cell,
or per variable and cell.
"""
import numpy as np

_I, _D = np.int32, np.float64


def _items(group, dtype, names, pairs=False):
    ends = ("1", "2") if pairs else ("",)
    return [(name + e, dtype, group) for name in names.split() for e in ends]


FLUID = (_items("one", _D, "molweight gamma viscosity cp cv density energy enthalpy pressure "
                "temperature soundspeed") + _items("one", _I, "model")
         + _items("one", _D, "extra1 extra2"))
HYPER = (_items("one", _I, "nvars ncells nfaces currentcell currentface atinletface atoutletface")
         + _items("one", _D, "simulationtime")
         + _items("variable", _D, "inletbcgradient inletbcvalue inletbcweight outletbcgradient "
                  "outletbcvalue outletbcweight")
         + _items("face", _D, "faceposition facelength inversefacelength")
         + _items("cell", _D, "cellcentre celllength inversecelllength"))
HISTORY = _items("conserved", _D, "previous current")
PHYS = (_items("one", _I, "numberofpipes")
        + _items("pipe", _I, "pipepassflag firstcell lastcell inletpressurefixed "
                 "outletpressurefixed inlettemperaturefixed outlettemperaturefixed "
                 "inletmassflowfixed outletmassflowfixed")
        + _items("one", _D, "maximumtimestep")
        + _items("one", _D, "endpressure enddensity endvelocity endenthalpy midbcpressure "
                 "midbctemperature midbcmassflow lastbcpressure lastbctemperature lastbcmassflow",
                 pairs=True)
        + _items("pipe", _D, "lastinletpressure lastoutletpressure inletpressure outletpressure "
                 "lastinlettemperature lastoutlettemperature inlettemperature outlettemperature "
                 "lastinletmassflow lastoutletmassflow inletmassflow outletmassflow "
                 "midinletpressure midoutletpressure midinlettemperature midoutlettemperature "
                 "midinletmassflow midoutletmassflow")
        + _items("variable", _D, "inletghost outletghost")
        + _items("face", _D, "facediameter facearea faceinclination")
        + _items("cell", _D, "celldiameter cellarea areagradient cellinclination "
                 "relativeroughness pressure temperature soundspeed density viscosity "
                 "internalenergy totalenergy enthalpy totalenthalpy velocity massflowrate "
                 "machnumber ambienttemperature heattransfercoefficient densitychange "
                 "temperaturechange massflowdeviation")
        + _items("one", _D, "endtemperature endmassflow endenergy endsoundspeed endmachnumber "
                 "bcpressure bcdensity bcvelocity bcenthalpy bctemperature bcmassflowrate "
                 "bcinternalenergy bcsoundspeed bcmachnumber", pairs=True)
        + _items("one", _I, "bcloaded", pairs=True))
assert (len(FLUID), len(HYPER), len(PHYS)) == (14, 20, 106)

# (prefix, get call, set call, items) in the order a restore goes.
GROUPS = (("fluid", "getfluidparams", "setfluidparams", FLUID),
          ("hyper", "gethyperparams", "sethyperparams", HYPER),
          ("history", "getuhistory", "setuhistory", HISTORY),
          ("phys", "getphysparams", "setphysparams", PHYS))


def counts(shape):
    """Element count per group for shape (nvars, ncells, nfaces, npipes)."""
    nvars, ncells, nfaces, npipes = (max(int(n), 0) for n in shape)
    return {"one": 1, "pipe": npipes, "variable": nvars, "face": nfaces, "cell": ncells,
            "conserved": nvars * ncells}


def shape(lib):
    """getshape: (nvars, ncells, nfaces, npipes)."""
    out = np.zeros(4, dtype=np.int32)
    lib.getshape(*(out.ctypes.data + 4 * k for k in range(4)))
    return tuple(int(n) for n in out)


def get(lib):
    """Every item of the four get calls, as {"prefix.name": array}."""
    n = counts(shape(lib))
    arrays = {}
    for prefix, getter, _, items in GROUPS:
        buffers = [np.zeros(n[group], dtype=dtype) for _, dtype, group in items]
        getattr(lib, getter)(*(b.ctypes.data for b in buffers))
        arrays.update((f"{prefix}.{name}", b) for (name, _, _), b in zip(items, buffers))
    return arrays


def check(arrays, engine_shape):
    """Raises ValueError unless `arrays` is a whole state of a line of engine_shape."""
    missing = [f"{p}.{name}" for p, _, _, items in GROUPS for name, _, _ in items
               if f"{p}.{name}" not in arrays]
    if missing:
        raise ValueError(f"not a whole engine state: {len(missing)} items missing, "
                         f"e.g. {missing[0]}")
    saved = tuple(int(arrays[k][0]) for k in ("hyper.nvars", "hyper.ncells", "hyper.nfaces",
                                               "phys.numberofpipes"))
    if saved != engine_shape:
        raise ValueError("the state is of a line with {1} cells, {2} faces and {3} pipes "
                         "({0} variables); the engine's line has {5} cells, {6} faces and {7} "
                         "pipes ({4}): restore into the line it was saved from"
                         .format(*saved, *engine_shape))
    n = counts(saved)
    for p, _, _, items in GROUPS:
        for name, dtype, group in items:
            a = arrays[f"{p}.{name}"]
            if a.dtype != dtype or a.shape != (n[group],):
                raise ValueError(f"state item {p}.{name} has {a.shape} {a.dtype} elements, "
                                 f"expected ({n[group]},) {np.dtype(dtype)}")


def put(lib, arrays):
    """The four set calls with a state that check() accepted."""
    a = {k: np.ascontiguousarray(v) for k, v in arrays.items()}
    address = {k: v.ctypes.data for k, v in a.items()}
    nvars, ncells, nfaces = (address[f"hyper.{k}"] for k in ("nvars", "ncells", "nfaces"))
    for prefix, _, setter, items in GROUPS:
        lead = {"history": (nvars, ncells), "phys": (nvars, nfaces, ncells)}.get(prefix, ())
        getattr(lib, setter)(*lead, *(address[f"{prefix}.{name}"] for name, _, _ in items))


def clear_network_ends(lib):
    """Sets the network-end state (what the getbc* queries return) to the zeros of a fresh
    process. loadinitialconditions leaves it as the last job left it, and the first step
    uses it (the Mach number recorded at an end decides whether an imposed pressure
    applies, its speeds bound the first sub-step)."""
    arrays = get(lib)
    for name, _, _ in PHYS:
        if name.startswith("bc") and not name.startswith("bcloaded"):
            arrays["phys." + name][:] = 0
    put(lib, arrays)
