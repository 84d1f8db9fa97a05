// Settling marches: the two-stage sub-steps of the transient drivers run in
// time under the latest boundary values, without a ramp, until the flow
// settles. (The steady state found face by face, without time stepping, is
// steadystate.cpp.)
//
// steadypipes marches the whole network for a given span; steadypipe marches
// one pipe and stops as soon as no cell's density or temperature moved by one
// part in ten thousand over the last sub-step and its mass flow is uniform to
// one part in a thousand.
#include <algorithm>
#include <cmath>

#include "drivers/drivers.h"
#include "drivers/stepping.h"
#include "engine/errors.h"

namespace pelmora {

namespace {

// The latest boundary values of the chain's ends, without a ramp.
StageValues latestvalues(const Store& s, std::int32_t inletpipe, std::int32_t outletpipe)
{
    StageValues v{};
    v.inletpressure = s.inletpressure(inletpipe);
    v.inlettemperature = s.inlettemperature(inletpipe);
    v.inletmassflow = s.inletmassflow(inletpipe);
    v.outletpressure = s.outletpressure(outletpipe);
    v.outlettemperature = s.outlettemperature(outletpipe);
    v.outletmassflow = s.outletmassflow(outletpipe);
    return v;
}

// Largest relative change of density and temperature, and largest mass-flow
// deviation, over the cells of pipe p: the steady test of the last sub-step.
bool pipeconverged(const Store& s, std::int32_t p)
{
    double drho = 0.0, dT = 0.0, dm = 0.0;
    for (std::int32_t i = s.firstcell(p); i <= s.lastcell(p); ++i) {
        drho = std::max(drho, s.densitychange(i));
        dT = std::max(dT, s.temperaturechange(i));
        dm = std::max(dm, s.massflowdeviation(i));
    }
    return drho < 1.0e-4 && dT < 1.0e-4 && dm < 0.001;
}

} // namespace

void steadypipes(Store& s, double tmax, double& elapsed)
{
    if (!(tmax > 0.0)) {
        elapsed = 0.0;
        return;
    }
    const std::int32_t np = s.numberofpipes;
    if (!std::isfinite(tmax) || !steppable(s, 1, np)) {
        refusepipe(s);
        return;
    }
    elapsed = 0.0;
    SubstepBudget budget;
    while (tmax > elapsed) {
        // No cap by the remaining span: the last sub-step may pass tmax.
        const double h = networklimit(s);
        if (!budget.allows(h, h, tmax - elapsed) || !usablesubstep(h, elapsed)) {
            refusepipe(s);
            return;
        }
        elapsed = elapsed + h;
        twostagesubstep(s, 1, np, h, latestvalues(s, 1, np), true);
    }
}

void steadypipe(Store& s, std::int32_t pipe, double tmax, double& elapsed)
{
    if (!(tmax > 0.0)) {
        elapsed = 0.0;
        return;
    }
    if (!std::isfinite(tmax) || !haspipe(s, pipe) || !steppable(s, pipe, pipe)) {
        refusepipe(s);
        return;
    }
    elapsed = 0.0;
    SubstepBudget budget;
    while (tmax > elapsed) {
        const double h = pipelimit(s, pipe);
        if (!budget.allows(h, h, tmax - elapsed) || !usablesubstep(h, elapsed)) {
            refusepipe(s);
            return;
        }
        elapsed = elapsed + h;
        twostagesubstep(s, pipe, pipe, h, latestvalues(s, pipe, pipe), false);
        if (pipeconverged(s, pipe))
            return;
    }
}

} // namespace pelmora
