"""The engine: one per process, driven in host steps."""
import bisect
import ctypes
import gc
import math
import os
import sys
import threading
import time as _clock
import warnings
import weakref

import numpy as np

from . import _library, state as _state
from .errors import (WARNINGS, Code, EngineInUseError, PelmoraError, PropertyRoutineError,
                     RefusedError, SteadyStateError)
from .gas import IdealGas, PythonGas
from .line import Line
from .results import QUANTITIES, Ends, EndState, History, Profile, Run

_PACKAGE = os.path.dirname(os.path.abspath(__file__))
_END_NAMES = {1: "inlet", 2: "outlet"}
_BOUNDARY = ("pressure", "temperature", "mass_flow")

ONE_ENGINE = (
    "a Pelmora engine is already live in this process (created at {where}). The engine "
    "library keeps one engine per process: its pipes, cells and gas are process-wide, with "
    "no handle to tell two apart, so a second engine would silently overwrite the first. "
    "Close the first one (engine.close(), or create it in a 'with' block; "
    "pelmora.Engine.live() returns it), or run independent cases in separate processes "
    "(multiprocessing, concurrent.futures.ProcessPoolExecutor, or the package's sweeps), "
    "one engine in each.")

BUSY = ("the engine is already inside a call: it is not thread safe, and a property routine "
        "must not call back into it. Call it from one thread at a time.")

# Why each call may be refused (code 3), for the exception's message.
REASONS = {
    "loadfluid": "the gas description is not usable",
    "loadpipedata": "the pipe data is not usable, or its cells do not fit 32-bit numbering "
                    "or memory",
    "loadwalldata": "the wall data is not usable",
    "maxtimestep": "the limit is not a positive number",
    "loadinitialconditions": "a pressure or temperature is not a positive finite number, or a "
                             "mass flow not finite",
    "transientpipes": "the step was refused (a layout that cannot be stepped) or cut short "
                      "(a state that is not a number, a stability limit that collapsed, or "
                      "the sub-step budget spent); the state is that at the end of the last "
                      "whole sub-step",
    "approxchokepressure": "a value is not a positive finite number, or the iteration did "
                           "not converge",
    "exchange": "the state does not fit the line's arrays",
}
REASONS["transientpipe"] = REASONS["steadypipes"] = REASONS["steadypipe"] = \
    REASONS["transientpipes"]


def _stacklevel():
    """The stack level of the first caller outside the package, for warnings."""
    frame, level = sys._getframe(1), 1
    while frame is not None and frame.f_code.co_filename.startswith(_PACKAGE):
        frame, level = frame.f_back, level + 1
    return level


def _number(name, value, positive=False):
    value = float(value)
    if not math.isfinite(value) or (positive and value <= 0):
        kind = "a positive finite number" if positive else "a finite number"
        raise ValueError(f"{name} must be {kind}, got {value!r}")
    return value


class Boundary:
    """Values imposed at one end. Each of pressure (Pa), temperature (K) and
    mass_flow (kg/s, positive from inlet to outlet) is either left out (None:
    not imposed; it follows from the cells next to the end) or given as a
    number, a function of time t (s), or a table (times, values) read by
    linear interpolation and held beyond its first and last rows.

    The engine imposes a pressure only while the flow at the end is subsonic,
    and a temperature only where gas enters."""

    def __init__(self, pressure=None, temperature=None, mass_flow=None):
        self.values = {"pressure": pressure, "temperature": temperature, "mass_flow": mass_flow}
        for name, value in self.values.items():
            if isinstance(value, (tuple, list)):
                times, rows = (np.array(v, dtype=np.float64) for v in value)
                if times.ndim != 1 or times.shape != rows.shape or not len(times) or \
                        not np.all(np.diff(times) > 0):
                    raise ValueError(f"the {name} table needs times rising strictly and one "
                                     "value per time")
                self.values[name] = (times.tolist(), rows.tolist())
            elif value is not None and not callable(value):
                self.values[name] = float(value)
        self._specs = tuple(self.values.values())

    @classmethod
    def of(cls, given):
        if isinstance(given, Boundary):
            return given
        if isinstance(given, dict):
            return cls(**given)
        raise TypeError(f"a boundary is a pelmora.Boundary or a dict of pressure, temperature "
                        f"and mass_flow, not {type(given).__name__}")

    def at(self, t):
        """The values at time t, None where not imposed."""
        p, T, m = self._specs
        return _value(p, t), _value(T, t), _value(m, t)

    def __repr__(self):
        given = ", ".join(f"{k}={v!r}" for k, v in self.values.items() if v is not None)
        return f"Boundary({given})"


