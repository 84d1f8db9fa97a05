"""The gas in the line: the engine's ideal gas, three Python functions, or the
natural-gas provider's compiled routines.

Every gas hands the engine (loadfluid) a molar mass, a ratio of specific
heats gamma (the engine's sound speed is always sqrt(gamma p / rho)), a
viscosity and a compressibility factor; the last two are what the ideal gas
uses, and the engine falls back on them where a property routine leaves a
value that is not finite.
"""
import ctypes
import math
from pathlib import Path

import numpy as np

from . import _library

CELSIUS = 273.15  # K at 0 degC
KILO = 0.001      # Pa -> kPa, J/kg -> kJ/kg; cP = Pa s / KILO


def _positive(name, value):
    value = float(value)
    if not (math.isfinite(value) and value > 0):
        raise ValueError(f"{name} must be a positive finite number, got {value!r}")
    return value


class IdealGas:
    """The engine's built-in ideal gas: p = Z (8314.3 / molweight) rho T with constant
    gamma, viscosity (Pa s) and compressibility factor Z; molweight in kg/kmol."""

    def __init__(self, molweight, gamma, viscosity, compressibility=1.0):
        self.molweight = _positive("molweight", molweight)
        self.gamma = _positive("gamma", gamma)
        if self.gamma <= 1:
            raise ValueError(f"gamma must be above 1, got {gamma!r}")
        self.viscosity = float(viscosity)
        if not (math.isfinite(self.viscosity) and self.viscosity >= 0):
            raise ValueError(f"viscosity must be a finite number >= 0, got {viscosity!r}")
        self.compressibility = _positive("compressibility", compressibility)

    model = 1

    def _routines(self):
        """(context, pt, rhoe, ph) for loadfluid; None for the ideal gas."""
        return None, None, None, None

    def _take_failure(self):
        return None

    def __repr__(self):
        return (f"{type(self).__name__}(molweight={self.molweight}, gamma={self.gamma}, "
                f"viscosity={self.viscosity}, compressibility={self.compressibility})")


class PythonGas(IdealGas):
    """A gas described by three Python functions, in SI units:

        pt(pressure Pa, temperature K)      -> (density, internal energy, enthalpy, viscosity)
        rhoe(density kg/m3, energy J/kg)    -> (pressure, temperature, enthalpy, viscosity)
        ph(pressure Pa, enthalpy J/kg)      -> (density, temperature, internal energy, viscosity)

    with energies in J/kg and viscosity in Pa s (a fifth value, a sound speed,
    is allowed and ignored: the engine uses sqrt(gamma p / rho)). The package
    converts to and from the engine's host units (kPa, degC, kJ/kg, cP).

    The engine calls them several times per cell and sub-step, so a run is
    much slower than with compiled routines (docs/performance.md gives the
    factor). An exception raised inside one stops further calls to Python
    for the rest of that engine call; the engine is then put back to its
    state before the call and the exception is raised again, as the cause of
    a PropertyRoutineError.
    """
    model = 2

    def __init__(self, pt, rhoe, ph, *, molweight, gamma, viscosity, compressibility=1.0):
        super().__init__(molweight, gamma, viscosity, compressibility)
        self.functions = {"pt": pt, "rhoe": rhoe, "ph": ph}
        self._failure = None
        nan = math.nan

        def failed(name, a, b, exc, outputs):
            if self._failure is None:
                self._failure = (name, a, b, exc)
            for r in outputs:
                r[0] = nan

        # Each adapter takes the engine's values in host units, calls the
        # function in SI and writes the results back in host units.
        def pt_adapter(context, p, t, rho, e, h, mu, c):
            if self._failure is not None:
                return failed("", 0, 0, None, (rho, e, h, mu))
            try:
                r = pt(p / KILO, t + CELSIUS)
                rho[0], e[0], h[0], mu[0] = r[0], r[1] * KILO, r[2] * KILO, r[3] / KILO
            except BaseException as exc:  # noqa: B902 - reported after the engine call
                failed("pt", p / KILO, t + CELSIUS, exc, (rho, e, h, mu))

        def rhoe_adapter(context, density, energy, p, t, h, mu, c):
            if self._failure is not None:
                return failed("", 0, 0, None, (p, t, h, mu))
            try:
                r = rhoe(density, energy / KILO)
                p[0], t[0], h[0], mu[0] = r[0] * KILO, r[1] - CELSIUS, r[2] * KILO, r[3] / KILO
            except BaseException as exc:  # noqa: B902
                failed("rhoe", density, energy / KILO, exc, (p, t, h, mu))

        def ph_adapter(context, p, enthalpy, rho, t, e, mu, c):
            if self._failure is not None:
                return failed("", 0, 0, None, (rho, t, e, mu))
            try:
                r = ph(p / KILO, enthalpy / KILO)
                rho[0], t[0], e[0], mu[0] = r[0], r[1] - CELSIUS, r[2] * KILO, r[3] / KILO
            except BaseException as exc:  # noqa: B902
                failed("ph", p / KILO, enthalpy / KILO, exc, (rho, t, e, mu))

        # The C callbacks live as long as this object.
        self._callbacks = tuple(_library.PROPERTYROUTINE(f)
                                for f in (pt_adapter, rhoe_adapter, ph_adapter))

    def _routines(self):
        return (None,) + tuple(ctypes.cast(f, ctypes.c_void_p).value for f in self._callbacks)

    def _take_failure(self):
        """The first failure since the last call, as (routine, a, b, exception), and clear it."""
        failure, self._failure = self._failure, None
        return failure


