"""Pipes and the line they form, in SI units."""
import math

import numpy as np


def _check(name, value, low=0.0, allow_low=False):
    value = float(value)
    if not math.isfinite(value) or value < low or (value == low and not allow_low):
        bound = f">= {low}" if allow_low else f"> {low}"
        raise ValueError(f"{name} must be a finite number {bound}, got {value!r}")
    return value


class Pipe:
    """One pipe. Lengths in m, inclination in rad (positive uphill in the flow
    direction), ambient temperature in K, heat transfer in W/(m2 K) (0 for an
    adiabatic wall). Give `diameter` for a straight bore or `inlet_diameter`
    and `outlet_diameter` for a taper. The engine makes round(length /
    cell_length) cells, at least 3, more where the bore tapers quickly."""

    def __init__(self, length, diameter=None, *, roughness, cell_length, inlet_diameter=None,
                 outlet_diameter=None, inclination=0.0, ambient_temperature=288.15,
                 heat_transfer=0.0):
        inlet = diameter if inlet_diameter is None else inlet_diameter
        outlet = diameter if outlet_diameter is None else outlet_diameter
        if inlet is None or outlet is None:
            raise ValueError("give a pipe's diameter, or its inlet_diameter and outlet_diameter")
        self.length = _check("length", length)
        self.inlet_diameter = _check("inlet_diameter", inlet)
        self.outlet_diameter = _check("outlet_diameter", outlet)
        self.roughness = _check("roughness", roughness, allow_low=True)
        self.cell_length = _check("cell_length", cell_length)
        self.inclination = _check("inclination", inclination, -math.inf)
        self.ambient_temperature = _check("ambient_temperature", ambient_temperature)
        self.heat_transfer = _check("heat_transfer", heat_transfer, allow_low=True)

    def __repr__(self):
        fields = ", ".join(f"{k}={v!r}" for k, v in vars(self).items())
        return f"Pipe({fields})"


class Line:
    """Pipes in series, the outlet of each joined to the inlet of the next;
    max_time_step (s) optionally caps the engine's sub-step."""

    def __init__(self, pipes, max_time_step=None):
        self.pipes = [pipes] if isinstance(pipes, Pipe) else list(pipes)
        if not self.pipes or not all(isinstance(p, Pipe) for p in self.pipes):
            raise ValueError("a line needs one or more Pipe objects")
        self.max_time_step = None if max_time_step is None else _check("max_time_step",
                                                                      max_time_step)

    @property
    def length(self):
        """Total length, m."""
        return sum(p.length for p in self.pipes)

    def arrays(self, *names):
        """Per-pipe float64 arrays of the named attributes, in pipe order."""
        return [np.array([getattr(p, n) for p in self.pipes], dtype=np.float64) for n in names]

    def __repr__(self):
        return f"Line({self.pipes!r}, max_time_step={self.max_time_step!r})"
