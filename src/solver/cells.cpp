// Cell state update: the primitive state of every cell from its conserved
// variables (A rho, rho u, rho E), the density floor, and the change measures
// that the steady pipe march reduces to its convergence test.
#include <cmath>

#include "fluid/fluid.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

// Relative deviation of a cell's mass flow from the first cell's. Two flows
// whose magnitudes add up to no more than a trillionth of rho c A are both
// rounding noise around zero and count as equal: without this a gas at rest
// compares 1e-16 with -1e-16 and never looks steady.
double deviation(double mdot, double mfirst, double noisescale)
{
    const double sum = std::abs(mdot) + std::abs(mfirst);
    if (sum <= 1.0e-12 * noisescale)
        return 0.0;
    return std::abs(mdot - mfirst) / sum;
}

} // namespace

void updatecells(Store& s, std::int32_t first, std::int32_t last)
{
    for (std::int32_t c = first; c <= last; ++c) {
        const double area = s.cellarea(c);
        // 1. Density from the mass per unit length, floored (NaN included).
        double rho = s.conserved(1, c) / area;
        if (!(rho > cellmassdensityfloor))
            rho = cellmassdensityfloor;
        // 2. Velocity and specific total energy.
        const double u = s.conserved(2, c) / rho;
        const double etotal = s.conserved(3, c) / rho;
        s.velocity(c) = u;
        // 3. Context for the fluid evaluation.
        s.currentcell = c;
        s.currentface = 0;
        // 4. A floored density is reflected in the conserved mass.
        s.conserved(1, c) = area * rho;
        // 5. Specific internal energy.
        const double e = etotal - 0.5 * u * u;
        // 6. Density change against the previous update.
        s.densitychange(c) = std::abs(rho - s.density(c)) / rho;
        // 7. Mass flow.
        const double mdot = rho * u * area;
        s.massflowrate(c) = mdot;
        // 8. Fluid state at (rho, e).
        fluidstate(s, bydensityenergy, rho, e);
        // 9. Keep the values handed to the fluid model, not its floored ones.
        s.density(c) = rho;
        s.internalenergy(c) = e;
        // 10. Temperature and its change.
        const double T = fluidtemperature(s);
        s.temperaturechange(c) = std::abs(T - s.temperature(c)) / T;
        s.temperature(c) = T;
        // 11. The rest of the fluid state.
        s.enthalpy(c) = fluidenthalpy(s);
        s.viscosity(c) = fluidviscosity(s);
        s.pressure(c) = fluidpressure(s);
        s.soundspeed(c) = fluidsoundspeed(s);
        // 12. Derived quantities.
        s.machnumber(c) = std::abs(u) / s.soundspeed(c);
        s.totalenergy(c) = e + 0.5 * u * u;
        s.totalenthalpy(c) = s.enthalpy(c) + 0.5 * u * u;
        // Deviation of the mass flow from the first cell of the range (whose
        // own value was stored above when c == first).
        s.massflowdeviation(c) =
            deviation(mdot, s.massflowrate(first), rho * s.soundspeed(c) * area);
    }
}

} // namespace pelmora
