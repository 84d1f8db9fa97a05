// Uniform initial conditions: one pressure, temperature and mass flow per
// pipe. Every cell of a pipe gets the same state; the boundary store is made
// consistent with it, and both "loaded" flags of loadbc are cleared so that
// the first host step after initialisation applies constant boundary values
// rather than a ramp from the starting state.
#include <cmath>

#include "drivers/drivers.h"
#include "drivers/stepping.h"
#include "engine/errors.h"
#include "fluid/fluid.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

bool positivefinite(double x) { return std::isfinite(x) && x > 0.0; }

bool validinputs(const Store& s, const double* p, const double* T, const double* m)
{
    if (!p || !T || !m)
        return false;
    for (std::int32_t k = 0; k < s.numberofpipes; ++k)
        if (!positivefinite(p[k]) || !positivefinite(T[k]) || !std::isfinite(m[k]))
            return false;
    return true;
}

// Cell state at (P, T) with mass flow M through the cell.
void uniformcell(Store& s, std::int32_t i, double P, double T, double M)
{
    s.massflowrate(i) = M;
    cellrow(s, i).store(gasat(s, P, T, M, s.cellarea(i)));
}

void conservedfromcell(Store& s, std::int32_t i)
{
    s.conserved(1, i) = s.cellarea(i) * s.density(i);
    s.conserved(2, i) = s.density(i) * s.velocity(i);
    s.conserved(3, i) = s.density(i) * s.totalenergy(i);
}

} // namespace

void loadinitialconditions(Store& s, const double* p, const double* T, const double* m)
{
    const std::int32_t np = s.numberofpipes;
    if (!steppable(s, 1, np) || !validinputs(s, p, T, m)) {
        refusepipe(s);
        return;
    }

    // No change yet.
    for (Array1<double>* measure : {&s.densitychange, &s.temperaturechange, &s.massflowdeviation})
        measure->assign(static_cast<std::size_t>(measure->size()), 0.0);

    // Each pipe's values at both its ends and in every cell.
    for (std::int32_t pipe = 1; pipe <= np; ++pipe) {
        const double P = p[pipe - 1], Tp = T[pipe - 1], M = m[pipe - 1];
        s.midinletpressure(pipe) = s.midoutletpressure(pipe) = P;
        s.midinlettemperature(pipe) = s.midoutlettemperature(pipe) = Tp;
        s.midinletmassflow(pipe) = s.midoutletmassflow(pipe) = M;
        for (std::int32_t i = s.firstcell(pipe); i <= s.lastcell(pipe); ++i)
            uniformcell(s, i, P, Tp, M);
    }

    // End velocities and sound speeds of the network's end cells.
    s.endvelocity(1) = s.velocity(1);
    s.endvelocity(2) = s.velocity(s.totalcells);
    s.endsoundspeed(1) = s.soundspeed(1);
    s.endsoundspeed(2) = s.soundspeed(s.totalcells);

    // Latest and previous boundary values: each pipe's own values,
    // taken before the junction exchange below.
    s.inletpressure = s.midinletpressure;
    s.inlettemperature = s.midinlettemperature;
    s.inletmassflow = s.midinletmassflow;
    s.outletpressure = s.midoutletpressure;
    s.outlettemperature = s.midoutlettemperature;
    s.outletmassflow = s.midoutletmassflow;
    s.lastinletpressure = s.inletpressure;
    s.lastinlettemperature = s.inlettemperature;
    s.lastinletmassflow = s.inletmassflow;
    s.lastoutletpressure = s.outletpressure;
    s.lastoutlettemperature = s.outlettemperature;
    s.lastoutletmassflow = s.outletmassflow;

    // Carried-over network-end values; the next loadbc starts afresh.
    s.lastbcpressure(1) = s.inletpressure(1);
    s.lastbctemperature(1) = s.inlettemperature(1);
    s.lastbcmassflow(1) = s.inletmassflow(1);
    s.lastbcpressure(2) = s.outletpressure(np);
    s.lastbctemperature(2) = s.outlettemperature(np);
    s.lastbcmassflow(2) = s.outletmassflow(np);
    s.bcloaded(1) = logicalfalse;
    s.bcloaded(2) = logicalfalse;

    // Joints take the neighbouring cells' values; conserved variables.
    for (std::int32_t pipe = 1; pipe <= np; ++pipe) {
        exchangejunction(s, pipe);
        for (std::int32_t i = s.firstcell(pipe); i <= s.lastcell(pipe); ++i)
            conservedfromcell(s, i);
    }

    // The base level equals the current level.
    s.previousconserved = s.conserved;
}

} // namespace pelmora
