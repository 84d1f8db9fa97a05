// Natural gas real-gas model: see naturalgas.h for the equations.
#include "naturalgas.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace realgas {

// Critical constants and ideal-gas heat-capacity polynomials (valid about
// 200 K to 1500 K) from the standard property tables for these compounds.
const std::array<Component, ncomponents> components = {{
    {"methane", 16.043, 190.56, 4599.0, {19.25, 5.213e-2, 1.197e-5, -1.132e-8}},
    {"ethane", 30.070, 305.32, 4872.0, {5.409, 1.781e-1, -6.938e-5, 8.713e-9}},
    {"propane", 44.097, 369.83, 4248.0, {-4.224, 3.063e-1, -1.586e-4, 3.215e-8}},
    {"isobutane", 58.123, 407.85, 3640.0, {-1.390, 3.847e-1, -1.846e-4, 2.895e-8}},
    {"nbutane", 58.123, 425.12, 3796.0, {9.487, 3.313e-1, -1.108e-4, -2.822e-9}},
    {"isopentane", 72.150, 460.39, 3381.0, {-9.525, 5.066e-1, -2.729e-4, 5.723e-8}},
    {"npentane", 72.150, 469.70, 3370.0, {-3.626, 4.873e-1, -2.580e-4, 5.305e-8}},
    {"nhexane", 86.177, 507.60, 3025.0, {-4.413, 5.820e-1, -3.119e-4, 6.494e-8}},
    {"nitrogen", 28.014, 126.20, 3398.0, {31.15, -1.357e-2, 2.680e-5, -1.168e-8}},
    {"carbondioxide", 44.010, 304.13, 7377.0, {19.80, 7.344e-2, -5.602e-5, 1.715e-8}},
    {"hydrogensulfide", 34.081, 373.10, 8963.0, {31.94, 1.436e-3, 2.432e-5, -1.176e-8}},
}};