class CompiledGas(IdealGas):
    """A gas described by three compiled host routines: C functions with the
    engine's calling convention and host units (see loadfluid in pelmora.h),
    given as ctypes functions of a loaded library or as addresses, with the
    `context` pointer they are handed. No Python runs per cell."""
    model = 2

    def __init__(self, pt, rhoe, ph, *, context=None, molweight, gamma, viscosity,
                 compressibility=1.0):
        super().__init__(molweight, gamma, viscosity, compressibility)
        self.functions = {"pt": pt, "rhoe": rhoe, "ph": ph}  # keeps them alive
        self.context = context
        self._addresses = tuple(f if isinstance(f, int) else _library.address(f)
                                for f in (pt, rhoe, ph))
        if not all(self._addresses):
            raise ValueError("each of the three routines must be a C function")

    def _routines(self):
        return (self.context,) + self._addresses


class NaturalGas(CompiledGas):
    """Natural gas by its composition, evaluated by the compiled routines of the
    provider libpelmora_realgas (no Python runs per cell).

    composition: mole fractions, a mapping from component names (COMPONENTS)
    to fractions, or a sequence in the order of COMPONENTS; normalised to 1.
    pressure (Pa), temperature (K): the reference state at which gamma (the
    isentropic exponent rho c^2 / p, which makes the engine's sound speed the
    real gas's there), Z and viscosity are taken for the engine.
    library: the provider's file or folder (default: PELMORA_REALGAS_LIBRARY,
    the package's copy, or the engine library's folder).
    """
    model = 2
    COMPONENTS = ("methane", "ethane", "propane", "isobutane", "nbutane", "isopentane",
                  "npentane", "nhexane", "nitrogen", "carbondioxide", "hydrogensulfide")

    def __init__(self, composition, *, pressure, temperature, library=None):
        engine = Path(_library.find("pelmora", None, "PELMORA_LIBRARY"))
        self._lib = _library.realgas_library(library, engine.parent if engine.parent.name else None)
        self.fractions = self._fractions(composition)
        handle = self._lib.realgas_create(self.fractions.ctypes.data)
        if not handle:
            raise ValueError(f"the natural-gas provider refused the composition {composition!r}: "
                             "fractions must be finite, not negative, and not all 0")
        self._handle = handle
        routines = (self._lib.realgas_pt, self._lib.realgas_rhoe, self._lib.realgas_ph)
        self.reference = (_positive("pressure", pressure), _positive("temperature", temperature))
        out = [ctypes.c_double() for _ in range(3)]
        self._lib.realgas_description(handle, *map(ctypes.byref, out))
        molweight, self.pseudocritical_temperature, pcrit = (x.value for x in out)
        self.pseudocritical_pressure = pcrit * 1000.0
        ratio, gamma = ctypes.c_double(), ctypes.c_double()
        p, t = self.reference[0] / 1000.0, self.reference[1] - CELSIUS
        self._lib.realgas_exponents(handle, p, t, ctypes.byref(ratio), ctypes.byref(gamma))
        z = self._lib.realgas_z(handle, p, t)
        viscosity = self.properties(*self.reference)["viscosity"]
        super().__init__(*routines, context=handle, molweight=molweight, gamma=gamma.value,
                         viscosity=viscosity, compressibility=z)

    def _fractions(self, composition):
        if hasattr(composition, "items"):
            unknown = set(composition) - set(self.COMPONENTS)
            if unknown:
                raise ValueError(f"unknown components {sorted(unknown)}; known: {self.COMPONENTS}")
            composition = [composition.get(name, 0.0) for name in self.COMPONENTS]
        fractions = np.ascontiguousarray(composition, dtype=np.float64)
        if fractions.shape != (len(self.COMPONENTS),):
            raise ValueError(f"composition needs {len(self.COMPONENTS)} fractions, in the order "
                             f"{self.COMPONENTS}; got {fractions.shape[0]}")
        return fractions

    def z(self, pressure, temperature):
        """Compressibility factor at pressure Pa and temperature K."""
        return self._lib.realgas_z(self._handle, pressure / 1000.0, temperature - CELSIUS)

    def properties(self, pressure, temperature):
        """Density, internal energy, enthalpy, viscosity and sound speed (SI) at p (Pa), T (K)."""
        out = [ctypes.c_double() for _ in range(5)]
        self._lib.realgas_pt(self._handle, pressure / 1000.0, temperature - CELSIUS,
                             *map(ctypes.byref, out))
        rho, e, h, mu, c = (x.value for x in out)
        return {"density": rho, "internal_energy": e * 1000.0, "enthalpy": h * 1000.0,
                "viscosity": mu * KILO, "sound_speed": c}

    def __del__(self):
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            self._lib.realgas_destroy(handle)

    def __repr__(self):
        shares = {n: f for n, f in zip(self.COMPONENTS, self.fractions) if f}
        p, t = self.reference
        return f"NaturalGas({shares}, pressure={p}, temperature={t})"
