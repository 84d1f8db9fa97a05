// The vector power and logarithm against the C library, bit for bit: the
// probe inside the library checks a few thousand values before it trusts a
// variant; these check millions, over the Reynolds numbers and logarithm
// arguments of the friction factor and well beyond, mantissas next to
// powers of two (where the logarithm changes method), and the values the
// vector path hands back to the C library, in every lane.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "vecmath/vecmath.h"

namespace {

using namespace pelmora::vecmath;

// Log-uniform values in [lo, hi], every mantissa bit random.
std::vector<double> logspread(std::size_t count, double lo, double hi, std::uint64_t state)
{
    std::vector<double> x(count);
    for (double& v : x) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        v = lo * std::pow(hi / lo, static_cast<double>(state >> 11) * 0x1p-53);
    }
    return x;
}

// The logarithms of x, or its powers y, by variant v.
void expectlibraryvalues(Variant v, const std::vector<double>& x, bool logarithm, double y = 0.0)
{
    std::vector<double> out(x.size());
    const auto n = static_cast<std::int32_t>(x.size());
    logarithm ? log10s(v, n, x.data(), out.data()) : powers(v, n, x.data(), y, out.data());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double want = logarithm ? std::log10(x[i]) : std::pow(x[i], y);
        if (std::bit_cast<std::uint64_t>(out[i]) != std::bit_cast<std::uint64_t>(want) &&
            !(std::isnan(out[i]) && std::isnan(want))) {
            ADD_FAILURE() << std::hexfloat << "x = " << x[i] << ", y = " << y << ": " << out[i]
                          << " instead of " << want;
            return;
        }
    }
}

TEST(VectorMath, EveryVariantGivesTheCLibrarysBits)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto neartwo = logspread(1'000'000, 0.9, 1.1, 5);
    for (std::size_t i = 0; i < neartwo.size(); ++i)
        neartwo[i] = std::ldexp(neartwo[i], static_cast<int>(i % 80) - 60);
    for (int e = -60; e < 20; ++e)
        for (const double m : {1.0, 0.5, 0x1.09p-4 + 1.0, 1.0 - 0x1p-4, std::nextafter(1.0, 0.0),
                               std::nextafter(1.0, 2.0), 1.0 + 0x1.08fffffffffffp-4})
            neartwo.push_back(std::ldexp(m, e));
    const std::vector<double> special = {0.0,  -0.0, -2.0,  inf,    -inf, nan, 4.9e-324, 1e-310,
                                         1.0,  2.0,  1e300, 1e-300, 3.0,  4.0, 5.0,      6.0,
                                         -1.0, 7.0,  0.5,   inf,    8.0,  9.0};
    for (const Variant v : {Variant::avx2, Variant::avx512}) {
        if (!supported(v))
            continue;
        expectlibraryvalues(v, logspread(2'000'000, 2000.0, 1e10, 1), false, 0.9);
        for (const double y : {0.5, -0.75, 1.0 / 3.0, 2.0, 7.25, 1e-20})
            expectlibraryvalues(v, logspread(200'000, 1e-300, 1e300, 2), false, y);
        expectlibraryvalues(v, logspread(2'000'000, 1e-12, 10.0, 3), true);
        expectlibraryvalues(v, logspread(200'000, 1e-307, 1e307, 4), true);
        expectlibraryvalues(v, neartwo, true);
        // Every count up to the whole table, so that the padded last block
        // sees each kind of value in each lane.
        for (std::size_t n = 0; n <= special.size(); ++n) {
            const std::vector<double> part(special.begin(), special.begin() + n);
            expectlibraryvalues(v, part, true);
            for (const double y : {0.9, -0.9, 1e-30, 1e30, 0.0, nan})
                expectlibraryvalues(v, part, false, y);
        }
    }
    // The process uses the widest variant its processor has (none where the
    // build has no variants), and the public routines take it.
    const auto x = logspread(1000, 2000.0, 1e10, 6);
    std::vector<double> out(x.size());
    powers(static_cast<std::int32_t>(x.size()), x.data(), 0.9, out.data());
    for (std::size_t i = 0; i < x.size(); ++i)
        ASSERT_EQ(out[i], std::pow(x[i], 0.9));
    const Variant widest = supported(Variant::avx512) ? Variant::avx512
                           : supported(Variant::avx2) ? Variant::avx2
                                                      : Variant::library;
    EXPECT_EQ(chosen(), widest);
}

} // namespace
