"""What the engine reports, as Python warnings and exceptions.

The engine never stops a computation for a bad gas state: it clamps or
caps, carries on and records a code, which the package reads after every
call and turns into a warning (codes 1, 2 and 4). Code 3 means the engine
refused the call (nothing changed) or cut a driver short (the state is that
at the end of the last whole sub-step); it becomes a RefusedError.
"""
import enum


class Code(enum.IntEnum):
    """The engine's error codes, as geterrorcode reports them."""
    NONE = 0
    FLOORED = 1            # a gas state was raised to its floors
    REYNOLDS_CAPPED = 2    # a Reynolds number was capped at 1e10
    REFUSED = 3            # a call was refused or cut short
    NOT_CONVERGED = 4      # the steady march accepted a step that did not converge


class End(enum.IntEnum):
    """The two ends of the line (or of a pipe); mass flow is positive from INLET to OUTLET."""
    INLET = 1
    OUTLET = 2


class SteadyStatus(enum.IntEnum):
    """The status steadystate writes."""
    FOUND = 0
    DIAMETERS_DIFFER = 1
    REFUSED = 2
    START_SUPERSONIC_OR_WRONG_SIGN = 3
    SUPERSONIC_IN_LINE = 4
    NO_SOLUTION = 5


STEADY_MEANING = {
    1: "the cell diameters differ by more than 1e-8 m: the steady state needs one uniform "
       "diameter along the line; nothing was written",
    2: "the engine refused the call: no line or gas, a line without cells, or a value that is "
       "not finite; nothing was changed",
    3: "the Mach number at the starting end is above 1, or the mass flow's sign does not fit "
       "the mode; nothing but the starting end's values was written",
    4: "the Mach number rose above 1 inside the line; the cells up to there hold the march's "
       "intermediate values",
    5: "the pressure fell to 0, or the search found no solution within 100 marches; the cells "
       "up to the failing step hold the march's intermediate values",
}


class PelmoraWarning(UserWarning):
    """Base of the engine's warnings; `code` is the engine code, `call` the C call."""
    code = None

    def __init__(self, call, detail=""):
        self.call = call
        super().__init__(f"{call}: {self.meaning}{detail}")


class FlooredWarning(PelmoraWarning):
    code = Code.FLOORED
    meaning = ("a gas state was raised to its floors (100 Pa, 1 K, 0.01 kg/m3) and the "
               "computation went on with the clamped state")


class ReynoldsCappedWarning(PelmoraWarning):
    code = Code.REYNOLDS_CAPPED
    meaning = "a Reynolds number exceeded 1e10 and was capped there"


class NotConvergedWarning(PelmoraWarning):
    code = Code.NOT_CONVERGED
    meaning = ("the steady march accepted a step whose iteration did not converge within "
               "250 iterations; temperatures computed there should not be trusted")


WARNINGS = {w.code: w for w in (FlooredWarning, ReynoldsCappedWarning, NotConvergedWarning)}


class PelmoraError(Exception):
    """Base of the package's errors."""


class RefusedError(PelmoraError):
    """The engine refused a call (code 3; nothing changed) or cut a driver short."""

    def __init__(self, call, reason):
        self.call, self.reason = call, reason
        super().__init__(f"the engine refused {call} (code 3): {reason}")


class SteadyStateError(PelmoraError):
    """steadystate found no steady state; `status` says why."""

    def __init__(self, mode, status):
        self.mode, self.status = mode, SteadyStatus(status)
        super().__init__(f"no steady state (mode {mode}, status {status}): "
                         f"{STEADY_MEANING.get(status, 'unknown status')}")


class PropertyRoutineError(PelmoraError):
    """A Python property routine raised; the original exception is the __cause__."""


class EngineInUseError(PelmoraError):
    """A second engine in a process, or a call into a busy engine."""