def _value(given, t):
    if given is None or given.__class__ is float:
        return given
    if given.__class__ is tuple:
        # The row after t, then the same interpolation as the command-line host.
        times, rows = given
        j = bisect.bisect_right(times, t)
        if j == 0:
            return rows[0]
        if j == len(times):
            return rows[-1]
        f = (t - times[j - 1]) / (times[j] - times[j - 1])
        return rows[j - 1] + f * (rows[j] - rows[j - 1])
    return float(given(t))


class ProgressBar:
    """A text progress bar on stderr, redrawn at most ten times a second."""

    def __init__(self, start, end, stream=None):
        self.start, self.end, self.stream, self.last = start, end, stream or sys.stderr, 0.0

    def __call__(self, t):
        f = min(1.0, max(0.0, (t - self.start) / max(self.end - self.start, 1e-300)))
        self.show(f, f"t = {t:g} s", t >= self.end)

    def show(self, fraction, text, final=False):
        """Draws the bar filled to `fraction` with `text` after it; a final bar
        is always drawn and ends the line."""
        now = _clock.monotonic()
        if not final and now - self.last < 0.1:
            return
        self.last = now
        filled = int(fraction * 40)
        self.stream.write(f"\r[{'#' * filled}{'.' * (40 - filled)}] {fraction:4.0%}  {text}\x1b[K")
        if final:
            self.stream.write("\n")
        self.stream.flush()


