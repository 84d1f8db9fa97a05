// Exact and analytical solutions (see reference.h).
#include "reference.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace validation {

namespace {
constexpr double notanumber = std::numeric_limits<double>::quiet_NaN();

// Bisection of [low, high] towards the root of a function that is above
// `target` left of it; stops after 200 halvings or at a width of
// `tolerance` (times the upper end when `relative`).
template <class F>
double bisect(double low, double high, double tolerance, bool relative, double target, F f)
{
    for (int i = 0; i < 200 && high - low > tolerance * (relative ? high : 1.0); ++i) {
        const double mid = 0.5 * (low + high);
        (f(mid) > target ? low : high) = mid;
    }
    return 0.5 * (low + high);
}
} // namespace

ExactRiemann::ExactRiemann(GasState left, GasState right, double g)
    : left_(left), right_(right), gamma_(g)
{
    if (!(left.density > 0 && right.density > 0 && left.pressure > 0 && right.pressure > 0 &&
          g > 1))
        throw std::invalid_argument("Riemann data must have positive density and pressure");
    cleft_ = std::sqrt(g * left.pressure / left.density);
    cright_ = std::sqrt(g * right.pressure / right.density);
    const double pl = left.pressure, pr = right.pressure, du = right.velocity - left.velocity;
    if (2.0 / (g - 1.0) * (cleft_ + cright_) <= du)
        throw std::invalid_argument("Riemann data open a vacuum");

    // Starting guess: the linearised pressure when the two are close and it
    // lies between them, else the two-rarefaction guess below both, the
    // two-shock guess above.
    const double linear = std::max(
        0.0, 0.5 * (pl + pr) - 0.125 * du * (left.density + right.density) * (cleft_ + cright_));
    const double pmin = std::min(pl, pr), pmax = std::max(pl, pr);
    double p = 0;
    if (pmax / pmin < 2.0 && linear >= pmin && linear <= pmax) {
        p = linear;
    } else if (linear < pmin) {
        const double z = 0.5 * (g - 1.0) / g;
        p = std::pow((cleft_ + cright_ - 0.5 * (g - 1.0) * du) /
                         (cleft_ / std::pow(pl, z) + cright_ / std::pow(pr, z)),
                     1.0 / z);
    } else {
        const double p0 = std::max(1e-12 * pmin, linear);
        const double gl =
            std::sqrt(2.0 / ((g + 1.0) * left.density) / ((g - 1.0) / (g + 1.0) * pl + p0));
        const double gr =
            std::sqrt(2.0 / ((g + 1.0) * right.density) / ((g - 1.0) / (g + 1.0) * pr + p0));
        p = std::max(1e-12 * pmin, (gl * pl + gr * pr - du) / (gl + gr));
    }
    // Newton, keeping p positive, to a relative change of 1e-14; f is
    // monotone and concave, so a handful of iterations do.
    double fl = 0, fr = 0, dl = 0, dr = 0;
    int n = 1;
    for (; n <= 100; ++n) {
        fl = wavejump(p, left, cleft_, &dl);
        fr = wavejump(p, right, cright_, &dr);
        double next = p - (fl + fr + du) / (dl + dr);
        if (next <= 0)
            next = 0.1 * p;
        const double change = 2.0 * std::fabs(next - p) / (next + p);
        p = next;
        if (change < 1e-14)
            break;
    }
    if (n > 100)
        throw std::runtime_error("star pressure iteration did not converge");
    fl = wavejump(p, left, cleft_, &dl);
    fr = wavejump(p, right, cright_, &dr);
    // Star densities from the shock (Rankine-Hugoniot) or isentropic relation.
    const double m = (g - 1.0) / (g + 1.0);
    auto density = [&](const GasState& k) {
        const double ratio = p / k.pressure;
        return ratio > 1.0 ? k.density * (ratio + m) / (m * ratio + 1.0)
                           : k.density * std::pow(ratio, 1.0 / g);
    };
    star_ = {p, 0.5 * (left.velocity + right.velocity) + 0.5 * (fr - fl), density(left),
             density(right), n};
}

// f_K(p) and its derivative: a shock (p > p_K) gives (p - p_K) sqrt(A / (p + B)),
// A = 2 / ((g+1) rho_K), B = (g-1)/(g+1) p_K; a rarefaction
// 2 c_K / (g-1) ((p / p_K)^((g-1)/(2g)) - 1).
double ExactRiemann::wavejump(double p, const GasState& k, double c, double* derivative) const
{
    const double g = gamma_;
    if (p > k.pressure) {
        const double a = 2.0 / ((g + 1.0) * k.density);
        const double b = (g - 1.0) / (g + 1.0) * k.pressure;
        const double root = std::sqrt(a / (b + p));
        *derivative = root * (1.0 - 0.5 * (p - k.pressure) / (b + p));
        return (p - k.pressure) * root;
    }
    const double ratio = p / k.pressure;
    *derivative = std::pow(ratio, -0.5 * (g + 1.0) / g) / (k.density * c);
    return 2.0 * c / (g - 1.0) * (std::pow(ratio, 0.5 * (g - 1.0) / g) - 1.0);
}

