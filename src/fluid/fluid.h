// Gas properties: the gas description, evaluation of a state of the gas
// from a pair of known quantities, the gas moving through a duct, and the
// choke pressure estimate.
//
// Every part of the engine obtains thermodynamic properties one way only:
// fluidstate(selector, a, b) evaluates the gas and returns the state. The
// latest evaluation also stays in the store as its current fluid state,
// which the host reads through the parameter exchange and which a host
// property routine finds in the fields it is handed to fill.
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

// A state of the gas, as one evaluation gives it.
struct FluidState {
    double pressure = 0.0;    // Pa
    double temperature = 0.0; // K
    double density = 0.0;     // kg/m3
    double energy = 0.0;      // specific internal energy, J/kg
    double enthalpy = 0.0;    // specific enthalpy, J/kg
    double viscosity = 0.0;   // Pa s
    double soundspeed = 0.0;  // m/s
};

// Evaluates the gas from the pair (a, b) named by selector, starting from
// the store's current fluid state, validates the result against the floors
// and recomputes the sound speed. Any other selector only validates the
// current state. The result becomes the store's current fluid state.
FluidState fluidstate(Store& s, std::int32_t selector, double a, double b);

// Makes a state the store's current fluid state (for an evaluation done
// inline, outside fluidstate).
void setcurrentfluidstate(Store& s, const FluidState& state);

// The gas at one cell, face or end of the duct: a fluid state moving with a
// mass flow through a flow area.
struct GasState : FluidState {
    double velocity = 0.0;      // m / (A rho), m/s
    double machnumber = 0.0;    // |u| / c
    double totalenergy = 0.0;   // e + u^2/2, J/kg
    double totalenthalpy = 0.0; // h + u^2/2, J/kg
};

// Fluid state f moving with mass flow m (kg/s) through area A (m2).
GasState moving(const FluidState& f, double m, double A);

// The gas evaluated at pressure p and temperature T, moving with mass flow
// m through area A. It keeps p and T as given, also where the evaluation
// raised them to their floors.
GasState gasat(Store& s, double p, double T, double m, double A);

// Where a gas state is kept: one element of an array per quantity (a cell,
// a face, an end). A quantity without an element there is not kept.
struct GasRow {
    double *pressure = nullptr, *temperature = nullptr, *density = nullptr, *energy = nullptr,
           *enthalpy = nullptr, *viscosity = nullptr, *soundspeed = nullptr, *velocity = nullptr,
           *machnumber = nullptr, *totalenergy = nullptr, *totalenthalpy = nullptr;

    // Writes the quantities kept here; reads them (the others stay 0).
    void store(const GasState& g) const;
    GasState load() const;
};

// Estimates the pressure at which mass flow m (kg/s) at temperature T (K)
// flows through a duct of diameter D (m) at Mach 1. Returns false (and sets
// fluid code 3, *p untouched) for inputs that are not positive finite
// numbers or with no gas loaded; writes the last pressure and sets code 3
// when the iteration does not settle within its pass limit.
bool approxchokepressure(Store& s, double T, double D, double m, double& p);

} // namespace pelmora
