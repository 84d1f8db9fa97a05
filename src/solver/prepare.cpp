// Step preparation: the only entry into the kernel.
//
// For a chain from the first cell of pipe firstpipe to the last cell of pipe
// lastpipe it sets the geometry of the two end faces, decides per end which
// of pressure, temperature and mass flow are imposed, evaluates the end
// states, forms the ghost conserved vectors beyond each end, publishes the
// network inlet and outlet states, and advances the chain with fctstep.
//
// In short: mass flow is imposed whenever flagged; pressure only at a network
// end and only while the Mach number recorded there is below 1; temperature
// only where the gas enters. Everything not imposed is extrapolated linearly
// from the two cells nearest the end.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fluid/fluid.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

// Linear extrapolation of a cell quantity to the face beyond `end`, through
// the cell `next` one further in.
double extrapolate(const Array1<double>& q, std::int32_t end, std::int32_t next)
{
    return 1.5 * q(end) - 0.5 * q(next);
}

// Geometry of an end face: the extrapolated diameter, the area from it, the
// rest copied from the adjacent end cell. The area squares the diameter
// first; the load forms cell and face areas as D pi/4 D, which differs from
// it in the last bit for some diameters.
void endfacegeometry(Store& s, std::int32_t face, std::int32_t cell, double diameter)
{
    s.facediameter(face) = diameter;
    s.facearea(face) = quarterpi * (diameter * diameter);
    s.faceinclination(face) = s.cellinclination(cell);
    s.facelength(face) = s.celllength(cell);
    s.inversefacelength(face) = 1.0 / s.celllength(cell);
}

// Evaluates the end state from the end's pressure, temperature and mass flow
// (already stored in endpressure/endtemperature/endmassflow), and returns the
// conserved vector of that state in v.
void endstate(Store& s, int end, double area, double v[3])
{
    const GasState g =
        gasat(s, s.endpressure(end), s.endtemperature(end), s.endmassflow(end), area);
    endrow(s, end).store(g);
    v[0] = area * g.density;
    v[1] = g.density * g.velocity;
    v[2] = g.density * g.totalenergy;
}

// The network-end state that the boundary queries report.
void publishnetworkend(Store& s, int end)
{
    networkendrow(s, end).store(endrow(s, end).load());
    s.bcmassflowrate(end) = s.endmassflow(end);
}

// The ghost beyond an end is the mirror of the end cell through the end-face
// value: ghost = 2 V - U, for the three conserved variables of the gas
// whatever number of variables the kernel updates (a host may have set
// another), as far as the arrays reach.
void ghost(Store& s, Array1<double>& target, const double v[3], std::int32_t cell)
{
    const std::int64_t n = std::min({std::int64_t{3}, s.conserved.nrows(), target.size()});
    for (std::int32_t k = 1; k <= n; ++k)
        target(k) = 2.0 * v[k - 1] - s.conserved(k, cell);
}

} // namespace

// (An end keeps no viscosity and no totals.)
GasRow endrow(Store& s, int end)
{
    return {&s.endpressure(end),   &s.endtemperature(end), &s.enddensity(end),
            &s.endenergy(end),     &s.endenthalpy(end),    nullptr,
            &s.endsoundspeed(end), &s.endvelocity(end),    &s.endmachnumber(end)};
}

// (The network end keeps no viscosity and no totals.)
GasRow networkendrow(Store& s, int end)
{
    return {&s.bcpressure(end),       &s.bctemperature(end), &s.bcdensity(end),
            &s.bcinternalenergy(end), &s.bcenthalpy(end),    nullptr,
            &s.bcsoundspeed(end),     &s.bcvelocity(end),    &s.bcmachnumber(end)};
}

void prepareinlet(Store& s, std::int32_t firstpipe)
{
    const std::int32_t first = s.firstcell(firstpipe);
    // End geometry.
    endfacegeometry(s, first, first, extrapolate(s.celldiameter, first, first + 1));
    const double al = s.facearea(first);
    s.pipeendarea(1) = al;
    // Mass flow.
    const double ml = istrue(s.inletmassflowfixed(firstpipe))
                          ? s.midinletmassflow(firstpipe)
                          : extrapolate(s.massflowrate, first, first + 1);
    s.endmassflow(1) = ml;
    // Pressure: imposed only at the network inlet while subsonic.
    const bool pressureimposed =
        istrue(s.inletpressurefixed(firstpipe)) && s.bcmachnumber(1) < 1.0 && firstpipe == 1;
    s.endpressure(1) =
        pressureimposed ? s.midinletpressure(firstpipe) : extrapolate(s.pressure, first, first + 1);
    // Temperature: imposed only where gas enters.
    const bool temperatureimposed = istrue(s.inlettemperaturefixed(firstpipe)) && ml > 0.0;
    s.endtemperature(1) = temperatureimposed ? s.midinlettemperature(firstpipe)
                                             : extrapolate(s.temperature, first, first + 1);
    // End state and ghost.
    double v[3];
    endstate(s, 1, al, v);
    ghost(s, s.inletghost, v, first);
    // Network inlet state.
    if (firstpipe == 1)
        publishnetworkend(s, 1);
}

void prepareoutlet(Store& s, std::int32_t lastpipe)
{
    const std::int32_t last = s.lastcell(lastpipe);
    const bool networkoutlet = lastpipe == s.numberofpipes;
    // End geometry.
    endfacegeometry(s, last + 1, last, extrapolate(s.celldiameter, last, last - 1));
    const double ar = s.facearea(last + 1);
    s.pipeendarea(2) = ar;
    // Mass flow.
    const double mr = istrue(s.outletmassflowfixed(lastpipe))
                          ? s.midoutletmassflow(lastpipe)
                          : extrapolate(s.massflowrate, last, last - 1);
    s.endmassflow(2) = mr;
    // Pressure: imposed only at the network outlet while subsonic.
    const bool pressureimposed =
        istrue(s.outletpressurefixed(lastpipe)) && s.bcmachnumber(2) < 1.0 && networkoutlet;
    s.endpressure(2) =
        pressureimposed ? s.midoutletpressure(lastpipe) : extrapolate(s.pressure, last, last - 1);
    // Temperature: gas enters through the right end when mr < 0.
    const bool temperatureimposed = istrue(s.outlettemperaturefixed(lastpipe)) && mr < 0.0;
    s.endtemperature(2) = temperatureimposed ? s.midoutlettemperature(lastpipe)
                                             : extrapolate(s.temperature, last, last - 1);
    // End state and network outlet state.
    double v[3];
    endstate(s, 2, ar, v);
    if (networkoutlet)
        publishnetworkend(s, 2);
    // Ghost.
    ghost(s, s.outletghost, v, last);
}

void preparestep(Store& s, double dt, std::int32_t firstpipe, std::int32_t lastpipe)
{
    prepareinlet(s, firstpipe);
    prepareoutlet(s, lastpipe);
    fctstep(s, s.firstcell(firstpipe), s.lastcell(lastpipe), dt);
}

} // namespace pelmora
