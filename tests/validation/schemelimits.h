// Where the scheme is wrong, and by how much: cases that measure the known
// limits of the engine's scheme (which is fixed) and of hosts that drive it
// naively, so that docs/validation.md can state them and pelmora-run can
// warn about them. Like the other cases they reach the engine only through
// the C header.
#ifndef PELMORA_VALIDATION_SCHEMELIMITS_H
#define PELMORA_VALIDATION_SCHEMELIMITS_H

#include <vector>

namespace validation {

// ---------------------------------------------------------------------------
// Bore steps
// ---------------------------------------------------------------------------

struct BoreStepResult {
    double ratio = 0;         // downstream over upstream diameter
    double taperlength = 0;   // m of taper pipe between the two bores (0: a step)
    double exact = 0;         // K, exact temperature in the downstream bore
    double computed = 0;      // K, mean temperature of the downstream pipe
    double worst = 0;         // K, largest |T - exact| of any cell from the step on
    double upstreamerror = 0; // K, largest |T - T_in| of the upstream pipe
    std::vector<double> x, temperature, exacttemperature; // along the line
    int errorcode = 0;
};

// 1 km of 0.6 m bore, then (optionally) a taper of `taperlength` m, then
// 1 km of 0.6 `ratio` m; 50 m cells, frictionless and adiabatic, 60 bar and
// 288.15 K imposed at the inlet, 60 kg/s drawn at the outlet, settled.
BoreStepResult runborestep(double ratio, double taperlength = 0.0);

// ---------------------------------------------------------------------------
// Neighbouring cells of different length
// ---------------------------------------------------------------------------

struct CellRatioResult {
    double ratio = 0;      // long cell over short cell at the two joints
    bool diverged = false; // cut short with code 3 or a state not a number
    double time = 0;       // s run (up to the hour)
    // After every host step: h; the largest jump of mass flow between
    // neighbouring cells, relative to the flow.
    std::vector<double> hour, deviation;
};

// 10 km of 1000 m cells, 2 km of 2000/`middlecells` m cells, 10 km of 1000 m
// cells, 0.6 m bore, 60 kg/s through it from 60 bar, one hour in 10 s steps.
CellRatioResult runcellratio(int middlecells);

// Bisection over the middle pipe's cell count: the largest ratio that runs
// the hour and the smallest that diverges.
struct CellRatioLimit {
    double safe = 0, diverges = 0;
};
CellRatioLimit findcellratiolimit();

// ---------------------------------------------------------------------------
// A choked vent
// ---------------------------------------------------------------------------

struct VentSetup {
    double length = 2000, diameter = 0.3, celllength = 50;
    bool fed = true;      // inlet held at 60 bar (false: closed, wall heat 3 W/(m2 K))
    double endtime = 600; // s
};

// The 2 km vent of the issue that found it and the shipped blowdown example.
VentSetup ventline();
VentSetup blowdownline();

struct VentResult {
    double hoststep = 0;
    bool choke = false;              // the host's choke handling (tools/pelmora-run/choke.h)
    bool stopped = false;            // cut short with code 3
    double stoppedat = 0;            // s
    double maxmach = 0;              // at the outlet end, sampled after each host step
    double lowesttemperature = 0;    // K, of any cell
    double lowestendtemperature = 0; // K, of the outlet end state
    double flow = 0;                 // kg/s leaving at the end
    double linepack = 0;             // kg at the end
    std::vector<double> time, mach, outflow, outlettemperature, coldest;
};

// The outlet opens from 60 bar to 1 atm within 5 s.
VentResult runvent(const VentSetup& setup, double hoststep, bool choke);

// ---------------------------------------------------------------------------
// Mass through ends with imposed flow
// ---------------------------------------------------------------------------

struct ImbalanceResult {
    double celllength = 0;
    double throughput = 0; // kg in through the inlet
    double residual = 0;   // kg: line pack change minus the integral of the imposed flows
    std::vector<double> hour, cumulative; // h; residual so far, kg
};

// 60 km of 0.5 m line, flows imposed at both ends: 50 kg/s steady, then the
// inlet flow runs down to nothing between 10 and 11 minutes while the outlet
// keeps drawing 50 kg/s; two hours in 30 s steps.
ImbalanceResult runimbalance(double celllength);

// ---------------------------------------------------------------------------
// A switch of control mode
// ---------------------------------------------------------------------------

struct SwitchResult {
    bool currentvalues = false; // the host passes current end values for what it does not fix
    bool stopped = false;
    double stoppedat = 0;
    double lowestpressure = 0; // Pa, of the first cell after the switch
    double peakinflow = 0;     // kg/s, largest |inflow| after the switch
    std::vector<double> time, inflow, firstpressure;
};

// 10 km of 0.5 m line, 50 m cells, 50 bar, 30 kg/s drawn at the outlet. The
// inlet imposes its flow (30 kg/s) for 300 s, then switches to pressure
// control at 50.5 bar; host steps of 10 s.
SwitchResult runswitch(bool currentvalues);

} // namespace validation

#endif
