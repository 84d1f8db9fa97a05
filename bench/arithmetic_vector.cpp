// The unavoidable arithmetic with vector instructions and the C library's
// vector maths functions (this file alone is built with -ffast-math and
// OpenMP SIMD, see CMakeLists.txt), for the widest instruction set the
// processor has.
#include <cmath>

#include "arithmetic.h"

namespace pelmora::bench {

namespace {

inline void loop(const CellInputs& in, double* __restrict out, std::int32_t n)
{
    constexpr double gamma = 1.3, cv = 1700.0, mu = 1.1e-5;
    const double* __restrict mass = in.mass;
    const double* __restrict momentum = in.momentum;
    const double* __restrict energy = in.energy;
    const double* __restrict area = in.area;
    const double* __restrict diameter = in.diameter;
    const double* __restrict roughness = in.roughness;
#pragma omp simd
    for (std::int32_t i = 0; i < n; ++i) {
        const double rho = mass[i] / area[i];
        const double u = momentum[i] / rho;
        const double e = energy[i] / rho - 0.5 * u * u;
        const double T = e / cv;
        const double c = std::sqrt(gamma * (gamma - 1.0) * e * rho / rho);
        const double mach = std::abs(u) / c;
        const double re = rho * std::abs(u) * diameter[i] / mu;
        const double l = std::log10(roughness[i] + 21.25 / std::pow(re, 0.9));
        const double t = 1.14 - l - l;
        out[i] = T + mach + 0.25 / (t * t);
    }
}

__attribute__((target("avx512f,avx512dq"), noinline)) void loopavx512(const CellInputs& in,
                                                                      double* out, std::int32_t n)
{
    loop(in, out, n);
}

__attribute__((target("avx2,fma"), noinline)) void loopavx2(const CellInputs& in, double* out,
                                                            std::int32_t n)
{
    loop(in, out, n);
}

__attribute__((noinline)) void loopbase(const CellInputs& in, double* out, std::int32_t n)
{
    loop(in, out, n);
}

} // namespace

void unavoidablevector(const CellInputs& in, double* out, std::int32_t n)
{
    static const int width = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")
                                 ? 8
                             : __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? 4
                                                                                               : 2;
    if (width == 8)
        loopavx512(in, out, n);
    else if (width == 4)
        loopavx2(in, out, n);
    else
        loopbase(in, out, n);
}

} // namespace pelmora::bench