namespace {

constexpr int carbondioxide = 9;
constexpr int hydrogensulfide = 10;

// Universal gas constant, kJ/(kmol K), the value the engine uses.
constexpr double universalgasconstant = 8.3143;

// The eleven constants of the compressibility fit.
constexpr double a1 = 0.3265, a2 = -1.0700, a3 = -0.5339, a4 = 0.01569, a5 = -0.05165;
constexpr double a6 = 0.5475, a7 = -0.7361, a8 = 0.1844, a9 = 0.1056, a10 = 0.6134;
constexpr double a11 = 0.7210;

// Reduced densities are held within (0, maxreduceddensity]; the fit is used
// up to about 3.
constexpr double maxreduceddensity = 6.0;
constexpr double minreduceddensity = 1e-12;
constexpr int maxiterations = 100;

// Z and its derivatives at reduced density x and inverse reduced
// temperature tau, with the tau derivatives of the residual Helmholtz
// energy alpha = a_res / (R T).
struct Residual {
    double z;       // compressibility factor
    double zx;      // dZ/dx at constant tau
    double ztau;    // dZ/dtau at constant x
    double atau;    // d alpha / d tau
    double atautau; // d2 alpha / d tau2
};

Residual residualat(double x, double tau)
{
    // 1. Temperature functions of the fit and their tau derivatives.
    const double t2 = tau * tau, t3 = t2 * tau, t4 = t3 * tau, t5 = t4 * tau;
    const double A = a1 + a2 * tau + a3 * t3 + a4 * t4 + a5 * t5;
    const double dA = a2 + 3 * a3 * t2 + 4 * a4 * t3 + 5 * a5 * t4;
    const double ddA = 6 * a3 * tau + 12 * a4 * t2 + 20 * a5 * t3;
    const double B = a6 + a7 * tau + a8 * t2;
    const double dB = a7 + 2 * a8 * tau;
    const double ddB = 2 * a8;
    const double C = a9 * (a7 * tau + a8 * t2);
    const double dC = a9 * (a7 + 2 * a8 * tau);
    const double ddC = 2 * a9 * a8;
    const double D = a10 * t3;
    const double dD = 3 * a10 * t2;
    const double ddD = 6 * a10 * tau;

    // 2. Density functions: the exponential group G and its integral F,
    //    with dF/dx = G / x.
    const double k = a11;
    const double x2 = x * x, x4 = x2 * x2, x5 = x4 * x;
    const double E = std::exp(-k * x2);
    const double G = (x2 + k * x4) * E;
    const double F = (1 - E) / k - 0.5 * x2 * E;

    // 3. Assemble.
    Residual r{};
    r.z = 1 + A * x + B * x2 - C * x5 + D * G;
    r.zx = A + 2 * B * x - 5 * C * x4 + D * E * (2 * x + 2 * k * x2 * x - 2 * k * k * x5);
    r.ztau = dA * x + dB * x2 - dC * x5 + dD * G;
    r.atau = dA * x + 0.5 * dB * x2 - 0.2 * dC * x5 + dD * F;
    r.atautau = ddA * x + 0.5 * ddB * x2 - 0.2 * ddC * x5 + ddD * F;
    return r;
}

// Holds v within [lo, hi]; a value that is not a number becomes `fallback`.
double held(double v, double lo, double hi, double fallback)
{
    if (std::isnan(v))
        return fallback;
    return std::clamp(v, lo, hi);
}

// Root of f on [lo, hi] where f(lo) and f(hi) differ in sign. f returns the
// value and its derivative. Newton steps are taken from x0 while they land
// inside the bracket and at least halve the step before last; otherwise the
// bracket is halved. The bracket always keeps the sign change. At most
// maxiterations evaluations.
template <class Fn>
double bracketedroot(Fn f, double lo, double hi, double x0, double tolerance)
{
    // 1. Orient the bracket so that f(lo) < 0 < f(hi).
    if (f(lo).first > 0)
        std::swap(lo, hi);
    double x = (x0 > std::min(lo, hi) && x0 < std::max(lo, hi)) ? x0 : 0.5 * (lo + hi);
    double step = std::abs(hi - lo);
    double stepbefore = step;
    auto [value, slope] = f(x);
    for (int i = 0; i < maxiterations; ++i) {
        if (value == 0)
            return x;
        // 2. Newton step, or bisection when it would leave the bracket or
        //    converge too slowly.
        const bool outside = ((x - hi) * slope - value) * ((x - lo) * slope - value) >= 0;
        const bool slow = std::abs(2 * value) > std::abs(stepbefore * slope);
        stepbefore = step;
        if (outside || slow || !std::isfinite(slope)) {
            step = 0.5 * (hi - lo);
            x = lo + step;
        } else {
            step = value / slope;
            x -= step;
        }
        // 3. Done when the step is below the tolerance.
        if (std::abs(step) <= tolerance * std::max(std::abs(x), 1e-300))
            return x;
        // 4. Evaluate and keep the sign change inside the bracket.
        std::tie(value, slope) = f(x);
        if (value < 0)
            lo = x;
        else
            hi = x;
    }
    return x;
}

// Viscosity of a natural gas from temperature and density (Lee, Gonzalez
// and Eakin): the correlation works in degrees Rankine and g/cm3, result cP.
// Far below its range (under 120 K) its density exponent turns negative, so
// the temperature is held there, and the density term is capped.
double gasviscosity(double molweight, double temperature, double density)
{
    const double tr = 1.8 * std::max(temperature, 120.0);
    const double k = (9.4 + 0.02 * molweight) * std::pow(tr, 1.5) / (209.0 + 19.0 * molweight + tr);
    const double x = 3.5 + 986.0 / tr + 0.01 * molweight;
    const double y = 2.4 - 0.2 * x;
    const double rho = std::min(density / 1000.0, 1.0);
    return 1e-4 * k * std::exp(std::min(x * std::pow(rho, y), 50.0));
}

} // namespace

