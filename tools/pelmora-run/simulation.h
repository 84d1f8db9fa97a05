// Running a scenario through the engine's C interface: the call order of a
// host (gas, pipes, wall, starting state, boundary values, then one loadbc
// pair and one transientpipes per host step) and what is collected on the
// way.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "checks.h"
#include "engine.h"
#include "scenario.h"

namespace pelmorarun {

// State of both network ends at one time; index 0 = inlet, 1 = outlet.
struct EndSample {
    double time = 0;
    std::array<double, 2> pressure{}, temperature{}, massflow{}, density{}, velocity{}, mach{};
    // The cells next to the ends (an end state holds an imposed pressure
    // even when the flow there is choked; the cell shows what the gas does).
    std::array<double, 2> cellpressure{}, celltemperature{};
    // The line as a whole: its mass (kg) and its coldest cell (K).
    double linepack = 0, lowesttemperature = 0;
};

// The state along the whole line at one time, cell by cell.
struct Profile {
    double time = 0;
    std::vector<int> pipe;
    std::vector<double> position; // cell centre, m from the line's inlet
    std::vector<double> pressure, temperature, massflow, density, velocity, mach;
};

// An engine error code met during the run.
struct CodeRecord {
    int count = 0;              // host steps (or set-up calls) that reported it
    double first = 0, last = 0; // simulated times, s
    std::string firstcall;      // the call after which it was first read
};

// A spell of host steps in which the host held a pressure-held end above
// the table's pressure because the gas leaving through it would otherwise
// have gone faster than sound (see choke.h).
struct ChokeSpell {
    int end = 0;                 // 0 inlet, 1 outlet
    double from = 0, to = 0;     // simulated times of the first and last such step's end, s
    long hoststeps = 0;          // steps held at the choke pressure of the leaving flow
    long openingsteps = 0;       // steps held by the bound on the fall per step
    double massflowmax = 0;      // kg/s leaving, the most after any of its steps
    double massflowlast = 0;     // kg/s leaving after its last step
    double pressuremax = 0;      // Pa, the highest pressure the host imposed
    double tablepressuremin = 0; // Pa, the lowest the table asked for meanwhile
};

// Extremes over the run, with the time they occurred.
struct Extreme {
    double value = 0, time = 0;
    bool set = false;
    void below(double v, double t)
    {
        if (!set || v < value) {
            value = v;
            time = t;
            set = true;
        }
    }
    void above(double v, double t)
    {
        if (!set || v > value) {
            value = v;
            time = t;
            set = true;
        }
    }
};

struct Results {
    // The gas as loaded into the engine.
    double molweight = 0, gamma = 0, compressibility = 0;
    bool realgas = false;
    int ncells = 0;
    double linelength = 0;
    int steadystatus = -1; // status of steadystate, -1 when not used

    std::vector<EndSample> series; // t = 0 and every host step
    std::vector<Profile> profiles;

    double linepackstart = 0, linepackend = 0; // kg
    double massin = 0, massout = 0;            // kg through the ends, integrated over time

    Extreme maxpressure, minpressure, mintemperature, maxtemperature, maxmach; // cells
    std::array<Extreme, 2> endmaxpressure, endminpressure, endmaxflow, endminflow, endmaxmach;

    std::map<int, CodeRecord> codes;

    std::vector<ChokeSpell> chokes; // in the order they began
    std::vector<Warning> warnings;  // the checks before the run

    bool completed = false;
    std::string stopreason; // why the run ended early
    double simulated = 0;   // s
    double walltime = 0;    // s
    long hoststeps = 0;
};

// Thrown when the engine refuses the scenario at set-up (code 3 after a
// load call, a failed steady state) or the real-gas provider cannot be made.
struct RunError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs the scenario. `progress` is called after every host step with the
// simulated time. A code 3 during the transient ends the run early
// (results.completed false, results.stopreason set); other codes are
// recorded and the run goes on.
Results runscenario(const Engine& engine, const Scenario& scenario,
                    const std::function<void(double)>& progress = {});

} // namespace pelmorarun
