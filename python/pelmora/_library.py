"""Finding and loading the engine library and the natural-gas provider, and
the argument types of their C entry points.

The libraries are looked for, in this order: the path given as an argument
(a file, or a folder holding it), the environment variable
(PELMORA_LIBRARY, PELMORA_REALGAS_LIBRARY), the copies installed with the
package in its _bin folder, and finally the bare file name, which the
system's loader searches for (on Windows the folders of the DLL search path).
"""
import ctypes
import os
import sys
from ctypes import POINTER, c_char_p, c_double, c_int32, c_void_p
from pathlib import Path

#: The folder of the package's own copies of the libraries and pelmora-run.
BIN = Path(__file__).resolve().parent / "_bin"


def _filename(stem):
    if sys.platform == "win32":
        return stem + ".dll"
    if sys.platform == "darwin":
        return "lib" + stem + ".dylib"
    return "lib" + stem + ".so"


def find(stem, given=None, variable=None, beside=None):
    """The path (or bare name) of library `stem` by the search order above."""
    name = _filename(stem)
    for candidate in (given, os.environ.get(variable) if variable else None):
        if candidate:
            path = Path(candidate)
            return str(path / name if path.is_dir() else path)
    for folder in (BIN, beside):
        if folder and (Path(folder) / name).is_file():
            return str(Path(folder) / name)
    return name


def executable(name="pelmora-run"):
    """Path of a program installed with the package (pelmora-run), or None."""
    path = BIN / (name + (".exe" if sys.platform == "win32" else ""))
    return str(path) if path.is_file() else None


def _open(path, what, variable):
    try:
        return ctypes.CDLL(path)
    except OSError as error:
        raise OSError(
            f"cannot load {what} {path!r}: {error}. Build and install it with "
            f"'bash scripts/setup-python.sh', or name it with the environment variable "
            f"{variable} or the library= argument") from None


# Argument types: i an int32 by value, d a double by value, p an address.
_P, _I, _D = c_void_p, c_int32, c_double
_ENGINE = {
    "loadfluid": [_P] * 9,
    "loadpipedata": [_P] * 7,
    "loadbc": [_I, _D, _D, _D, _I, _I, _I],
    "loadbcpipe": [_I, _I, _D, _D, _D, _I, _I, _I],
    "loadwalldata": [_P] * 2,
    "maxtimestep": [_P],
    "loadinitialconditions": [_P] * 3,
    "freepipememory": [],
    "transientpipes": [_P],
    "transientpipe": [_P] * 2,
    "steadypipes": [_P] * 2,
    "steadypipe": [_P] * 3,
    "steadystate": [_I, _D, _D, _D, _P],
    "approxchokepressure": [_D, _D, _D, _P],
    "gettotalnumberofcells": [_P],
    "getshape": [_P] * 4,
    "getnumberofcells": [_I, _P],
    "geterrorcode": [_P],
    "getfluidparams": [_P] * 14,
    "setfluidparams": [_P] * 14,
    "gethyperparams": [_P] * 20,
    "sethyperparams": [_P] * 20,
    "getuhistory": [_P] * 2,
    "setuhistory": [_P] * 4,
    "getphysparams": [_P] * 106,
    "setphysparams": [_P] * 109,
}
PROFILES = ("diameter", "density", "enthalpy", "internalenergy", "machnumber", "massflowrate",
            "pressure", "soundspeed", "temperature", "velocity")
for _q in PROFILES:
    _ENGINE["get" + _q] = [_I, _P]
    _ENGINE["getbc" + _q] = [_I, _P]
del _ENGINE["getbcdiameter"]  # the ends have no diameter query
assert len(_ENGINE) == 45

_REALGAS = {
    "realgas_componentname": ([_I], c_char_p),
    "realgas_componentindex": ([c_char_p], c_int32),
    "realgas_create": ([_P], c_void_p),
    "realgas_destroy": ([_P], None),
    "realgas_description": ([_P] * 4, None),
    "realgas_z": ([_P, _D, _D], c_double),
    "realgas_exponents": ([_P, _D, _D, _P, _P], None),
}
for _routine in ("realgas_pt", "realgas_rhoe", "realgas_ph"):
    _REALGAS[_routine] = ([_P, _D, _D] + [_P] * 5, None)

_loaded = {}


def _typed(path, what, variable, prototypes):
    key = (what, path)
    if key not in _loaded:
        lib = _open(path, what, variable)
        for name, signature in prototypes.items():
            try:
                function = getattr(lib, name)
            except AttributeError:
                raise OSError(f"{what} {path!r} has no entry point {name!r}") from None
            function.argtypes, function.restype = signature
        _loaded[key] = lib
    return _loaded[key]


def engine_library(given=None):
    """The engine library (ctypes.CDLL) with the argument types of its 45 calls."""
    path = find("pelmora", given, "PELMORA_LIBRARY")
    return _typed(path, "the engine library", "PELMORA_LIBRARY",
                  {name: (types, None) for name, types in _ENGINE.items()})


def realgas_library(given=None, beside=None):
    """The natural-gas provider (ctypes.CDLL), looked for also beside `beside`."""
    path = find("pelmora_realgas", given, "PELMORA_REALGAS_LIBRARY", beside)
    return _typed(path, "the natural-gas provider", "PELMORA_REALGAS_LIBRARY", _REALGAS)


def address(function):
    """The machine address of a C function of a loaded library."""
    return ctypes.cast(function, c_void_p).value


# The host property routine: context, two values, five addresses to fill.
PROPERTYROUTINE = ctypes.CFUNCTYPE(None, c_void_p, c_double, c_double, *[POINTER(c_double)] * 5)