std::optional<NaturalGas> NaturalGas::frommolefractions(const double* fractions)
{
    // 1. Check and normalise the fractions.
    double sum = 0;
    for (int i = 0; i < ncomponents; ++i) {
        if (!std::isfinite(fractions[i]) || fractions[i] < 0)
            return std::nullopt;
        sum += fractions[i];
    }
    if (!(sum > 0))
        return std::nullopt;
    std::array<double, ncomponents> y{};
    for (int i = 0; i < ncomponents; ++i)
        y[i] = fractions[i] / sum;

    // 2. Molar averages: molar mass, pseudo-critical point (molar mixing of
    //    the critical constants) and the ideal-gas cp polynomial per kg.
    NaturalGas gas;
    double tpc = 0, ppc = 0;
    std::array<double, 4> molarcp{};
    for (int i = 0; i < ncomponents; ++i) {
        gas.molweight_ += y[i] * components[i].molweight;
        tpc += y[i] * components[i].tc;
        ppc += y[i] * components[i].pc;
        for (int j = 0; j < 4; ++j)
            molarcp[j] += y[i] * components[i].cp[j];
    }
    for (int j = 0; j < 4; ++j)
        gas.cp_[j] = molarcp[j] / gas.molweight_;

    // 3. Sour-gas correction of the pseudo-critical point (Wichert and Aziz;
    //    epsilon is in degrees Rankine in the original, converted to K).
    const double acid = y[carbondioxide] + y[hydrogensulfide];
    const double sulfide = y[hydrogensulfide];
    const double epsilon = (120.0 * (std::pow(acid, 0.9) - std::pow(acid, 1.6)) +
                            15.0 * (std::sqrt(sulfide) - std::pow(sulfide, 4.0))) /
                           1.8;
    gas.tpc_ = tpc - epsilon;
    gas.ppc_ = ppc * gas.tpc_ / (tpc + sulfide * (1 - sulfide) * epsilon);

    // 4. Gas constant and the density scale of the reduced density.
    gas.r_ = universalgasconstant / gas.molweight_;
    gas.rhostar_ = gas.ppc_ / (0.27 * gas.r_ * gas.tpc_);
    return gas;
}

State NaturalGas::atdensitytemperature(double density, double temperature) const
{
    const double T = held(temperature, mintemperature, maxtemperature, 288.15);
    const double rho =
        held(density, minreduceddensity * rhostar_, maxreduceddensity * rhostar_, rhostar_);
    const double x = rho / rhostar_;
    const double tau = tpc_ / T;
    const Residual res = residualat(x, tau);
    const auto [c0, c1, c2, c3] = cp_;

    // 1. Ideal-gas parts, zero at 0 K.
    const double cp0 = c0 + T * (c1 + T * (c2 + T * c3));
    const double h0 = T * (c0 + T * (c1 / 2 + T * (c2 / 3 + T * c3 / 4)));
    const double cv0 = cp0 - r_;

    // 2. Pressure, energies and heat capacities with the residual parts.
    State s{};
    s.temperature = T;
    s.density = rho;
    s.pressure = rho * r_ * T * res.z;
    s.energy = h0 - r_ * T + r_ * T * tau * res.atau;
    s.enthalpy = s.energy + s.pressure / rho;
    s.cv = cv0 - r_ * tau * tau * res.atautau;

    // 3. Pressure derivatives; sound speed from (dp/drho)_s =
    //    (dp/drho)_T + T (dp/dT)_rho^2 / (rho^2 cv), kPa m3/kg -> m2/s2.
    const double dpdrho = r_ * T * (res.z + x * res.zx);
    const double dpdt = rho * r_ * (res.z - tau * res.ztau);
    const double thermal = T * dpdt * dpdt / (rho * rho);
    s.cp = dpdrho > 0 ? s.cv + thermal / dpdrho : cp0;
    const double csquared = 1000.0 * (dpdrho + (s.cv > 0 ? thermal / s.cv : 0.0));
    s.soundspeed = csquared > 0 ? std::sqrt(csquared) : std::sqrt(1000.0 * cp0 / cv0 * r_ * T);
    s.viscosity = gasviscosity(molweight_, T, rho);
    return s;
}

