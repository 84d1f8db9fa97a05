"""Results as numpy arrays: profiles along the line, end states, the history
of a run; each turns into a pandas DataFrame when pandas is installed."""
import collections

import numpy as np

#: Quantities of a cell or an end: package name -> the engine's query suffix.
QUANTITIES = {
    "pressure": "pressure",              # Pa
    "temperature": "temperature",        # K
    "mass_flow": "massflowrate",         # kg/s, positive from inlet to outlet
    "density": "density",                # kg/m3
    "velocity": "velocity",              # m/s
    "mach": "machnumber",                # -
    "sound_speed": "soundspeed",         # m/s
    "enthalpy": "enthalpy",              # J/kg
    "internal_energy": "internalenergy",  # J/kg
}


def _pandas():
    try:
        import pandas
    except ImportError:
        raise ImportError("to_pandas() needs pandas (Debian: python3-pandas)") from None
    return pandas


class Table:
    """Named numpy columns of one length, read as attributes or items."""

    def __init__(self, columns, index):
        self.columns = dict(columns)
        self._index = index

    def __getattr__(self, name):
        try:
            return self.__dict__["columns"][name]
        except KeyError:
            raise AttributeError(name) from None

    def __getitem__(self, name):
        return self.columns[name]

    def __len__(self):
        return len(self.columns[self._index])

    def keys(self):
        return self.columns.keys()

    def __dir__(self):
        return list(super().__dir__()) + list(self.columns)

    def to_pandas(self):
        """A pandas DataFrame indexed by the first column."""
        frame = _pandas().DataFrame(self.columns)
        return frame.set_index(self._index)

    def __repr__(self):
        return f"<{type(self).__name__}: {len(self)} rows of {', '.join(self.columns)}>"


class Profile(Table):
    """The state along the line at `time`, cell by cell from the inlet:
    pipe (1-based), position (cell centre, m from the inlet), diameter (m),
    then every quantity of QUANTITIES."""

    def __init__(self, time, columns):
        super().__init__(columns, "position")
        self.time = time


EndState = collections.namedtuple("EndState", list(QUANTITIES))
EndState.__doc__ = "The gas state at one end of the line, SI units."


class Ends(collections.namedtuple("Ends", "inlet outlet")):
    """The state at both ends of the line."""

    def to_pandas(self):
        return _pandas().DataFrame([self.inlet, self.outlet], index=["inlet", "outlet"])


class History(Table):
    """Time series of a run: time (s), line_pack (kg) and, per end, its
    pressure, temperature, mass_flow, density, velocity and mach, as columns
    named inlet_pressure, outlet_mass_flow and so on."""

    END_COLUMNS = ("pressure", "temperature", "mass_flow", "density", "velocity", "mach")

    def __init__(self, rows):
        names = ["time", "line_pack"] + [f"{end}_{q}" for end in ("inlet", "outlet")
                                         for q in self.END_COLUMNS]
        data = np.array(rows, dtype=np.float64).reshape(-1, len(names))
        super().__init__({n: data[:, k] for k, n in enumerate(names)}, "time")


class Run:
    """What Engine.run collected: `history` (every host step, or every
    `every` seconds), `profiles` (time -> Profile at the times asked for),
    `codes` (engine code -> [host steps that reported it, first time, last
    time]), `host_steps`, `wall_time` (s) and `completed` (False when the
    engine cut the run short)."""

    def __init__(self, history, profiles, codes, host_steps, wall_time, completed):
        self.history, self.profiles, self.codes = history, profiles, codes
        self.host_steps, self.wall_time, self.completed = host_steps, wall_time, completed

    def profiles_to_pandas(self):
        """Every profile in one long DataFrame with a `time` column."""
        pandas = _pandas()
        return pandas.concat([p.to_pandas().reset_index().assign(time=t)
                              for t, p in self.profiles.items()], ignore_index=True)

    def __repr__(self):
        state = "completed" if self.completed else "cut short"
        return (f"<Run {state}: {self.host_steps} host steps, {len(self.profiles)} profiles, "
                f"codes {dict(self.codes) or 'none'}, {self.wall_time:.3g} s>")