class Engine:
    """The engine with a gas and a line loaded, driven in host steps.

    Only one engine can be live in a process (the library has one
    process-wide state); close it with close() or use it in a `with` block.
    Times are in s from the starting state; every value is SI.
    """

    _live = None  # weak reference to the live engine

    def __init__(self, gas, line, *, library=None):
        other = Engine.live()
        if other is not None:
            gc.collect()  # an engine no longer referenced may only wait for the collector
            other = Engine.live()
        if other is not None:
            raise EngineInUseError(ONE_ENGINE.format(where=other._where))
        caller = sys._getframe(1)
        self._where = f"{caller.f_code.co_filename}:{caller.f_lineno}"
        self._lib = _library.engine_library(library)
        self._lock = threading.Lock()
        self._code = ctypes.c_int32()
        self._coderef = ctypes.byref(self._code)
        self._out = ctypes.c_double()
        self._outref = ctypes.byref(self._out)
        self._getbc = {q: getattr(self._lib, "getbc" + s) for q, s in QUANTITIES.items()}
        self._dt = ctypes.c_double()
        self.closed = False
        self._gas = None
        Engine._live = weakref.ref(self)
        self._release = weakref.finalize(self, self._lib.freepipememory)
        try:
            self.gas = gas
            self.line = line
        except BaseException:
            self.close()
            raise

    def __repr__(self):
        state = "closed" if self.closed else f"t = {self.time:g} s"
        return (f"<Engine: {len(getattr(self, 'pipes', ()))} pipes, "
                f"{getattr(self, 'ncells', 0)} cells, {self._gas!r}, "
                f"{state}>")

    @classmethod
    def live(cls):
        """The live engine of this process, or None."""
        engine = cls._live() if cls._live else None
        return engine if engine is not None and not engine.closed else None

    def close(self):
        """Releases the line's memory; the process may then create another engine."""
        if not self.closed:
            self.closed = True
            self._release()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- calls into the library -----------------------------------------------------------

    def _calling(self, call, evaluates=False, codes=None):
        """A context that holds the engine for one or more C calls (see _Call)."""
        return _Call(self, call, evaluates and isinstance(self._gas, PythonGas), codes)

    def _report(self, call, before, codes):
        """After C calls: a failed Python property routine (the state from before the calls
        put back), then the engine's code: 3 raises RefusedError, 1, 2 and 4 warn (or are
        counted in `codes`)."""
        failure = self._gas._take_failure() if before else None
        if failure:
            _state.put(self._lib, before[0])
            self._latest = before[1]
            self._lib.geterrorcode(self._coderef)
            routine, a, b, exc = failure
            if not isinstance(exc, Exception):
                raise exc
            raise PropertyRoutineError(
                f"the Python property routine {routine}({a!r}, {b!r}) raised "
                f"{type(exc).__name__}: {exc}; the engine is back in its state before "
                f"{call}") from exc
        self._lib.geterrorcode(self._coderef)
        code = self._code.value
        if code == Code.REFUSED:
            raise RefusedError(call, REASONS.get(call, "invalid input or state"))
        if code in WARNINGS:
            if codes is None:
                warnings.warn(WARNINGS[code](call), stacklevel=_stacklevel())
            else:
                codes.append(code)

    # ---- gas and line -----------------------------------------------------------------------

    @property
    def gas(self):
        return self._gas

    @gas.setter
    def gas(self, gas):
        if not isinstance(gas, IdealGas):
            raise TypeError("gas must be a pelmora.IdealGas, PythonGas, CompiledGas or NaturalGas")
        context, pt, rhoe, ph = gas._routines()
        reals = [ctypes.c_double(v) for v in (gas.molweight, gas.gamma, gas.viscosity,
                                               gas.compressibility)]
        with self._calling("loadfluid"):
            self._lib.loadfluid(context, pt, rhoe, ph, *map(ctypes.byref, reals),
                                ctypes.byref(ctypes.c_int32(gas.model)))
        self._gas = gas

    @property
    def line(self):
        return self._line

    @line.setter
    def line(self, line):
        """Loads a line, replacing the one before: a starting state is needed again."""
        line = line if isinstance(line, Line) else Line(line)
        arrays = line.arrays("length", "inlet_diameter", "outlet_diameter", "inclination",
                             "roughness", "cell_length", "ambient_temperature",
                             "heat_transfer")
        n = ctypes.c_int32(len(line.pipes))
        with self._calling("loadpipedata"):
            self._lib.loadpipedata(ctypes.byref(n), *(a.ctypes.data for a in arrays[:6]))
        with self._calling("loadwalldata"):
            self._lib.loadwalldata(*(a.ctypes.data for a in arrays[6:]))
        self._line, self.time, self._started = line, 0.0, False
        self._max_time_step = math.inf  # the engine's limit after a new line
        self._latest = {}  # (pipe or 0 for the network, end) -> values last loaded
        if line.max_time_step is not None:
            self.max_time_step = line.max_time_step
        self._layout()

    def _layout(self):
        """Cells per pipe, and cell centres and lengths along the line."""
        n = ctypes.c_int32()
        counts = []
        for pipe in range(1, len(self._line.pipes) + 1):
            self._lib.getnumberofcells(pipe, ctypes.byref(n))
            counts.append(n.value)
        self._lib.gettotalnumberofcells(ctypes.byref(n))
        self.ncells = n.value
        arrays = _state.get(self._lib)
        self.cell_lengths = arrays["hyper.celllength"]
        self.pipe_of_cell = np.repeat(np.arange(1, len(counts) + 1), counts)
        # The engine counts cell centres from the inlet of each pipe.
        (lengths,) = self._line.arrays("length")
        starts = np.concatenate(([0.0], np.cumsum(lengths)[:-1]))
        self.positions = arrays["hyper.cellcentre"] + starts[self.pipe_of_cell - 1]
        first = np.concatenate(([0], np.cumsum(counts)))
        self.pipes = tuple(PipeView(self, k + 1, int(first[k]), int(first[k + 1]))
                           for k in range(len(counts)))
        self._conserved = np.empty((2, 3 * self.ncells))
        self._conserved_at = (self._conserved[0].ctypes.data, self._conserved[1].ctypes.data)

    def pipe(self, number):
        """Pipe `number` (1-based, as the engine counts) of the line."""
        if not 1 <= number <= len(self.pipes):
            raise IndexError(f"there is no pipe {number}: the line has pipes 1 to "
                             f"{len(self.pipes)}")
        return self.pipes[number - 1]

    @property
    def max_time_step(self):
        return self._max_time_step

    @max_time_step.setter
    def max_time_step(self, dt):
        dt = float(dt)
        if not dt > 0:
            raise ValueError(f"max_time_step must be a positive number (inf for none), got {dt}")
        with self._calling("maxtimestep"):
            self._lib.maxtimestep(ctypes.byref(ctypes.c_double(dt)))
        self._max_time_step = dt

    # ---- starting states -------------------------------------------------------------------

    def start_uniform(self, pressure, temperature, mass_flow=0.0):
        """Every pipe at a uniform state: pressure (Pa), temperature (K), mass flow (kg/s),
        each one number or one per pipe."""
        n = len(self.pipes)
        values = []
        for name, v, positive in (("pressure", pressure, True),
                                  ("temperature", temperature, True),
                                  ("mass_flow", mass_flow, False)):
            a = np.array(np.broadcast_to(np.asarray(v, dtype=np.float64), (n,))) \
                if np.ndim(v) == 0 or np.shape(v) == (n,) else None
            if a is None:
                raise ValueError(f"{name} needs one value or {n} (one per pipe), got {np.shape(v)}")
            for x in a:
                _number(name, x, positive)
            values.append(a)
        with self._calling("loadinitialconditions", evaluates=True):
            self._lib.loadinitialconditions(*(a.ctypes.data for a in values))
        # A start as in a fresh process, whatever an earlier engine left at the ends.
        with self._calling("exchange"):
            _state.clear_network_ends(self._lib)
        self._started, self.time, self._latest = True, 0.0, {}

    # Which end's pressure and temperature and which mass flow determine each mode.
    _MODES = {("inlet_pressure", "inlet_temperature", "mass_flow"): 1,
              ("outlet_pressure", "outlet_temperature", "mass_flow"): 2,
              ("outlet_pressure", "inlet_temperature", "mass_flow"): 3,
              ("inlet_pressure", "outlet_temperature", "mass_flow"): 4,
              ("inlet_pressure", "inlet_temperature", "outlet_pressure"): 5,
              ("outlet_pressure", "outlet_temperature", "inlet_pressure"): 6}

    def start_steady(self, *, inlet_pressure=None, inlet_temperature=None, outlet_pressure=None,
                     outlet_temperature=None, mass_flow=None, mode=None, a=None, b=None, c=None):
        """A steady state of the line (uniform bore only), by what is known:

          inlet_pressure, inlet_temperature, mass_flow          march from the inlet
          outlet_pressure, outlet_temperature, mass_flow        march from the outlet
          outlet_pressure, inlet_temperature, mass_flow >= 0    find the inlet pressure
          inlet_pressure, outlet_temperature, mass_flow <= 0    find the outlet pressure
          inlet_pressure, inlet_temperature, outlet_pressure    find a flow towards the outlet
          outlet_pressure, outlet_temperature, inlet_pressure   find a flow towards the inlet

        or mode (1..6) with the engine's a, b, c. Returns the end states; raises
        SteadyStateError when there is no steady state."""
        given = {"inlet_pressure": inlet_pressure, "inlet_temperature": inlet_temperature,
                 "outlet_pressure": outlet_pressure, "outlet_temperature": outlet_temperature,
                 "mass_flow": mass_flow}
        given = {k: v for k, v in given.items() if v is not None}
        if mode is None:
            for names, m in self._MODES.items():
                if set(names) == set(given):
                    mode, (a, b, c) = m, (given[k] for k in names)
            if mode is None:
                raise ValueError("start_steady needs one of these sets of values: " + "; ".join(
                    ", ".join(names) for names in self._MODES) + f" (got {', '.join(given)})")
        elif given or mode not in range(1, 7) or None in (a, b, c):
            raise ValueError("give mode (1..6) with a, b and c, or the named values alone")
        a, b, c = (_number(k, v) for k, v in zip("abc", (a, b, c)))
        status = ctypes.c_int32(-1)
        with self._calling("steadystate", evaluates=True):
            self._lib.steadystate(mode, a, b, c, ctypes.byref(status))
        if status.value != 0:
            raise SteadyStateError(mode, status.value)
        self._started, self.time, self._latest = True, 0.0, {}
        return self.ends()

    # ---- stepping ----------------------------------------------------------------------------

    def _require_started(self):
        if not self._started:
            raise PelmoraError("the line has no starting state yet: call start_uniform(...) or "
                               "start_steady(...), or restore(...) a saved state")

    def _values(self, pipe, end, given, t):
        """The six loadbc values for an end: given values at time t, not-imposed ones at the
        end's current value; the last values loaded when nothing is given."""
        name = _END_NAMES[end] if not pipe else f"{_END_NAMES[end]} of pipe {pipe}"
        if given is None:
            if (pipe, end) not in self._latest:
                raise ValueError(f"no boundary values for the {name} yet: give them "
                                 f"(e.g. {_END_NAMES[end]}=pelmora.Boundary(pressure=...)) "
                                 "on the first step")
            return self._latest[(pipe, end)]
        p, T, m = values = (given if given.__class__ is Boundary else Boundary.of(given)).at(t)
        if not ((p is None or 0 < p < math.inf) and (T is None or 0 < T < math.inf)
                and (m is None or -math.inf < m < math.inf)):
            for q, v in zip(_BOUNDARY, values):
                if v is not None:
                    _number(f"the {name} {q} at t = {t} s", v, q != "mass_flow")
        if p is None or T is None or m is None:
            now = self._current_end(pipe, end, _BOUNDARY)
            p = now[0] if p is None else p
            T = now[1] if T is None else T
            m = now[2] if m is None else m
        return p, T, m, int(values[0] is not None), int(values[1] is not None), \
            int(values[2] is not None)

    def _current_end(self, pipe, end, names=tuple(QUANTITIES)):
        """The values of `names` (pressure and temperature first) at an end now: the engine's
        end state where it has one, else the cell next to the end."""
        if not pipe:
            values = []
            for q in names:
                self._getbc[q](end, self._outref)
                values.append(self._out.value)
            if values[0] > 0 and values[1] > 0:
                return values
        view = self.pipes[(pipe or (1 if end == 1 else len(self.pipes))) - 1]
        profile = view.profile()
        cell = 0 if end == 1 else -1
        return [float(profile[q][cell]) for q in names]

    def _load(self, values, pipe=0):
        """loadbc (or loadbcpipe) for both ends. The first values for an end since the
        starting state are loaded twice, so they hold from the start of the next step
        (no ramp), whatever was loaded before the starting state."""
        for end, v in zip((1, 2), values):
            for _ in range(1 if (pipe, end) in self._latest else 2):
                if pipe:
                    self._lib.loadbcpipe(pipe, end, *v)
                else:
                    self._lib.loadbc(end, *v)
            self._latest[(pipe, end)] = v

    def set_boundary(self, inlet=None, outlet=None):
        """Loads boundary values for the ends now (see step); an end not given keeps the
        values last loaded for it."""
        self._require_started()
        values = [self._values(0, e, g, self.time) for e, g in ((1, inlet), (2, outlet))]
        with self._calling("loadbc"):
            self._load(values)

    def step(self, dt, inlet=None, outlet=None, *, _until=None, _codes=None):
        """Advances the line by one host step of dt seconds.

        inlet, outlet: a Boundary (or a dict with the same keywords) giving the values at
        the end of the step; the engine ramps linearly to them from the values loaded
        before. A quantity not imposed takes the current value at that end (it has no
        effect but keeps a later switch to imposing it smooth). An end not given keeps
        the values last loaded for it."""
        dt = _number("dt", dt, positive=True)
        self._require_started()
        t = self.time + dt if _until is None else _until
        values = self._values(0, 1, inlet, t), self._values(0, 2, outlet, t)
        self._dt.value = dt
        with self._calling("transientpipes", evaluates=True, codes=_codes):
            self._load(values)
            self._lib.transientpipes(ctypes.byref(self._dt))
        self.time = t

    def settle(self, duration, inlet=None, outlet=None):
        """Marches the line under fixed boundary values (loaded as in set_boundary) for
        `duration` seconds towards a steady state; returns the time marched. The clock
        does not move."""
        duration = _number("duration", duration, positive=True)
        self._require_started()
        values = [self._values(0, e, g, self.time) for e, g in ((1, inlet), (2, outlet))]
        elapsed = ctypes.c_double()
        with self._calling("steadypipes", evaluates=True):
            self._load(values)
            self._lib.steadypipes(ctypes.byref(ctypes.c_double(duration)), ctypes.byref(elapsed))
        return elapsed.value

    def run(self, until, dt, *, inlet=None, outlet=None, every=None, profiles=(),
            progress=False):
        """Host steps of dt seconds up to time `until` (s), with the boundary values of
        inlet and outlet (as in step; tables and functions of time are read at the end of
        each step). A step also ends at each time in `profiles`, where a profile is taken.
        The values at the start load first, so the first step ramps from them. The
        history is recorded every host step, or every `every` seconds. progress: True
        for a progress bar on stderr, or a function called with the time after each step.

        Engine codes 1, 2 and 4 are counted and warned about once each at the end; code 3
        stops the run and raises RefusedError, whose `run` holds what was collected."""
        until, dt = _number("until", until), _number("dt", dt, positive=True)
        self._require_started()
        if progress is True:
            progress = ProgressBar(self.time, until)
        wanted = sorted(_number("profile time", x) for x in profiles)
        started, t = _clock.perf_counter(), self.time
        rows, taken, codes, found, steps = [], {}, {}, [], 0
        next_record = t

        def collect(t):
            nonlocal next_record
            while wanted and wanted[0] <= t + 1e-9 * abs(until):
                taken[wanted.pop(0)] = self.profile()
            if every is None or t >= next_record - 1e-9 * every or t >= until:
                rows.append([t, self.line_pack(), *self._current_end(0, 1, History.END_COLUMNS),
                             *self._current_end(0, 2, History.END_COLUMNS)])
                while every and next_record <= t + 1e-9 * every:
                    next_record += every

        def result(completed):
            self._count(found, codes, self.time)
            return Run(History(rows), taken, codes, steps,
                       _clock.perf_counter() - started, completed)

        # The schedule's values now start the first step's ramp.
        if inlet is not None or outlet is not None:
            self.set_boundary(inlet, outlet)
        collect(t)
        while t < until - 1e-12 * abs(until):
            target = min(t + dt, until)
            if wanted and wanted[0] > t:
                target = min(target, wanted[0])
            try:
                self.step(target - t, inlet, outlet, _until=target, _codes=found)
            except RefusedError as error:
                error.run = result(False)
                raise
            t, steps = target, steps + 1
            collect(t)
            self._count(found, codes, t)
            if progress:
                progress(t)
        run = result(True)
        for code, (count, first, last) in codes.items():
            warnings.warn(WARNINGS[code]("transientpipes", f" (in {count} host steps, from t = "
                                         f"{first:g} s to {last:g} s)"),
                          stacklevel=_stacklevel())
        return run

    @staticmethod
    def _count(found, codes, t):
        for code in found:
            record = codes.setdefault(code, [0, t, t])
            record[0] += 1
            record[2] = t
        found.clear()

    # ---- results ------------------------------------------------------------------------------

    def profile(self):
        """The state along the whole line now (a Profile)."""
        columns = {"pipe": self.pipe_of_cell, "position": self.positions}
        columns.update(self._cells(("diameter",) + tuple(QUANTITIES)))
        return Profile(self.time, columns)

    def _cells(self, names, pipes=None):
        pipes = self.pipes if pipes is None else pipes
        n = sum(p.ncells for p in pipes)
        out = {}
        with self._calling("profile queries"):
            for name in names:
                a = np.empty(n)
                suffix = QUANTITIES.get(name, name)
                function, offset = getattr(self._lib, "get" + suffix), a.ctypes.data
                for p in pipes:
                    function(p.number, offset)
                    offset += 8 * p.ncells
                out[name] = a
        return out

    def ends(self):
        """The state at both ends now, as the engine last computed it (the cells next to the
        ends before any step or steady state)."""
        return Ends(EndState(*self._current_end(0, 1)), EndState(*self._current_end(0, 2)))

    def line_pack(self):
        """Mass of gas in the line, kg: rho A times the cell length, summed over the cells."""
        with self._calling("getuhistory"):
            self._lib.getuhistory(*self._conserved_at)
        # Summed in cell order, as a C host's loop does.
        n = self.ncells
        return float(np.cumsum(self._conserved[1, :n] * self.cell_lengths)[-1]) if n else 0.0

    def choke_pressure(self, temperature, diameter, mass_flow):
        """The pressure (Pa) at which mass_flow (kg/s) of the gas at temperature (K) flows at
        Mach 1 through a duct of the diameter (m)."""
        args = [_number(k, v, True) for k, v in (("temperature", temperature),
                                                  ("diameter", diameter),
                                                  ("mass_flow", mass_flow))]
        p = ctypes.c_double()
        with self._calling("approxchokepressure", evaluates=True):
            self._lib.approxchokepressure(*args, ctypes.byref(p))
        return p.value

    # ---- saving and restoring -------------------------------------------------------------------

    def save(self):
        """The whole state of the engine now, with the package's clock and last boundary
        values, as a State (write it with State.save)."""
        with self._calling("exchange"):
            arrays = _state.get(self._lib)
        latest = np.full((2, 6), np.nan)  # per network end: p, T, m and the three flags
        for end in (1, 2):
            if (0, end) in self._latest:
                latest[end - 1] = self._latest[(0, end)]
        return State(arrays, self.time, latest, self._started)

    def restore(self, state):
        """Puts the engine back into a saved State, bit for bit; the line must be the one it
        was saved from (or one loaded again with the same pipes)."""
        _state.check(state.arrays, _state.shape(self._lib))
        with self._calling("exchange"):
            _state.put(self._lib, state.arrays)
        self.time, self._started = state.time, state.started
        self._latest = {(0, e + 1): tuple(state.boundary[e][:3]) + tuple(
            int(x) for x in state.boundary[e][3:]) for e in range(2)
            if not np.isnan(state.boundary[e][0])}