// The left half of the solution (s at or left of the contact), walking
// outwards: the star state, then the shock or the fan, then the undisturbed
// state. The right half is its mirror image (x and u negated), which IEEE
// arithmetic reproduces exactly.
GasState ExactRiemann::side(double s, const GasState& w, double c, double us,
                            double stardensity) const
{
    const double g = gamma_, ps = star_.pressure;
    if (ps > w.pressure) {
        const double shock =
            w.velocity - c * std::sqrt(0.5 * (g + 1.0) / g * ps / w.pressure + 0.5 * (g - 1.0) / g);
        return s <= shock ? w : GasState{stardensity, us, ps};
    }
    if (s <= w.velocity - c)
        return w;
    if (s > us - c * std::pow(ps / w.pressure, 0.5 * (g - 1.0) / g))
        return {stardensity, us, ps};
    const double cf = 2.0 / (g + 1.0) * (c + 0.5 * (g - 1.0) * (w.velocity - s));
    const double uf = 2.0 / (g + 1.0) * (c + 0.5 * (g - 1.0) * w.velocity + s);
    return {w.density * std::pow(cf / c, 2.0 / (g - 1.0)), uf,
            w.pressure * std::pow(cf / c, 2.0 * g / (g - 1.0))};
}

GasState ExactRiemann::sample(double s) const
{
    if (s <= star_.velocity)
        return side(s, left_, cleft_, star_.velocity, star_.leftdensity);
    const GasState mirrored{right_.density, -right_.velocity, right_.pressure};
    GasState w = side(-s, mirrored, cright_, -star_.velocity, star_.rightdensity);
    w.velocity = -w.velocity;
    return w;
}

GasState ExactRiemann::average(double xa, double xb, double t, int points) const
{
    GasState sum;
    const double width = (xb - xa) / points;
    for (int i = 0; i < points; ++i) {
        const GasState w = sample((xa + (i + 0.5) * width) / t);
        sum.density += w.density;
        sum.velocity += w.velocity;
        sum.pressure += w.pressure;
    }
    return {sum.density / points, sum.velocity / points, sum.pressure / points};
}

double ExactRiemann::fastestsignal() const
{
    const double g = gamma_, us = std::fabs(star_.velocity);
    return std::max({std::fabs(left_.velocity) + cleft_, std::fabs(right_.velocity) + cright_,
                     us + std::sqrt(g * star_.pressure / star_.leftdensity),
                     us + std::sqrt(g * star_.pressure / star_.rightdensity)});
}

double fanningfriction(double reynolds, double relativeroughness)
{
    if (reynolds <= 2000.0)
        return 16.0 / reynolds;
    const double term =
        1.14 - 2.0 * std::log10(relativeroughness + 21.25 / std::pow(reynolds, 0.9));
    return 0.25 / (term * term);
}

// The residual p1^2 - p2^2 - K (4fL/D + 2 ln(p1/p2)), K = G^2 RT, falls on
// the subsonic branch p2 > sqrt(K); no root there when it is negative at
// sqrt(K).
double isothermalpressure(double p1, double massflux, double rt, double friction, double diameter,
                          double length)
{
    const double k = massflux * massflux * rt, frictionterm = 4.0 * friction * length / diameter;
    auto residual = [&](double p2) {
        return p1 * p1 - p2 * p2 - k * (frictionterm + 2.0 * std::log(p1 / p2));
    };
    if (length <= 0)
        return p1;
    if (residual(std::sqrt(k)) < 0)
        return notanumber;
    return bisect(std::sqrt(k), p1, 1e-15, true, 0.0, residual);
}

double fannofunction(double mach, double gamma)
{
    const double m2 = mach * mach;
    return (1.0 - m2) / (gamma * m2) +
           0.5 * (gamma + 1.0) / gamma * std::log((gamma + 1.0) * m2 / (2.0 + (gamma - 1.0) * m2));
}

// F falls from +inf at M = 0 to 0 at M = 1: a negative target chokes.
FannoState fannodownstream(double m1, double p1, double t1, double gamma, double friction,
                           double diameter, double length)
{
    const double target = fannofunction(m1, gamma) - 4.0 * friction * length / diameter;
    if (target < 0)
        return {notanumber, notanumber, notanumber};
    const double m2 =
        bisect(m1, 1.0, 1e-16, false, target, [&](double m) { return fannofunction(m, gamma); });
    const double tratio = (2.0 + (gamma - 1.0) * m1 * m1) / (2.0 + (gamma - 1.0) * m2 * m2);
    return {m2, p1 * (m1 / m2) * std::sqrt(tratio), t1 * tratio};
}

// The mass flux rises from 0 at T0 to its largest at the critical
// temperature; the subsonic root lies between the two.
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
    const double critical = 2.0 * t0 / (gamma + 1.0), wanted = massflow / a2;
    if (wanted > flux(critical))
        return {notanumber, notanumber};
    const double t = bisect(critical, t0, 1e-13 * t0, false, wanted, flux);
    return {p0 * std::pow(t / t0, gamma / (gamma - 1.0)), t};
}

} // namespace validation
