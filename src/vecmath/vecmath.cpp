// Vector pow and log10 that repeat the C library's algorithms bit for bit:
// which variant runs, and the probe that decides whether one may.
//
// The algorithms (kernel.h) are those of the C library's x86-64
// FMA variants:
//   log(x):   x = 2^k z with z near 1, 1/c and log c from a 128-entry table,
//             r = z/c - 1 by one fused multiply-add, log1p(r) by a
//             polynomial; arguments within 1/16 of 1 take a polynomial of
//             degree 11 instead, with r*r split to keep the error small.
//   log10(x): x = 2^k m with m in [1,2) (or [0.5,1) when k < 0, so that
//             nothing cancels), then k log10(2) + log(m)/ln(10) with
//             log10(2) in two parts.
//   pow(x,y): log(x) to about 68 bits as hi + lo (its own 128-entry table
//             with the tail of log c), y times that as ehi + elo, and
//             exp(ehi + elo) = 2^(j/128) 2^m exp(r) from a 128-entry table
//             of 2^(j/128) and a polynomial.
// Every step names the operation and its order exactly: which products are
// fused with the following sum, and which are rounded first. The constants
// and tables are the C library's own (libmtables.inc).
#include "vecmath/vecmath.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>

// PELMORA_VECMATH (cmake/vecmath.cmake) builds the vector variants. They
// reproduce GNU libc's x86-64 routines, so the build offers them only for
// that target; elsewhere every value is the C library's own.
#if PELMORA_VECMATH
#  if !defined(__x86_64__) || !defined(__GLIBC__)
#    error "the vector power and logarithm reproduce GNU libc on x86-64 only"
#  endif
#  include "vecmath/arch.h"
#endif

namespace pelmora::vecmath {

namespace {

#if PELMORA_VECMATH

// Values on which a variant must give the C library's bits before it is
// trusted: powers over the engine's Reynolds numbers and far beyond,
// logarithms over many decades, mantissas near 1 and near 2 in particular
// (where log changes method), with every mantissa bit stirred.
constexpr std::int32_t probecount = 4096;

double probevalue(std::uint64_t& state, double lo, double hi)
{
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double u = static_cast<double>(state >> 11) * 0x1p-53;
    return lo * std::pow(hi / lo, u);
}

bool probeagrees(Variant v)
{
    double x[probecount], mine[probecount];
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (const double y : {0.9, 0.5, 2.5, -1.3}) {
        for (std::int32_t i = 0; i < probecount; ++i)
            x[i] = probevalue(state, 1e-3, 1e11);
        powers(v, probecount, x, y, mine);
        for (std::int32_t i = 0; i < probecount; ++i)
            if (std::bit_cast<std::uint64_t>(mine[i]) !=
                std::bit_cast<std::uint64_t>(std::pow(x[i], y)))
                return false;
    }
    for (std::int32_t i = 0; i < probecount; ++i) {
        const double wide = probevalue(state, 1e-12, 1e6);
        // Every fourth value within 1/16 of a power of two.
        x[i] = i % 4 == 0 ? std::ldexp(probevalue(state, 0.94, 1.07), std::ilogb(wide)) : wide;
    }
    log10s(v, probecount, x, mine);
    for (std::int32_t i = 0; i < probecount; ++i)
        if (std::bit_cast<std::uint64_t>(mine[i]) != std::bit_cast<std::uint64_t>(std::log10(x[i])))
            return false;
    return true;
}

#endif

Variant decide()
{
#if PELMORA_VECMATH
    for (const Variant v : {Variant::avx512, Variant::avx2})
        if (supported(v) && probeagrees(v))
            return v;
#endif
    return Variant::library;
}

} // namespace

bool supported(Variant v)
{
#if PELMORA_VECMATH
    switch (v) {
    case Variant::library:
        return true;
    case Variant::avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case Variant::avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    }
    return false;
#else
    return v == Variant::library;
#endif
}

Variant chosen()
{
    static const Variant decision = decide();
    return decision;
}

void powers(Variant v, std::int32_t n, const double* x, double y, double* out)
{
#if PELMORA_VECMATH
    if (v == Variant::avx512)
        return vectorpowers<avx512>(n, x, y, out);
    if (v == Variant::avx2)
        return vectorpowers<avx2>(n, x, y, out);
#endif
    (void)v;
    for (std::int32_t i = 0; i < n; ++i)
        out[i] = std::pow(x[i], y);
}

void log10s(Variant v, std::int32_t n, const double* x, double* out)
{
#if PELMORA_VECMATH
    if (v == Variant::avx512)
        return vectorlog10s<avx512>(n, x, out);
    if (v == Variant::avx2)
        return vectorlog10s<avx2>(n, x, out);
#endif
    (void)v;
    for (std::int32_t i = 0; i < n; ++i)
        out[i] = std::log10(x[i]);
}

void powers(std::int32_t n, const double* x, double y, double* out)
{
    powers(chosen(), n, x, y, out);
}

void log10s(std::int32_t n, const double* x, double* out) { log10s(chosen(), n, x, out); }

} // namespace pelmora::vecmath
