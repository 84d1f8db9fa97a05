// Cell source terms and the Fanning friction factor.
//
// The source vector completes the quasi-one-dimensional Euler equations
// whose mass variable is A rho (per unit length) while momentum and energy
// are per unit volume:
//   S1 = 0                                    no mass source
//   S2 = G - rho u^2 K + W                    gravity, area change, wall shear
//   S3 = (-rho h0 K + G) u + Q                area change, work of gravity, wall heat
// with K = (1/A) dA/dx, G = -g rho sin(theta), W the wall shear per unit
// volume and Q the wall heat flow per unit volume.
#include <cmath>

#include "engine/errors.h"
#include "solver/solver.h"

namespace pelmora {

double frictionfactor(double re, double relativeroughness)
{
    // 1. No flow (or nonsense): no friction.
    if (!(re > 0.001))
        return 0.0;
    // 2. Turbulent: explicit Jain-type formula.
    if (re > 2000.0) {
        const double l = std::log10(relativeroughness + 21.25 / std::pow(re, 0.9));
        const double t = 1.14 - l - l;
        return 0.25 / (t * t);
    }
    // 3. Laminar. There is no transition blending: the value jumps at 2000.
    return 16.0 / re;
}

void cellsource(Store& s, double source[3])
{
    const std::int32_t c = s.currentcell;
    const double rho = s.density(c);
    const double u = s.velocity(c);
    const double diameter = s.celldiameter(c);
    const double area = s.cellarea(c);
    const double mu = s.viscosity(c);
    const double k = s.areagradient(c);

    // 1. Friction factor from the cell's Reynolds number.
    double f = 0.0;
    if (mu > 0.0) {
        double re = rho * std::abs(u) * diameter / mu;
        if (re > reynoldscap) {
            re = reynoldscap;
            s.pipeerrorcode = codereynoldscapped;
        }
        f = frictionfactor(re, s.relativeroughness(c));
    }
    // 2. Gravity along the inclination.
    const double g = -gravity * rho * std::sin(s.cellinclination(c));
    // 3. Wall shear through the wetted perimeter, opposing the flow.
    const double w = -(0.5 * f) * rho * u * std::abs(u) * (pi * diameter) / area;
    // 4. Heat through the wall.
    const double q =
        (s.ambienttemperature(c) - s.temperature(c)) * s.heattransfercoefficient(c) *
        (pi * diameter) / area;
    // 5.-7. The source vector.
    source[0] = 0.0;
    source[1] = g - rho * u * u * k + w;
    source[2] = (-rho * s.totalenthalpy(c) * k + g) * u + q;
}

} // namespace pelmora
