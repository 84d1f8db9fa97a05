// Exact Riemann solver for the ideal-gas Euler equations (see riemann.h).
#include "riemann.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace validation {

namespace {

double soundspeed(const GasState& w, double gamma)
{
    return std::sqrt(gamma * w.pressure / w.density);
}

} // namespace

ExactRiemann::ExactRiemann(GasState left, GasState right, double gamma)
    : left_(left), right_(right), gamma_(gamma)
{
    if (!(left.density > 0 && right.density > 0 && left.pressure > 0 && right.pressure > 0 &&
          gamma > 1)) {
        throw std::invalid_argument("Riemann data must have positive density and pressure");
    }
    cleft_ = soundspeed(left_, gamma_);
    cright_ = soundspeed(right_, gamma_);
    // Pressure positivity: the two rarefactions alone must not empty the gap.
    if (2.0 / (gamma_ - 1.0) * (cleft_ + cright_) <= right_.velocity - left_.velocity) {
        throw std::invalid_argument("Riemann data open a vacuum");
    }
    solvestarpressure();
}

// Velocity jump f_K(p) across the wave that joins state k to the star
// pressure p, and its derivative.
//   shock (p > p_K):       (p - p_K) sqrt(A / (p + B)),
//                          A = 2 / ((g+1) rho_K), B = (g-1)/(g+1) p_K;
//   rarefaction (p <= p_K): 2 c_K / (g-1) ((p / p_K)^((g-1)/(2g)) - 1).
double ExactRiemann::pressurefunction(double p, const GasState& k, double c,
                                      double* derivative) const
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

// Starting pressure for Newton: the linearised (primitive variable) guess
// when the two pressures are close and it lies between them; otherwise the
// two-rarefaction guess when it lies below both, the two-shock guess above.
double ExactRiemann::startingguess() const
{
    const double g = gamma_;
    const double pl = left_.pressure, pr = right_.pressure;
    const double du = right_.velocity - left_.velocity;
    const double linear = std::max(
        0.0, 0.5 * (pl + pr) - 0.125 * du * (left_.density + right_.density) * (cleft_ + cright_));
    const double pmin = std::min(pl, pr), pmax = std::max(pl, pr);
    if (pmax / pmin < 2.0 && linear >= pmin && linear <= pmax)
        return linear;
    if (linear < pmin) {
        const double z = 0.5 * (g - 1.0) / g;
        const double num = cleft_ + cright_ - 0.5 * (g - 1.0) * du;
        const double den = cleft_ / std::pow(pl, z) + cright_ / std::pow(pr, z);
        return std::pow(num / den, 1.0 / z);
    }
    const double p0 = std::max(1e-12 * pmin, linear);
    const double gl =
        std::sqrt(2.0 / ((g + 1.0) * left_.density) / ((g - 1.0) / (g + 1.0) * pl + p0));
    const double gr =
        std::sqrt(2.0 / ((g + 1.0) * right_.density) / ((g - 1.0) / (g + 1.0) * pr + p0));
    return std::max(1e-12 * pmin, (gl * pl + gr * pr - du) / (gl + gr));
}

