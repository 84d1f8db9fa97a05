"""Pelmora from Python: compressible gas flow through a pipeline.

    import pelmora

    gas = pelmora.IdealGas(molweight=18.0, gamma=1.3, viscosity=1.1e-5, compressibility=0.9)
    pipe = pelmora.Pipe(length=100e3, diameter=0.6, roughness=2e-5, cell_length=1000,
                        ambient_temperature=283.15, heat_transfer=2.0)
    with pelmora.Engine(gas, [pipe]) as engine:
        engine.start_steady(inlet_pressure=60e5, inlet_temperature=288.15, mass_flow=60)
        run = engine.run(until=3600, dt=60,
                         inlet=pelmora.Boundary(pressure=60e5, temperature=288.15),
                         outlet=pelmora.Boundary(mass_flow=([0, 3600], [60, 80])))
        print(run.history.outlet_pressure[-1], engine.line_pack())

The package drives the engine library (libpelmora.so, pelmora.dll) through
its C interface with ctypes. The library holds one engine per process, so
one Engine can be live at a time; run independent cases in separate
processes. Units are SI throughout.
"""
from ._library import executable
from .engine import Boundary, Engine, PipeView, ProgressBar, State
from .errors import (Code, End, EngineInUseError, FlooredWarning, NotConvergedWarning,
                     PelmoraError, PelmoraWarning, PropertyRoutineError, RefusedError,
                     ReynoldsCappedWarning, SteadyStateError, SteadyStatus)
from .gas import CompiledGas, IdealGas, NaturalGas, PythonGas
from .line import Line, Pipe
from .results import EndState, Ends, History, Profile, Run

__version__ = "0.1.0"


def library_path(library=None):
    """The engine library the package loads (argument, PELMORA_LIBRARY, its own copy)."""
    from ._library import find
    return find("pelmora", library, "PELMORA_LIBRARY")


__all__ = ["Boundary", "Code", "CompiledGas", "End", "EndState", "Ends", "Engine",
           "EngineInUseError", "FlooredWarning", "History", "IdealGas", "Line", "NaturalGas",
           "NotConvergedWarning", "PelmoraError", "PelmoraWarning", "Pipe", "PipeView",
           "Profile", "ProgressBar", "PropertyRoutineError", "PythonGas", "RefusedError",
           "ReynoldsCappedWarning", "Run", "State", "SteadyStateError", "SteadyStatus",
           "executable", "library_path"]
