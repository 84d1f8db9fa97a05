// The AVX-512 forms of the chain update's loops against the loops as
// written, bit for bit, on every run length up to a few vectors and on the
// window lengths the chain update uses.
//
// The inputs are exactly as long as the loops may read, so a sanitizer build
// reports any load beyond them; the outputs carry one sentinel on either
// side, which must survive.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "solver/fctloops.h"

namespace {

using namespace pelmora;

#if PELMORA_FCTLOOPS_AVX512

constexpr double sentinel = -12345.678;

bool same(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

// Values of mixed sign and magnitude, with equal neighbours (zero
// differences), signed zeros, infinities and NaN here and there: the cases
// where a minimum, a maximum or a sign could take the other operand.
class Values {
public:
    explicit Values(std::uint64_t seed) : state_(seed) {}
    double next()
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        const auto r = static_cast<std::uint32_t>(state_ >> 33);
        switch (r % 23) {
        case 0:
            return 0.0;
        case 1:
            return -0.0;
        case 2:
            return std::numeric_limits<double>::infinity();
        case 3:
            return std::numeric_limits<double>::quiet_NaN();
        case 4:
            return last_; // a zero difference to the previous value
        default:
            break;
        }
        const double unit = static_cast<double>(state_ >> 11) * 0x1p-53;
        last_ = (r & 1U ? -1.0 : 1.0) * std::ldexp(0.5 + unit, static_cast<int>(r % 40) - 20);
        return last_;
    }
    std::vector<double> array(std::size_t n)
    {
        std::vector<double> v(n);
        for (double& x : v)
            x = next();
        return v;
    }

private:
    std::uint64_t state_;
    double last_ = 1.0;
};

// An output of n values at index 1..n, with a sentinel on either side.
std::vector<double> output(std::int32_t n) { return std::vector<double>(n + 2, sentinel); }

void expectsame(const std::vector<double>& want, const std::vector<double>& got, const char* what,
                std::int32_t n)
{
    for (std::size_t i = 0; i < want.size(); ++i)
        if (!same(want[i], got[i])) {
            ADD_FAILURE() << what << ", run of " << n << ": element " << i << " is "
                          << std::hexfloat << got[i] << " instead of " << want[i];
            return;
        }
}

class FctLoops : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fctloops::available())
            GTEST_SKIP() << "this processor lacks AVX-512";
    }
};

std::vector<std::int32_t> runlengths()
{
    std::vector<std::int32_t> n;
    for (std::int32_t i = 1; i <= 40; ++i)
        n.push_back(i);
    for (std::int32_t i : {63, 64, 65, 128, 129, 131, 132, 133, 300})
        n.push_back(i);
    return n;
}

TEST_F(FctLoops, TransportGivesTheSameBitsAsTheLoopAsWritten)
{
    Values values(1);
    for (const std::int32_t n : runlengths()) {
        for (int trial = 0; trial < 20; ++trial) {
            // base[-1..n], flux and facelength [0..n], source and r [0..n-1].
            const std::vector<double> base = values.array(n + 2);
            const std::vector<double> flux = values.array(n + 1);
            const std::vector<double> facelength = values.array(n + 1);
            const std::vector<double> source = values.array(n);
            const std::vector<double> r = values.array(n);
            const double dt = values.next();
            std::vector<double> t1 = output(n), w1 = output(n), t2 = output(n), w2 = output(n);
            fctloops::portable::transportcells(n, dt, base.data() + 1, flux.data(), source.data(),
                                               facelength.data(), r.data(), t1.data() + 1,
                                               w1.data() + 1);
            fctloops::avx512::transportcells(n, dt, base.data() + 1, flux.data(), source.data(),
                                             facelength.data(), r.data(), t2.data() + 1,
                                             w2.data() + 1);
            expectsame(t1, t2, "transported", n);
            expectsame(w1, w2, "diffused", n);
            EXPECT_EQ(t2.front(), sentinel);
            EXPECT_EQ(w2.back(), sentinel);
        }
    }
}

TEST_F(FctLoops, LimiterGivesTheSameBitsAsTheLoopAsWritten)
{
    Values values(2);
    for (const std::int32_t n : runlengths()) {
        for (std::int32_t from = 2; from <= 4; ++from) {
            for (int trial = 0; trial < 10; ++trial) {
                const std::int32_t to = from + n - 1;
                // Each array begins at the lowest index the loop may read.
                const std::vector<double> facelength = values.array(n); // from..to
                const std::vector<double> t = values.array(n + 1);      // from-1..to
                const std::vector<double> wd = values.array(n + 3);     // from-2..to+1
                const std::vector<double> dx = values.array(n + 1);     // from-1..to
                std::vector<double> c1 = output(n), c2 = output(n);     // from-1..to+1
                fctloops::portable::limitfaces(from, to, facelength.data() - from,
                                               t.data() - (from - 1), wd.data() - (from - 2),
                                               dx.data() - (from - 1), c1.data() - (from - 1));
                fctloops::avx512::limitfaces(from, to, facelength.data() - from,
                                             t.data() - (from - 1), wd.data() - (from - 2),
                                             dx.data() - (from - 1), c2.data() - (from - 1));
                expectsame(c1, c2, "corrected flux", n);
                EXPECT_EQ(c2.front(), sentinel);
                EXPECT_EQ(c2.back(), sentinel);
            }
        }
    }
}

#endif

} // namespace
