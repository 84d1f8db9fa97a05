// The unavoidable arithmetic, one value at a time.
#include <cmath>

#include "arithmetic.h"

namespace pelmora::bench {

namespace {

// The same formulas as the vector version, for one cell.
double cellarithmetic(double mass, double momentum, double energy, double area, double diameter,
                      double roughness)
{
    constexpr double gamma = 1.3, cv = 1700.0, mu = 1.1e-5;
    const double rho = mass / area;
    const double u = momentum / rho;
    const double e = energy / rho - 0.5 * u * u;
    const double T = e / cv;
    const double c = std::sqrt(gamma * (gamma - 1.0) * e * rho / rho);
    const double mach = std::abs(u) / c;
    const double re = rho * std::abs(u) * diameter / mu;
    const double l = std::log10(roughness + 21.25 / std::pow(re, 0.9));
    const double t = 1.14 - l - l;
    return T + mach + 0.25 / (t * t);
}

} // namespace

__attribute__((noinline)) void unavoidablescalar(const CellInputs& in, double* out, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; ++i)
        out[i] = cellarithmetic(in.mass[i], in.momentum[i], in.energy[i], in.area[i],
                                in.diameter[i], in.roughness[i]);
}

} // namespace pelmora::bench