class _Call:
    """Holds the engine (not thread safe, not re-entrant) for one or more C calls; with a
    Python gas it keeps the state from before them, to put back if a routine fails."""
    __slots__ = ("engine", "call", "python", "codes", "before")

    def __init__(self, engine, call, python, codes):
        self.engine, self.call, self.python, self.codes = engine, call, python, codes

    def __enter__(self):
        e = self.engine
        if e.closed:
            raise PelmoraError("this engine is closed")
        if not e._lock.acquire(blocking=False):
            raise EngineInUseError(BUSY)
        try:
            self.before = (_state.get(e._lib), dict(e._latest)) if self.python else None
        except BaseException:
            e._lock.release()
            raise

    def __exit__(self, kind, value, traceback):
        try:
            if kind is None:
                self.engine._report(self.call, self.before, self.codes)
            elif self.python:
                self.engine._gas._take_failure()
        finally:
            self.engine._lock.release()


class PipeView:
    """One pipe of the engine's line, for work pipe by pipe (loadbcpipe,
    transientpipe, steadypipe) and its own profile."""

    def __init__(self, engine, number, first, last):
        # A weak reference, so that an engine nobody holds is released at once.
        self.engine, self.number = weakref.proxy(engine), number
        self.cells = slice(first, last)
        self.ncells = last - first

    def profile(self):
        e = self.engine
        columns = {"pipe": e.pipe_of_cell[self.cells], "position": e.positions[self.cells]}
        columns.update(e._cells(("diameter",) + tuple(QUANTITIES), (self,)))
        return Profile(e.time, columns)

    def _values(self, inlet, outlet):
        e = self.engine
        e._require_started()
        return [e._values(self.number, end, g, e.time) for end, g in ((1, inlet), (2, outlet))]

    def step(self, dt, inlet=None, outlet=None):
        """Advances this pipe alone by dt seconds between its own boundary values (as in
        Engine.step, for this pipe's ends). The engine's clock does not move."""
        dt = _number("dt", dt, positive=True)
        values = self._values(inlet, outlet)
        e = self.engine
        with e._calling("transientpipe", evaluates=True):
            e._load(values, self.number)
            e._lib.transientpipe(ctypes.byref(ctypes.c_int32(self.number)),
                                 ctypes.byref(ctypes.c_double(dt)))

    def settle(self, duration, inlet=None, outlet=None):
        """Marches this pipe for at most `duration` seconds until it is steady; returns
        (time marched, converged)."""
        duration = _number("duration", duration, positive=True)
        values = self._values(inlet, outlet)
        e, elapsed = self.engine, ctypes.c_double()
        with e._calling("steadypipe", evaluates=True):
            e._load(values, self.number)
            e._lib.steadypipe(ctypes.byref(ctypes.c_int32(self.number)),
                              ctypes.byref(ctypes.c_double(duration)), ctypes.byref(elapsed))
        return elapsed.value, elapsed.value < duration

    def __repr__(self):
        return f"<pipe {self.number}: {self.ncells} cells>"


