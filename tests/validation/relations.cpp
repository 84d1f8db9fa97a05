// Steady pipe-flow relations (see relations.h).
#include "relations.h"

#include <cmath>
#include <limits>

namespace validation {

namespace {
constexpr double notanumber = std::numeric_limits<double>::quiet_NaN();
}

double fanningfriction(double reynolds, double relativeroughness)
{
    if (reynolds <= 2000.0)
        return 16.0 / reynolds;
    const double term =
        1.14 - 2.0 * std::log10(relativeroughness + 21.25 / std::pow(reynolds, 0.9));
    return 0.25 / (term * term);
}

// Steps:
// 1. With K = G^2 RT, the residual r(p2) = p1^2 - p2^2 - K (4fL/D + 2 ln(p1/p2))
//    falls monotonically on the subsonic branch p2 > sqrt(K).
// 2. r(p1) < 0 always; if r(sqrt K) < 0 too there is no subsonic solution.
// 3. Bisection between sqrt(K) and p1 to double precision (200 halvings).
double isothermalpressure(double p1, double massflux, double rt, double friction, double diameter,
                          double length)
{
    const double k = massflux * massflux * rt;
    const double frictionterm = 4.0 * friction * length / diameter;
    auto residual = [&](double p2) {
        return p1 * p1 - p2 * p2 - k * (frictionterm + 2.0 * std::log(p1 / p2));
    };
    double low = std::sqrt(k), high = p1;
    if (length <= 0)
        return p1;
    if (residual(low) < 0)
        return notanumber;
    for (int i = 0; i < 200 && high - low > 1e-15 * high; ++i) {
        const double mid = 0.5 * (low + high);
        (residual(mid) > 0 ? low : high) = mid;
    }
    return 0.5 * (low + high);
}

double fannofunction(double mach, double gamma)
{
    const double m2 = mach * mach;
    return (1.0 - m2) / (gamma * m2) +
           0.5 * (gamma + 1.0) / gamma * std::log((gamma + 1.0) * m2 / (2.0 + (gamma - 1.0) * m2));
}

// Steps:
// 1. Target F(M2) = F(M1) - 4fL/D; F falls monotonically from +inf at M = 0
//    to 0 at M = 1, so a negative target means the duct chokes.
// 2. Bisection for M2 in [M1, 1].
// 3. Temperature and pressure from the stagnation-temperature and mass
//    conservation relations.
FannoState fannodownstream(double m1, double p1, double t1, double gamma, double friction,
                           double diameter, double length)
{
    const double target = fannofunction(m1, gamma) - 4.0 * friction * length / diameter;
    if (target < 0)
        return {notanumber, notanumber, notanumber};
    double low = m1, high = 1.0;
    for (int i = 0; i < 200 && high - low > 1e-16; ++i) {
        const double mid = 0.5 * (low + high);
        (fannofunction(mid, gamma) > target ? low : high) = mid;
    }
    const double m2 = 0.5 * (low + high);
    const double tratio = (2.0 + (gamma - 1.0) * m1 * m1) / (2.0 + (gamma - 1.0) * m2 * m2);
    return {m2, p1 * (m1 / m2) * std::sqrt(tratio), t1 * tratio};
}

// Steps:
// 1. Stagnation state from (p1, t1) and u1 = massflow / (rho1 a1).
// 2. The mass flux as a function of T rises from 0 at T0 to its maximum at
//    the critical temperature; bisection for T on that subsonic branch.
AreaChangeState isentropicareachange(double p1, double t1, double massflow, double a1, double a2,
                                     double gamma, double gasconstant)
{
    const double cp = gamma * gasconstant / (gamma - 1.0);
    const double u1 = massflow / (p1 / (gasconstant * t1) * a1);
    const double t0 = t1 + 0.5 * u1 * u1 / cp;
    const double p0 = p1 * std::pow(t0 / t1, gamma / (gamma - 1.0));
    const double rho0 = p0 / (gasconstant * t0);
    auto flux = [&](double t) {
        return rho0 * std::pow(t / t0, 1.0 / (gamma - 1.0)) * std::sqrt(2.0 * cp * (t0 - t));
    };
    const double critical = 2.0 * t0 / (gamma + 1.0);
    const double wanted = massflow / a2;
    if (wanted > flux(critical))
        return {notanumber, notanumber};
    double low = critical, high = t0;
    for (int i = 0; i < 200 && high - low > 1e-13 * t0; ++i) {
        const double mid = 0.5 * (low + high);
        (flux(mid) > wanted ? low : high) = mid;
    }
    const double t = 0.5 * (low + high);
    return {p0 * std::pow(t / t0, gamma / (gamma - 1.0)), t};
}

} // namespace validation
