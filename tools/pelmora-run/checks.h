// Checks of a scenario before it runs, for what the engine's scheme is known
// to get wrong or what looks like a slip of units. Each finding names the
// place in the scenario, says what to expect and points to the measurement
// in docs/validation.md.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"

namespace pelmorarun {

struct Warning {
    std::string code;    // short and stable, e.g. "bore-step" (listed in checks.cpp)
    std::string where;   // the scenario field, e.g. "pipes[0]/pipes[1]"
    std::string message; // one line for people
};

struct Checks {
    std::vector<Warning> warnings;
    // Why the scenario is not run (empty: it is): neighbouring cells whose
    // lengths differ beyond what the scheme survives.
    std::string refusal;
};

// The largest ratio of neighbouring cell lengths pelmora-run runs. The
// validation report bisected 13.5 as the largest that ran and 14 as the
// first that diverged (docs/validation.md#cell-ratio); 10 keeps a margin.
constexpr double largestcellratio = 10.0;

// Cells of one pipe as the engine makes them (pelmora.h, loadpipedata).
int cellcount(const Pipe& pipe);

// All checks; `gas` as the engine is loaded with it.
Checks checkscenario(const Scenario& scenario, const GasConstants& gas);

} // namespace pelmorarun