class State:
    """The whole engine state at one moment: the arrays of the four exchange
    calls ("phys.pressure", "history.current", ...), the package's clock
    `time` and the boundary values last loaded. save(file) writes it with
    numpy.savez, State.load(file) reads it back; Engine.restore puts it back
    bit for bit."""

    def __init__(self, arrays, time=0.0, boundary=None, started=True):
        self.arrays, self.time, self.started = arrays, float(time), bool(started)
        self.boundary = np.full((2, 6), np.nan) if boundary is None else np.asarray(boundary)

    def save(self, file):
        np.savez(file, **{"package.time": np.float64(self.time),
                          "package.started": np.bool_(self.started),
                          "package.boundary": self.boundary}, **self.arrays)

    @classmethod
    def load(cls, file):
        with np.load(file) as data:
            arrays = {k: data[k] for k in data.files if not k.startswith("package.")}
            return cls(arrays, float(data["package.time"]), data["package.boundary"],
                       bool(data["package.started"]))

    def __eq__(self, other):
        """Identical bit for bit."""
        return (isinstance(other, State) and self.arrays.keys() == other.arrays.keys()
                and all(self.arrays[k].tobytes() == other.arrays[k].tobytes()
                        for k in self.arrays)
                and np.float64(self.time).tobytes() == np.float64(other.time).tobytes())

    def __repr__(self):
        cells = int(self.arrays["hyper.ncells"][0])
        return f"<State at t = {self.time:g} s of a line of {cells} cells>"

