// Gas properties: the gas description, evaluation of the current fluid state
// from a pair of known quantities, and the choke pressure estimate.
//
// Every part of the engine obtains thermodynamic properties one way only:
// fluidstate(selector, a, b) evaluates the gas into the store's current
// fluid state (curpressure, curtemperature, ...), and the accessors read it
// back. Each evaluation overwrites the one current state, so callers read
// what they need immediately after the evaluation that produced it.
#pragma once

#include <cstdint>

#include "engine/store.h"

namespace pelmora {

// Universal gas constant, J/(kmol K).
constexpr double gasconstant = 8314.3;

// Floors below which a fluid state is clamped (and fluid code 1 raised).
constexpr double pressurefloor = 100.0;  // Pa
constexpr double temperaturefloor = 1.0; // K
constexpr double densityfloor = 0.01;    // kg/m3

// The given pair of a fluidstate evaluation.
enum FluidSelector : std::int32_t {
    bypressuretemperature = 1, // a = p (Pa), b = T (K)
    bydensityenergy = 2,       // a = rho (kg/m3), b = e (J/kg)
    bypressureenthalpy = 3,    // a = p (Pa), b = h (J/kg)
};

// Stores the gas description and derives cv and cp; clears fluiderrorcode.
// Refuses (fluid code 3, previous gas kept) a description that does not
// define a gas: molweight, compressibility not positive finite, gamma not
// finite above 1, viscosity negative or not finite, or the host model with a
// missing routine. Returns whether the gas was accepted.
bool loadfluid(Store& s, void* context, PropertyRoutine pt, PropertyRoutine rhoe,
               PropertyRoutine ph, double molweight, double gamma, double viscosity,
               double compressibility, std::int32_t model);

// Evaluates the current fluid state from the pair (a, b) named by selector,
// validates it against the floors and recomputes the sound speed. Any other
// selector only validates the current state.
void fluidstate(Store& s, std::int32_t selector, double a, double b);

// Accessors of the current fluid state.
inline double fluiddensity(const Store& s) { return s.curdensity; }
inline double fluidenthalpy(const Store& s) { return s.curenthalpy; }
inline double fluidenergy(const Store& s) { return s.curenergy; }
inline double fluidpressure(const Store& s) { return s.curpressure; }
inline double fluidsoundspeed(const Store& s) { return s.cursoundspeed; }
inline double fluidtemperature(const Store& s) { return s.curtemperature; }
inline double fluidviscosity(const Store& s) { return s.curviscosity; }

// Estimates the pressure at which mass flow m (kg/s) at temperature T (K)
// flows through a duct of diameter D (m) at Mach 1. Returns false (and sets
// fluid code 3, *p untouched) for inputs that are not positive finite
// numbers or with no gas loaded; writes the last pressure and sets code 3
// when the iteration does not settle within its pass limit.
bool approxchokepressure(Store& s, double T, double D, double m, double& p);

} // namespace pelmora
