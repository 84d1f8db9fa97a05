// The vector power and logarithm against the C library, bit for bit.
//
// The probe inside the library checks a few thousand values before it
// trusts the vector routines; these tests check millions, over the ranges
// the friction factor uses and well beyond, and the lanes the vector path
// hands back to the C library.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "vecmath/vecmath.h"

namespace {

using namespace pelmora::vecmath;

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Log-uniform values in [lo, hi], every mantissa bit random.
std::vector<double> logspread(std::size_t count, double lo, double hi, std::uint64_t seed)
{
    std::vector<double> x(count);
    std::uint64_t state = seed;
    for (double& v : x) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        v = lo * std::pow(hi / lo, static_cast<double>(state >> 11) * 0x1p-53);
    }
    return x;
}

// Counts the values where out differs from expected(x) in any bit, and
// reports the first.
template <class Expected>
int mismatches(const std::vector<double>& x, const std::vector<double>& out, Expected expected)
{
    int count = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double want = expected(x[i]);
        const bool same = bits(out[i]) == bits(want) || (std::isnan(out[i]) && std::isnan(want));
        if (!same && count++ == 0)
            ADD_FAILURE() << "x = " << std::hexfloat << x[i] << ": " << out[i] << " instead of "
                          << want;
    }
    return count;
}

// Each vector variant the processor has, tested on its own.
class VectorMath : public ::testing::TestWithParam<Variant> {
protected:
    void SetUp() override
    {
        if (!supported(GetParam()))
            GTEST_SKIP() << "this build or processor lacks the variant";
    }
    void pow(const std::vector<double>& x, double y, std::vector<double>& out) const
    {
        out.resize(x.size());
        powers(GetParam(), static_cast<std::int32_t>(x.size()), x.data(), y, out.data());
    }
    void log10(const std::vector<double>& x, std::vector<double>& out) const
    {
        out.resize(x.size());
        log10s(GetParam(), static_cast<std::int32_t>(x.size()), x.data(), out.data());
    }
};

INSTANTIATE_TEST_SUITE_P(Variants, VectorMath, ::testing::Values(Variant::avx2, Variant::avx512),
                         [](const auto& param) {
                             return param.param == Variant::avx2 ? "avx2" : "avx512";
                         });

TEST_P(VectorMath, PowersOfReynoldsNumbersMatchTheCLibrary)
{
    // The friction factor's power, over every Reynolds number it can meet.
    const auto x = logspread(2'000'000, 2000.0, 1e10, 1);
    std::vector<double> out;
    pow(x, 0.9, out);
    EXPECT_EQ(mismatches(x, out, [](double v) { return std::pow(v, 0.9); }), 0);
}

TEST_P(VectorMath, PowersMatchForOtherExponentsAndRanges)
{
    const auto x = logspread(200'000, 1e-300, 1e300, 2);
    std::vector<double> out;
    for (const double y : {0.9, 0.5, -0.75, 1.0 / 3.0, 2.0, 7.25, 1e-20}) {
        pow(x, y, out);
        EXPECT_EQ(mismatches(x, out, [y](double v) { return std::pow(v, y); }), 0) << "y = " << y;
    }
}

TEST_P(VectorMath, LogarithmsMatchTheCLibrary)
{
    // The friction factor's argument (relative roughness plus 21.25/Re^0.9)
    // and a wide range besides.
    const auto x = logspread(2'000'000, 1e-12, 10.0, 3);
    std::vector<double> out;
    log10(x, out);
    EXPECT_EQ(mismatches(x, out, [](double v) { return std::log10(v); }), 0);

    const auto wide = logspread(200'000, 1e-307, 1e307, 4);
    log10(wide, out);
    EXPECT_EQ(mismatches(wide, out, [](double v) { return std::log10(v); }), 0);
}

TEST_P(VectorMath, LogarithmsNearPowersOfTwoMatchTheCLibrary)
{
    // Mantissas within 1/16 of 1 take the logarithm's other method; both
    // sides of every boundary, and exact powers of two.
    auto x = logspread(1'000'000, 0.9, 1.1, 5);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = std::ldexp(x[i], static_cast<int>(i % 80) - 60);
    for (int e = -60; e < 20; ++e)
        for (const double m : {1.0, 0.5, 0x1.09p-4 + 1.0, 1.0 - 0x1p-4, std::nextafter(1.0, 0.0),
                               std::nextafter(1.0, 2.0), 1.0 + 0x1.08fffffffffffp-4})
            x.push_back(std::ldexp(m, e));
    std::vector<double> out;
    log10(x, out);
    EXPECT_EQ(mismatches(x, out, [](double v) { return std::log10(v); }), 0);
}

TEST_P(VectorMath, ValuesOutsideTheVectorRangeComeFromTheCLibrary)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const std::vector<double> x = {0.0,  -0.0, -2.0,  inf,    -inf, nan, tiny, 1e-310,
                                   1.0,  2.0,  1e300, 1e-300, 3.0,  4.0, 5.0,  6.0,
                                   -1.0, 7.0,  0.5,   inf,    8.0,  9.0};
    // Every count from 0 to the full length, so the padded last block sees
    // each kind of value in each lane.
    for (std::size_t n = 0; n <= x.size(); ++n) {
        const std::vector<double> part(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
        std::vector<double> out;
        log10(part, out);
        EXPECT_EQ(mismatches(part, out, [](double v) { return std::log10(v); }), 0);
        for (const double y : {0.9, -0.9, 1e-30, 1e30, 0.0, nan}) {
            pow(part, y, out);
            EXPECT_EQ(mismatches(part, out, [y](double v) { return std::pow(v, y); }), 0)
                << "y = " << y;
        }
    }
}

TEST(VectorMathChoice, TheChosenPathGivesTheCLibrarysValues)
{
    // Whichever path this process chose, the public routines agree.
    const auto x = logspread(100'000, 2000.0, 1e10, 6);
    std::vector<double> out(x.size());
    powers(static_cast<std::int32_t>(x.size()), x.data(), 0.9, out.data());
    EXPECT_EQ(mismatches(x, out, [](double v) { return std::pow(v, 0.9); }), 0);
    log10s(static_cast<std::int32_t>(x.size()), x.data(), out.data());
    EXPECT_EQ(mismatches(x, out, [](double v) { return std::log10(v); }), 0);
    // Where the build has the variants (GNU libc on x86-64), the probe must
    // find the widest the processor has sound; elsewhere none is supported.
    const Variant widest = supported(Variant::avx512) ? Variant::avx512
                           : supported(Variant::avx2) ? Variant::avx2
                                                      : Variant::library;
    EXPECT_EQ(chosen(), widest);
}

} // namespace
