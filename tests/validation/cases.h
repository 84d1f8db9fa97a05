// The validation cases: each sets up a problem with a known answer, runs the
// engine through its C interface and returns what was computed next to the
// answer, with the error measures. The tests (validation_test.cpp) bound the
// measures; the report generator (report.cpp) tabulates and plots them.
#ifndef PELMORA_VALIDATION_CASES_H
#define PELMORA_VALIDATION_CASES_H

#include <string>
#include <vector>

#include "host.h"
#include "riemann.h"

namespace validation {

// ---------------------------------------------------------------------------
// Shock tubes
// ---------------------------------------------------------------------------

// Scales of the SI realisation: density in kg/m3, pressure in Pa, length of
// the tube in m. Velocity and time scales follow.
struct ShockTubeScales {
    double density = 100.0;
    double pressure = 1e7;
    double length = 100.0;
    double velocity() const { return std::sqrt(pressure / density); }
    double time() const { return length / velocity(); }
};

// A Riemann problem in the usual non-dimensional form: domain [0, 1],
// diaphragm at 0.5, states left and right of it, solution wanted at `time`;
// realised in SI with `scales`.
struct RiemannProblem {
    std::string name;
    std::string key; // short name for files
    GasState left, right;
    double time = 0.0;
    ShockTubeScales scales;
};

// Sod's problem, the strong shock (pressure ratio 1e5) and the two
// rarefactions moving apart, all for gamma 1.4.
const std::vector<RiemannProblem>& riemannproblems();

struct ShockTubeResult {
    int cells = 0;
    double courant = 0.0;           // cap on the sub-step as a Courant number; 0: the drivers' own
    std::vector<double> x;          // cell centres, non-dimensional
    std::vector<GasState> computed; // from the conserved variables, non-dimensional
    std::vector<GasState> exact;    // exact cell averages, non-dimensional
    // L1 errors (mean absolute error over the tube, non-dimensional).
    double l1density = 0, l1velocity = 0, l1pressure = 0;
    // Largest new extremum of density and velocity: how far a cell lies
    // outside the exact values within two cells of it, as a fraction of the
    // whole range of the exact profile.
    double densityovershoot = 0, velocityovershoot = 0;
    // L1 error of density as the profile query returns it (half a sub-step
    // behind the conserved variables).
    double l1querieddensity = 0;
    int errorcode = 0; // geterrorcode after the run
};

// Runs one problem on `cells` cells (two pipes of cells/2, the diaphragm at
// the joint). courant > 0 caps the sub-step with maxtimestep at
// courant * dx / (fastest exact signal speed). freeends: impose nothing at
// either end (every end value extrapolated from the cells) instead of
// closing the ends where the gas is at rest.
ShockTubeResult runshocktube(const RiemannProblem& problem, int cells, double courant = 0.0,
                             bool freeends = false);

// Observed order of convergence between two L1 errors on grids n and 2n.
double observedorder(double coarse, double fine);

// ---------------------------------------------------------------------------
// Steady flow with friction
// ---------------------------------------------------------------------------

// A natural-gas-like ideal gas for the pipeline cases.
Gas pipelinegas();

// Marches the line with steadypipes in spans of `span` seconds until no
// cell pressure moves by more than `tolerance` (relative) over a span, or
// `limit` seconds have been marched. Returns the time marched.
double settle(const Line& line, double span, double limit, double tolerance);

struct SteadyResult {
    std::vector<double> x;                             // cell centres, m
    std::vector<double> pressure, exactpressure;       // Pa
    std::vector<double> temperature, exacttemperature; // K
    std::vector<double> mach, exactmach;
    double massflow = 0;         // kg/s, the flow the comparison used
    double exactmassflow = 0;    // kg/s, where the relation predicts it
    double pressureerror = 0;    // largest |p - p_exact| / (p_in - p_out)
    double endpressureerror = 0; // |p - exact| / (p_in - p_out) at the free end face
    double temperatureerror = 0; // largest |T - T_exact|, K
    double frictionfactor = 0;
    double settletime = 0; // s marched by steadypipes (0 for steadystate)
    int status = 0;        // steadystate status, or 0
    int errorcode = 0;
};

// Long horizontal pipe with a strong wall heat transfer holding the gas at
// the ambient temperature, against the isothermal relation.
// `settle` false: steadystate (march from end 1); true: uniform start, then
// steadypipes until the profile stops moving.
SteadyResult runisothermal(int cells, bool settle);

// Short adiabatic pipe at high subsonic Mach number against Fanno flow.
SteadyResult runfanno(int cells, bool settle);

// The Fanno pipe with inlet Mach number `mach`, inlet pressure and
// temperature imposed, outlet pressure imposed: the largest relative
// deviation of any cell's mass flow from the outlet's over one second after
// 20 s of settling (0 for a settled pipe).
double inletpressurewiggle(double mach, int cells);

// ---------------------------------------------------------------------------
// Waves, gravity, balances
// ---------------------------------------------------------------------------

struct WaveResult {
    bool downstream = true;         // step at the inlet running with the flow
    double expected = 0;            // L / (c + u) or L / (c - u), s
    double measured = 0;            // time the far-end pressure crossed half its first rise, s
    double celltime = 0;            // dx / (c +- u), s
    std::vector<double> time, rise; // far-end pressure rise, Pa
};

WaveResult runwave(bool downstream, int cells);

struct GravityResult {
    std::vector<double> x, height, pressure, exactpressure;
    double pressureerror = 0;      // largest |p - p_exact| / (p_bottom - p_top)
    double maxvelocity = 0;        // largest |u| left, m/s
    double masschange = 0;         // relative change of the mass in the closed pipe
    double marchpressureerror = 0; // steadystate (no flow) against the same profile
    double settletime = 0;
    int errorcode = 0;
};

GravityResult rungravity(int cells);

struct BalanceResult {
    std::vector<double> time, linepack, netinflow; // kg, kg (time integral of in - out)
    std::vector<double> energy, netenergyinflow;   // J
    std::vector<double> inletflow, outletflow, inletpressure, outletpressure;
    double throughput = 0;     // time integral of the inflow, kg
    double linepackchange = 0; // kg
    double massresidual = 0;   // |change - net inflow|, kg
    double energychange = 0, energyresidual = 0, energythroughput = 0; // J
    double wallheat = 0;    // time integral of the wall heat flow, J
    double gravitywork = 0; // time integral of the work against gravity, J
    int errorcode = 0;
};

// Host steps of `hoststep` seconds.
BalanceResult runbalance(double hoststep = 10.0);

} // namespace validation

#endif
