// The validation cases. Each sets up a problem with a known answer, drives
// the engine through its C header and shared library as a process-simulation
// host does (class Line), and returns what was computed next to the answer.
// validation_test.cpp bounds the measures on coarse grids; report.cpp runs
// them at full size into docs/validation.md. The engine is one per process
// and keeps the network-end state of the previous network, so the order in
// which cases run is part of their result: the report keeps its order.
#ifndef PELMORA_VALIDATION_CASES_H
#define PELMORA_VALIDATION_CASES_H

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "reference.h"

namespace validation {

// The built-in ideal gas: p = Z (8314.3 / molweight) rho T; viscosity 0
// switches wall friction off.
struct Gas {
    double molweight = 28.97, gamma = 1.4, viscosity = 0.0, compressibility = 1.0;
    double gasconstant() const { return compressibility * 8314.3 / molweight; }
    double cp() const { return gamma * gasconstant() / (gamma - 1.0); }
    double soundspeed(double t) const { return std::sqrt(gamma * gasconstant() * t); }
};

struct Pipe {
    double length = 100.0, diameter = 0.5;
    double inclination = 0.0; // rad, uphill from inlet to outlet
    double roughness = 0.0, celllength = 1.0, ambient = 288.15, heattransfer = 0.0;
    double outletdiameter = 0.0; // for a taper; 0: the same as diameter
};

// One network loaded into the engine, with the per-pipe answers gathered
// into arrays along the whole line.
class Line {
public:
    Line(const Gas& gas, const std::vector<Pipe>& pipes); // throws on a refusal
    int cells() const { return static_cast<int>(centre.size()); }
    // Uniform starting state per pipe, or the same for every pipe.
    void start(const std::vector<double>& p, const std::vector<double>& t,
               const std::vector<double>& m);
    void start(double p, double t, double m);
    std::vector<double> profile(void (*query)(int32_t, double*)) const;
    static double end(void (*query)(int32_t, double*), int end);
    static int errorcode(); // reads and clears
    // From the conserved variables (the state at the end of the last driver
    // call; the profile queries lag half a sub-step): density, velocity,
    // pressure per cell; mass (kg) and energy without potential energy (J).
    std::vector<GasState> state() const;
    double mass() const;
    double energy() const;

