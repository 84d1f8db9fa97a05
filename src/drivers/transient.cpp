// Transient stepping: advance the network, or one pipe, through one host
// time step.
//
// The host step is divided into sub-steps under the stability limit. Each
// sub-step is two stages from the same base state previousconserved: stage A
// advances half the sub-step with the boundary values at the middle of the
// sub-step, stage B the whole sub-step with the values at its end, the rates
// taken at the half-step state (the midpoint rule). Boundary values are
// ramped linearly across the host step from the host's previous to its
// latest values.
#include <algorithm>
#include <cmath>

#include "drivers/drivers.h"
#include "drivers/stepping.h"
#include "engine/errors.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

double ramp(double previous, double latest, double f) { return previous * (1.0 - f) + latest * f; }

// The latest boundary values of the chain's two ends at ramp fraction f.
StageValues rampedvalues(const Store& s, std::int32_t inletpipe, std::int32_t outletpipe, double f)
{
    const ConstPipeEnd in = pipeend(s, inletpipe, 1);
    const ConstPipeEnd out = pipeend(s, outletpipe, 2);
    StageValues v{};
    v.inletpressure = ramp(in.lastpressure, in.pressure, f);
    v.inlettemperature = ramp(in.lasttemperature, in.temperature, f);
    v.inletmassflow = ramp(in.lastmassflow, in.massflow, f);
    v.outletpressure = ramp(out.lastpressure, out.pressure, f);
    v.outlettemperature = ramp(out.lasttemperature, out.temperature, f);
    v.outletmassflow = ramp(out.lastmassflow, out.massflow, f);
    return v;
}

} // namespace

void transientpipes(Store& s, double dt)
{
    // Nothing to do for a step that is not positive; an endless one is
    // refused.
    if (!(dt > 0.0))
        return;
    const std::int32_t np = s.numberofpipes;
    if (!std::isfinite(dt) || !steppable(s, 1, np)) {
        refusepipe(s);
        return;
    }
    // Sub-steps until the host step is used up.
    double t = 0.0;
    SubstepBudget budget;
    do {
        // Stability limits, the half-step cap and the rest of the step.
        const double limit = networklimit(s);
        const double h = std::min(limit, std::min(0.5 * dt, dt - t));
        if (!budget.allows(limit, h, dt - t) || !usablesubstep(h, t)) {
            refusepipe(s);
            return;
        }
        // Advance the clock; the ramp fraction is where the sub-step ends.
        t = t + h;
        const double f = t / dt;
        // Ramped end values, the two stages.
        twostagesubstep(s, 1, np, h, rampedvalues(s, 1, np, f), true);
    } while (t < dt);
}

void transientpipe(Store& s, std::int32_t pipe, double dt)
{
    if (!(dt > 0.0))
        return;
    if (!std::isfinite(dt) || !haspipe(s, pipe) || !steppable(s, pipe, pipe)) {
        refusepipe(s);
        return;
    }
    double t = 0.0;
    SubstepBudget budget;
    do {
        // No network-end limit and no half-step cap: a step within the
        // stability limit is taken whole.
        const double limit = pipelimit(s, pipe);
        const double h = std::min(limit, dt - t);
        if (!budget.allows(limit, h, dt - t) || !usablesubstep(h, t)) {
            refusepipe(s);
            return;
        }
        t = t + h;
        const double f = t / dt;
        twostagesubstep(s, pipe, pipe, h, rampedvalues(s, pipe, pipe, f), false);
    } while (t < dt);
}

} // namespace pelmora
