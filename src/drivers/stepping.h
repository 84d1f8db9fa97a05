// Pieces shared by the transient and steady drivers: the stability limit,
// the stage values at the chain ends, the junction exchange between pipes,
// the end-of-stage refresh, and the check that the store can be stepped.
#pragma once

#include <cstdint>

#include "engine/store.h"

namespace pelmora {

// True when the store holds a gas and a network whose layout the kernel can
// step without reading outside its arrays: every pipe owns at least one cell
// inside the allocated range, the counts agree with the allocation, and the
// chain of pipes firstpipe..lastpipe has at least two cells (the end
// extrapolation reads the second cell from each end).
bool steppable(const Store& s, std::int32_t firstpipe, std::int32_t lastpipe);

// Half the smallest cell crossing time dx / (|u| + c) of pipe p (|u| + c
// floored at 1e-5 m/s), capped by maximumtimestep. NaN if any cell state is
// not a number, so a broken state stops the driver instead of hiding.
double pipelimit(const Store& s, std::int32_t p);

// The pipe limit over all pipes combined with the limits of the two network
// ends, which use the network-end states of the previous pipe step.
double networklimit(const Store& s);

// True when a sub-step h can advance the clock t.
bool usablesubstep(double h, double t);

// Stops a march that cannot finish in any useful time: a stability limit
// that is not a positive number, one that has collapsed to a billionth of
// the first limit of the call (the state has blown up, so the clock would
// crawl), more than maximumsubsteps sub-steps, or, from the second sub-step
// on, a span still to go (togo) that needs more sub-steps of length h than
// the budget has left: such a march would only end at the budget, so it
// ends now. One division per sub-step.
class SubstepBudget {
public:
    bool allows(double limit, double h, double togo);

private:
    double first = 0.0;
    std::int64_t count = 0;
};

// Boundary values applied at the two ends of a chain for one stage.
struct StageValues {
    double inletpressure, inlettemperature, inletmassflow;
    double outletpressure, outlettemperature, outletmassflow;
};

// First stage: each applied value is the mean of the value carried over from
// the previous stage and the new value; the carried-over pairs then take the
// new values. Second stage: the carried-over values themselves.
void applyfirststage(Store& s, std::int32_t inletpipe, std::int32_t outletpipe,
                     const StageValues& target);
void applysecondstage(Store& s, std::int32_t inletpipe, std::int32_t outletpipe);

// Each internal joint takes, on either side, the pressure, temperature and
// mass flow of the neighbouring cell across the joint (pipe p only).
void exchangejunction(Store& s, std::int32_t p);
void exchangejunctions(Store& s);

// Base-level copy and end states of pipe p, when its pass flag is set.
void refreshpipe(Store& s, std::int32_t p);

// After a stage over pipes firstpipe..lastpipe: junction exchange (when
// the whole network is stepped as one chain), refresh of flagged pipes,
// inversion of their pass flags.
void endstage(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, bool junctions);

// One sub-step of length h over the chain firstpipe..lastpipe: stage A over
// h/2 with the mean of the carried-over and the target end values, stage B
// over h with the target values, both from the same base state. Takes the
// swept form when sweepstogether allows, else the sequential one; both
// leave the same store, bit for bit.
void twostagesubstep(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, double h,
                     const StageValues& target, bool junctions);

// The sub-step as written: stage A over the whole chain, its end, stage B
// over the whole chain, its end.
void sequentialsubstep(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, double h,
                       const StageValues& target, bool junctions);

// The same sub-step with both stages in one sweep along the chain, stage B a
// block behind stage A: on a long line each block's data is then read from
// memory once per sub-step instead of twice.
void sweptsubstep(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, double h,
                  const StageValues& target, bool junctions);

// True when the swept form gives the sequential form's result: an ideal gas
// (a host model must see its calls in cell order, stage by stage) and no
// pass flag set on the chain (a set flag refreshes its pipe between the
// stages).
bool sweepstogether(const Store& s, std::int32_t firstpipe, std::int32_t lastpipe);

} // namespace pelmora
