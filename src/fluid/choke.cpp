// Choke pressure estimate: the pressure at which a given mass flow of the
// loaded gas at a given temperature passes a circular duct at Mach 1.
//
// For an ideal gas the Mach number at fixed mass flow and temperature is
// inversely proportional to pressure, so the update p <- p sqrt(M) halves the
// logarithmic distance to the choke pressure on every pass.
#include <cmath>

#include "engine/errors.h"
#include "fluid/fluid.h"

namespace pelmora {

namespace {

constexpr double chokestartpressure = 100000.0; // Pa
constexpr double chokeareafactor = 0.7855;      // area = 0.7855 D^2
constexpr double choketolerance = 0.01;         // |M - 1| at which the search stops
constexpr int chokepasslimit = 100;

bool positivefinite(double x) { return std::isfinite(x) && x > 0.0; }

} // namespace

bool approxchokepressure(Store& s, double T, double D, double m, double& p)
{
    if (!s.fluidloaded || !positivefinite(T) || !positivefinite(D) || !positivefinite(m)) {
        refusefluid(s);
        return false;
    }

    double trial = chokestartpressure;
    for (int pass = 1; pass <= chokepasslimit; ++pass) {
        // The state at (trial, T), validated and floored like any
        // evaluation; the velocity through the duct and the Mach number.
        const FluidState f = fluidstate(s, bypressuretemperature, trial, T);
        const double u = (m / f.density) / (chokeareafactor * D * D);
        const double M = u / f.soundspeed;
        // The new trial comes from the trial pressure itself, not from the
        // validated one.
        trial = trial * std::sqrt(M);
        if (!std::isfinite(trial)) {
            refusefluid(s);
            return false;
        }
        // Done once within one percent of Mach 1.
        if (!(std::abs(M - 1.0) > choketolerance)) {
            p = trial;
            return true;
        }
    }
    // No convergence within the pass limit (the choke pressure lies below
    // the pressure floor, for instance): report the last trial as a refusal.
    p = trial;
    refusefluid(s);
    return false;
}

} // namespace pelmora