double NaturalGas::densityat(double pressure, double temperature) const
{
    // Solve x Z(x, tau) = p / (rho* R T) for the reduced density x, taking
    // the lowest-density (gas) root: bracket it by stepping up from the
    // ideal-gas value, then iterate.
    const double T = held(temperature, mintemperature, maxtemperature, 288.15);
    const double tau = tpc_ / T;
    const double target = pressure / (rhostar_ * r_ * T);
    auto f = [&](double x) {
        const Residual r = residualat(x, tau);
        return std::pair{x * r.z - target, r.z + x * r.zx};
    };
    // 1. Bracket: f(0) = -target < 0; step up until f changes sign.
    double lo = 0;
    double hi = std::clamp(target, minreduceddensity, maxreduceddensity);
    for (int i = 0; i < maxiterations && f(hi).first < 0; ++i) {
        if (hi >= maxreduceddensity)
            return maxreduceddensity * rhostar_;
        lo = hi;
        hi = std::min(1.25 * hi, maxreduceddensity);
    }
    // 2. Iterate inside the bracket from the ideal-gas guess.
    const double x = bracketedroot(f, lo, hi, hi, 1e-13);
    return std::clamp(x, minreduceddensity, maxreduceddensity) * rhostar_;
}

State NaturalGas::atpressuretemperature(double pressure, double temperature) const
{
    const double p = held(pressure, 1e-6, 1e7, 101.325);
    const double T = held(temperature, mintemperature, maxtemperature, 288.15);
    return atdensitytemperature(densityat(p, T), T);
}

double NaturalGas::compressibility(double pressure, double temperature) const
{
    const State s = atpressuretemperature(pressure, temperature);
    return s.pressure / (s.density * r_ * s.temperature);
}

State NaturalGas::atdensityenergy(double density, double energy) const
{
    // Solve e(rho, T) = e for T; de/dT at constant density is cv.
    const double rho =
        held(density, minreduceddensity * rhostar_, maxreduceddensity * rhostar_, rhostar_);
    const double e = held(energy, -1e7, 1e7, 0.0);
    auto f = [&](double T) {
        const State s = atdensitytemperature(rho, T);
        return std::pair{s.energy - e, s.cv};
    };
    // 1. Outside the temperature range the nearer end is the answer.
    if (f(mintemperature).first >= 0)
        return atdensitytemperature(rho, mintemperature);
    if (f(maxtemperature).first <= 0)
        return atdensitytemperature(rho, maxtemperature);
    // 2. Iterate from the ideal-gas estimate e = (cp0 - R) T at cp0(300 K).
    const double cv300 = cp_[0] + 300 * (cp_[1] + 300 * (cp_[2] + 300 * cp_[3])) - r_;
    const double guess = e / cv300;
    const double T = bracketedroot(f, mintemperature, maxtemperature, guess, 1e-13);
    return atdensitytemperature(rho, T);
}

State NaturalGas::atpressureenthalpy(double pressure, double enthalpy) const
{
    // Solve h(p, T) = h for T; dh/dT at constant pressure is cp.
    const double p = held(pressure, 1e-6, 1e7, 101.325);
    const double h = held(enthalpy, -1e7, 1e7, 0.0);
    auto f = [&](double T) {
        const State s = atdensitytemperature(densityat(p, T), T);
        return std::pair{s.enthalpy - h, s.cp};
    };
    if (f(mintemperature).first >= 0)
        return atpressuretemperature(p, mintemperature);
    if (f(maxtemperature).first <= 0)
        return atpressuretemperature(p, maxtemperature);
    const double cp300 = cp_[0] + 300 * (cp_[1] + 300 * (cp_[2] + 300 * cp_[3]));
    const double T = bracketedroot(f, mintemperature, maxtemperature, h / cp300, 1e-13);
    return atpressuretemperature(p, T);
}

} // namespace realgas