    Gas gas;
    std::vector<Pipe> pipes;
    std::vector<int> count, owner;           // cells per pipe; pipe of each cell (1-based)
    std::vector<double> centre, width, area; // along the line, from the inlet
};

// Marches with steadypipes in spans of `span` s until no cell pressure moves
// by `tolerance` (relative) over a span, or `limit` s. Returns the time.
double settle(const Line& line, double span, double limit, double tolerance);

// Shock tubes: a Riemann problem on [0, 1], diaphragm at 0.5, wanted at
// `time`, realised in SI with density, pressure and length scales.
struct RiemannProblem {
    std::string name, key;
    GasState left, right;
    double time, density, pressure, length;
    double velocity() const { return std::sqrt(pressure / density); }
    double timescale() const { return length / velocity(); }
};
// Sod's problem, the strong shock (pressure ratio 1e5), two rarefactions.
extern const std::vector<RiemannProblem> riemannproblems;

struct ShockTubeResult {
    int cells = 0, errorcode = 0;
    // Non-dimensional x; rho, u, p computed, then the exact cell averages.
    std::vector<std::vector<double>> rows;
    double l1density = 0, l1velocity = 0, l1pressure = 0; // mean absolute errors
    // Largest new extremum: how far a cell lies outside the exact values
    // within two cells of it, as a fraction of the exact profile's range.
    double densityovershoot = 0, velocityovershoot = 0;
    double l1querieddensity = 0; // of the profile query's density
};
// Two pipes of cells/2, joined at the diaphragm. courant > 0 caps the
// sub-step at courant dx / (fastest exact signal speed). Ends where the gas
// rests are closed, unless `freeends`: then nothing is imposed anywhere.
ShockTubeResult runshocktube(const RiemannProblem& problem, int cells, double courant = 0.0,
                             bool freeends = false);
inline double observedorder(double coarse, double fine) { return std::log2(coarse / fine); }

struct SteadyResult {
    std::vector<std::vector<double>> rows; // x; p, T, Mach each computed then exact
    double pressureerror = 0;              // largest |p - exact| / (p_in - p_out)
    double endpressureerror = 0;           // the same at the free end face
    double temperatureerror = 0;           // largest |T - exact|, K
    double settletime = 0;                 // s marched by steadypipes
    int status = 0, errorcode = 0;
};
// Isothermal: 50 km, strong wall heat; Fanno: 40 m adiabatic at Mach 0.3 in.
// `settle` false: steadystate from end 1; true: steadypipes until settled.
SteadyResult runsteady(bool fanno, int cells, bool settle);
// The Fanno pipe with inlet pressure and temperature imposed at inlet Mach
// `mach`: the largest relative deviation of a cell's flow from the outlet's
// over one second after 20 s.
double inletpressurewiggle(double mach, int cells);

struct WaveResult {
    double expected = 0, measured = 0;     // arrival, s
    double celltime = 0;                   // dx / (c +- u)
    std::vector<std::vector<double>> rows; // t, far-end pressure rise (Pa)
};
WaveResult runwave(bool downstream, int cells);

struct GravityResult {
    std::vector<std::vector<double>> rows;            // x, height, p, p exact
    double pressureerror = 0, marchpressureerror = 0; // relative to bottom - top
    double maxvelocity = 0, masschange = 0, settletime = 0;
    int errorcode = 0;
};
GravityResult rungravity(int cells);

struct BalanceResult {
    std::vector<std::vector<double>> record; // h; t pack, net in; GJ energy, net in; flows; bar
    double throughput = 0, linepackchange = 0, massresidual = 0; // kg
    double energychange = 0, energyresidual = 0, energythroughput = 0, wallheat = 0,
           gravitywork = 0; // J
    int errorcode = 0;
};
BalanceResult runbalance(double hoststep);

// Where the scheme is wrong. Bore step: 1 km of 0.6 m, a taper of
// `taperlength` m (0: none), 1 km of 0.6 `ratio` m, settled.
struct BoreStepResult {
    double exact = 0, computed = 0;        // K, downstream bore: exact, mean of the cells
    double worst = 0;                      // K, largest cell error from the step on
    std::vector<std::vector<double>> rows; // x, T, T exact
    int errorcode = 0;
};
BoreStepResult runborestep(double ratio, double taperlength = 0.0);

// 10 km of 1000 m cells, 2 km in `middlecells` cells, 10 km of 1000 m cells,
// an hour in 10 s steps.
struct CellRatioResult {
    double ratio = 0, time = 0;
    bool diverged = false;
    std::vector<std::vector<double>> rows; // minute, largest cell-to-cell flow jump / flow
};
CellRatioResult runcellratio(int middlecells);
// Bisection on the middle count: the largest ratio that runs, the smallest
// that diverges.
std::pair<double, double> findcellratiolimit();

// A vent: `length` m of 0.3 m line, outlet opening from 60 bar to 1 atm in
// 5 s; fed (inlet held at 60 bar) or closed; with or without the host's
// choke handling (tools/pelmora-run/choke.h).
struct VentSetup {
    double length, celllength;
    bool fed;
    double endtime;
};
inline constexpr VentSetup ventline{2000, 50, true, 600}, blowdownline{10000, 200, false, 3600};
struct VentResult {
    bool stopped = false; // cut short with code 3
    double stoppedat = 0, maxmach = 0, lowesttemperature = 0, lowestendtemperature = 0;
    double flow = 0, linepack = 0;           // at the end
    std::vector<std::vector<double>> record; // t, Mach, outflow, outlet T, coldest T
};
VentResult runvent(const VentSetup& setup, double hoststep, bool choke);

// 60 km, flows imposed at both ends; the inlet runs down at 10 min.
struct ImbalanceResult {
    double throughput = 0, residual = 0;   // kg
    std::vector<std::vector<double>> rows; // hour, cumulative residual in t
};
ImbalanceResult runimbalance(double celllength);

// Flow control switched to pressure control at 300 s; the host passes 0 or
// the current end value for what it does not impose.
struct SwitchResult {
    bool stopped = false;
    double stoppedat = 0, lowestpressure = 0, peakinflow = 0;
    std::vector<std::vector<double>> record; // t, inflow, first-cell pressure in bar
};
SwitchResult runswitch(bool currentvalues);

} // namespace validation

#endif