// Steps:
// 1. Start from the guess above.
// 2. Newton on f(p) = f_L(p) + f_R(p) + u_R - u_L, keeping p positive, until
//    the relative change is below 1e-14 (at most 100 iterations; f is
//    monotone and concave, so Newton converges in a handful).
// 3. Star velocity from the mean of the two wave relations; star densities
//    from the shock (Rankine-Hugoniot) or isentropic relation on each side.
void ExactRiemann::solvestarpressure()
{
    const double g = gamma_;
    const double du = right_.velocity - left_.velocity;
    double p = startingguess();
    double fl = 0, fr = 0, dl = 0, dr = 0;
    int n = 0;
    for (n = 1; n <= 100; ++n) {
        fl = pressurefunction(p, left_, cleft_, &dl);
        fr = pressurefunction(p, right_, cright_, &dr);
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
    fl = pressurefunction(p, left_, cleft_, &dl);
    fr = pressurefunction(p, right_, cright_, &dr);
    star_.pressure = p;
    star_.velocity = 0.5 * (left_.velocity + right_.velocity) + 0.5 * (fr - fl);
    star_.iterations = n;

    const double m = (g - 1.0) / (g + 1.0);
    auto stardensity = [&](const GasState& k) {
        const double ratio = p / k.pressure;
        if (ratio > 1.0)
            return k.density * (ratio + m) / (m * ratio + 1.0);
        return k.density * std::pow(ratio, 1.0 / g);
    };
    star_.leftdensity = stardensity(left_);
    star_.rightdensity = stardensity(right_);
}

// Which region s = x/t falls in, walking outwards from the contact
// (speed u*): first the star state of that side, then the fan or the shock,
// then the undisturbed state.
GasState ExactRiemann::sample(double s) const
{
    const double g = gamma_;
    const double ps = star_.pressure, us = star_.velocity;
    if (s <= us) {
        const GasState& w = left_;
        const double c = cleft_;
        if (ps > w.pressure) { // left shock
            const double shock = w.velocity - c * std::sqrt(0.5 * (g + 1.0) / g * ps / w.pressure +
                                                            0.5 * (g - 1.0) / g);
            if (s <= shock)
                return w;
            return {star_.leftdensity, us, ps};
        }
        const double head = w.velocity - c; // left rarefaction
        if (s <= head)
            return w;
        const double tail = us - c * std::pow(ps / w.pressure, 0.5 * (g - 1.0) / g);
        if (s > tail)
            return {star_.leftdensity, us, ps};
        const double cf = 2.0 / (g + 1.0) * (c + 0.5 * (g - 1.0) * (w.velocity - s));
        const double uf = 2.0 / (g + 1.0) * (c + 0.5 * (g - 1.0) * w.velocity + s);
        return {w.density * std::pow(cf / c, 2.0 / (g - 1.0)), uf,
                w.pressure * std::pow(cf / c, 2.0 * g / (g - 1.0))};
    }
    const GasState& w = right_;
    const double c = cright_;
    if (ps > w.pressure) { // right shock
        const double shock =
            w.velocity + c * std::sqrt(0.5 * (g + 1.0) / g * ps / w.pressure + 0.5 * (g - 1.0) / g);
        if (s >= shock)
            return w;
        return {star_.rightdensity, us, ps};
    }
    const double head = w.velocity + c; // right rarefaction
    if (s >= head)
        return w;
    const double tail = us + c * std::pow(ps / w.pressure, 0.5 * (g - 1.0) / g);
    if (s < tail)
        return {star_.rightdensity, us, ps};
    const double cf = 2.0 / (g + 1.0) * (c - 0.5 * (g - 1.0) * (w.velocity - s));
    const double uf = 2.0 / (g + 1.0) * (-c + 0.5 * (g - 1.0) * w.velocity + s);
    return {w.density * std::pow(cf / c, 2.0 / (g - 1.0)), uf,
            w.pressure * std::pow(cf / c, 2.0 * g / (g - 1.0))};
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
    const double g = gamma_;
    const double cl = std::sqrt(g * star_.pressure / star_.leftdensity);
    const double cr = std::sqrt(g * star_.pressure / star_.rightdensity);
    const double us = std::fabs(star_.velocity);
    return std::max({std::fabs(left_.velocity) + cleft_, std::fabs(right_.velocity) + cright_,
                     us + cl, us + cr});
}

double ExactRiemann::leftfront() const
{
    const double g = gamma_;
    if (star_.pressure > left_.pressure)
        return left_.velocity -
               cleft_ * std::sqrt(0.5 * (g + 1.0) / g * star_.pressure / left_.pressure +
                                  0.5 * (g - 1.0) / g);
    return left_.velocity - cleft_;
}

double ExactRiemann::rightfront() const
{
    const double g = gamma_;
    if (star_.pressure > right_.pressure)
        return right_.velocity +
               cright_ * std::sqrt(0.5 * (g + 1.0) / g * star_.pressure / right_.pressure +
                                   0.5 * (g - 1.0) / g);
    return right_.velocity + cright_;
}

} // namespace validation
