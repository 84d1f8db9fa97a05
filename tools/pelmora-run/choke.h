// Choked ends: the pressure a host imposes at a pressure-held end through
// which gas leaves the line.
//
// A real vent, orifice or open pipe end never passes gas faster than sound:
// once the pressure outside falls below the pressure at which the leaving
// flow is sonic in the end bore, the flow chokes and the pressure at the end
// stays at that choke pressure. The engine imposes whatever pressure it is
// given, and only stops imposing it once the end it computed is already
// supersonic; an end left to itself then runs supersonic at a few tens of
// kelvin and the line around it oscillates or blows up. So the host, which
// knows the table value, imposes the larger of the table pressure and the
// choke pressure of the end flow, as a valve would.
//
// The rule, applied before every host step (documented with measurements in
// docs/validation.md#choked-vent):
//   1. Can the end choke at all? Gas expanding from the state of the end
//      cell (stagnation state with the cell velocity) reaches Mach 1 at the
//      isentropic critical pressure p* = p0 (2 / (gamma + 1))^(gamma /
//      (gamma - 1)); with friction the real end chokes lower still. A table
//      pressure above (1 + margin) p* is imposed as it is: the end cannot
//      choke during this step.
//   2. Otherwise the imposed pressure is the largest of
//      - the table pressure;
//      - (1 + margin) times the choke pressure of the flow now leaving, at the
//        end temperature and in the end bore (approxchokepressure): the end
//        stays subsonic by the margin, so the engine keeps imposing it;
//      - a fraction `fall` of the pressure imposed for the previous step: the
//        flow needs time to build up after the pressure drops, and a choke
//        pressure computed from the flow before the step lags the flow the
//        step reaches. Without this bound a long host step that opens a vent
//        imposes the atmosphere on a line at rest and the end goes
//        supersonic within the step.
#pragma once

#include <functional>

namespace pelmorarun {

struct ChokeSettings {
    double margin = 0.03; // the end is held this fraction above its choke pressure
    double fall = 0.5;    // the imposed pressure falls at most to this fraction per host step
};

// One pressure-held end as the host sees it after the previous host step.
struct VentingEnd {
    double tablepressure = 0;   // Pa, the table's value for the end of the coming step
    double lastimposed = 0;     // Pa, the pressure passed for the end of the previous step
    double outflow = 0;         // kg/s leaving the line through this end (<= 0: none)
    double temperature = 0;     // K, the end state (getbctemperature)
    double diameter = 0;        // m, the end face
    double cellpressure = 0;    // Pa, the cell next to the end
    double celltemperature = 0; // K
    double cellspeed = 0;       // m/s, magnitude
};

struct ChokeDecision {
    double pressure = 0;      // Pa, to impose for the end of the coming step
    bool choked = false;      // the choke pressure of the leaving flow decided it
    bool opening = false;     // the bound on the fall per host step decided it
    double chokepressure = 0; // Pa, choke pressure of the leaving flow (0: not computed)
};

// The engine's approxchokepressure(T, D, m): the pressure at which m kg/s at
// T K is sonic in a bore of D m; a result <= 0 means it could not be had.
using ChokePressure = std::function<double(double temperature, double diameter, double massflow)>;

// The isentropic critical pressure from the end cell's state (step 1 above);
// gamma and cp (J/(kg K)) of the gas as the engine has it.
double criticalpressure(const VentingEnd& end, double gamma, double cp);

// The pressure to impose (steps 1 and 2 above).
ChokeDecision chokedend(const VentingEnd& end, double gamma, double cp,
                        const ChokePressure& chokepressure, const ChokeSettings& settings = {});

} // namespace pelmorarun
