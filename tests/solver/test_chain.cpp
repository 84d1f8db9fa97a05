// The chain update as the engine runs it (in blocks, the cell update ahead,
// windows sharing their edge cells, vector loops) against a plain one
// written straight from the algorithm: every face flux and cell source
// first, through the one-cell routines, then each equation in turn over the
// whole chain. The two must agree to the last bit, on chains long enough to
// hold several blocks and a short last one, with a state rough enough that
// the limiter cuts in everywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "solver/solver.h"
#include "support/gasnetwork.h"

namespace pelmora {
namespace {

using testing::Line;

inline double limited(double a, double sign, double leftbound, double rightbound)
{
    return sign * std::max(0.0, std::min(std::min(std::abs(a), rightbound), leftbound));
}

// fctstep as described, one phase after another over the whole chain.
void plainfctstep(Store& s, std::int32_t first, std::int32_t last, double dt)
{
    const std::int32_t n = last - first + 1;
    // 1.-2. Cell states and end coefficients.
    updatecells(s, first, last);
    setendcoefficients(s);
    // 3. Face fluxes F[f - first][k] of faces first..last+1, end faces first.
    std::vector<std::vector<double>> F(n + 1, std::vector<double>(3));
    double gl[3], gr[3];
    for (int k = 0; k < 3; ++k) {
        gl[k] = s.inletbcgradient(k + 1) * s.conserved(k + 1, first) + s.inletbcvalue(k + 1);
        gr[k] = s.outletbcgradient(k + 1) * s.conserved(k + 1, last) + s.outletbcvalue(k + 1);
    }
    faceflux(s, first, first, last, F[0].data());
    faceflux(s, last + 1, first, last, F[n].data());
    for (std::int32_t f = first + 1; f <= last; ++f)
        faceflux(s, f, first, last, F[f - first].data());
    // Cell sources.
    std::vector<std::vector<double>> S(n, std::vector<double>(3));
    for (std::int32_t c = first; c <= last; ++c)
        cellsource(s, c, S[c - first].data());
    // 5. Each equation over the whole chain (index i: cell first + i; face
    //    first + i lies on its left).
    for (int k = 0; k < 3; ++k) {
        const double al = s.inletbcgradient(k + 1), bl = s.inletbcvalue(k + 1);
        const double cl = s.inletbcweight(k + 1);
        const double ar = s.outletbcgradient(k + 1), br = s.outletbcvalue(k + 1);
        const double cr = s.outletbcweight(k + 1);
        auto u0 = [&](std::int32_t i) { return s.previousconserved(k + 1, first + i); };
        auto dx = [&](std::int32_t i) { return s.celllength(first + i); };
        auto r = [&](std::int32_t i) { return s.inversecelllength(first + i); };
        auto delta = [&](std::int32_t i) { return s.facelength(first + i); };
        std::vector<double> D(n + 1), T(n), W(n), A(n + 1), Dl(n + 1), sg(n + 1), C(n + 1);
        for (std::int32_t i = 1; i < n; ++i)
            D[i] = 0.125 * delta(i) * (u0(i) - u0(i - 1));
        D[0] = 0.125 * cl * delta(0) * (u0(0) - gl[k]);
        D[n] = 0.125 * cr * delta(n) * (gr[k] - u0(n - 1));
        for (std::int32_t i = 0; i < n; ++i) {
            T[i] = u0(i) + dt * (S[i][k] - (F[i + 1][k] - F[i][k]) * r(i));
            W[i] = T[i] + r(i) * (D[i + 1] - D[i]);
        }
        const double tl = al * T[0] + bl, tr = ar * T[n - 1] + br;
        const double wl = al * W[0] + bl, wr = ar * W[n - 1] + br;
        for (std::int32_t i = 1; i < n; ++i) {
            A[i] = 0.125 * delta(i) * (T[i] - T[i - 1]);
            Dl[i] = W[i] - W[i - 1];
        }
        A[0] = 0.125 * cl * delta(0) * (T[0] - tl);
        A[n] = 0.125 * cr * delta(n) * (tr - T[n - 1]);
        Dl[0] = W[0] - wl;
        Dl[n] = wr - W[n - 1];
        for (std::int32_t i = 0; i <= n; ++i)
            sg[i] = Dl[i] < 0.0 ? -1.0 : 1.0;
        for (std::int32_t i = 0; i <= n; ++i) {
            const double left = i == 0 ? largestdouble : sg[i] * dx(i - 1) * Dl[i - 1];
            const double right = i == n ? largestdouble : sg[i] * dx(i) * Dl[i + 1];
            C[i] = limited(A[i], sg[i], left, right);
        }
        for (std::int32_t i = 0; i < n; ++i)
            s.conserved(k + 1, first + i) = W[i] - (C[i + 1] - C[i]) * r(i);
    }
    s.currentcell = last;
    s.currentface = 0;
}

void expectsamebits(const Array1<double>& a, const Array1<double>& b, const char* what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::int64_t i = 1; i <= a.size(); ++i)
        if (std::bit_cast<std::uint64_t>(a(i)) != std::bit_cast<std::uint64_t>(b(i))) {
            ADD_FAILURE() << what << " differs at " << i << ": " << a(i) << " against " << b(i);
            return;
        }
}

void expectsamebits(const Array2& a, const Array2& b, const char* what)
{
    ASSERT_EQ(a.raw().size(), b.raw().size()) << what;
    for (std::size_t i = 0; i < a.raw().size(); ++i)
        if (std::bit_cast<std::uint64_t>(a.raw()[i]) != std::bit_cast<std::uint64_t>(b.raw()[i])) {
            ADD_FAILURE() << what << " differs at value " << i << ": " << a.raw()[i] << " against "
                          << b.raw()[i];
            return;
        }
}

class ChainUpdate : public ::testing::Test {
protected:
    Store s;
    void SetUp() override
    {
        // Three pipes, 2,500 cells in all: several blocks of the chain
        // update and a short last one; inclined, one with wall heat.
        ASSERT_TRUE(testing::loadnaturalgas(s));
        Line a{12000.0, 0.6, 0.01, 2e-5, 10.0, 280.0, 0.0};
        Line b{8000.0, 0.6, -0.02, 5e-5, 10.0, 300.0, 2.5};
        Line c{5010.0, 0.6, 0.0, 2e-5, 10.0, 288.0, 0.0};
        ASSERT_TRUE(testing::loadline(s, {a, b, c}));
        testing::startuniform(s, {60e5, 59e5, 58e5}, {288.0, 288.0, 288.0}, {150.0, 150.0, 150.0});
        // A few ordinary steps set up end states and ghosts.
        transientpipes(s, 2.0);
        // Then a rough state: the current values scattered around the base,
        // so that fluxes, sources and the limiter all have work everywhere.
        std::uint64_t state = 12345;
        for (std::int32_t cell = 1; cell <= s.totalcells; ++cell)
            for (std::int32_t k = 1; k <= 3; ++k) {
                state = state * 6364136223846793005ULL + 1442695040888963407ULL;
                const double noise = (static_cast<double>(state >> 11) * 0x1p-53 - 0.5) * 0.02;
                s.conserved(k, cell) = s.previousconserved(k, cell) * (1.0 + noise);
            }
    }

    void expectsameupdate(std::int32_t first, std::int32_t last, double dt)
    {
        Store engine = s, plain = s;
        fctstep(engine, first, last, dt);
        plainfctstep(plain, first, last, dt);
        expectsamebits(engine.conserved, plain.conserved, "conserved");
        expectsamebits(engine.density, plain.density, "density");
        expectsamebits(engine.soundspeed, plain.soundspeed, "soundspeed");
        expectsamebits(engine.massflowdeviation, plain.massflowdeviation, "massflowdeviation");
        EXPECT_EQ(engine.pipeerrorcode, plain.pipeerrorcode);
        EXPECT_EQ(engine.currentcell, plain.currentcell);
    }
};

TEST_F(ChainUpdate, WholeNetworkAgreesBitForBitWithThePlainUpdate)
{
    ASSERT_GT(s.totalcells, 2000);
    expectsameupdate(1, s.totalcells, 0.5);
}

TEST_F(ChainUpdate, ShortChainsAndSinglePipesAgreeBitForBit)
{
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p)
        expectsameupdate(s.firstcell(p), s.lastcell(p), 0.25);
    for (std::int32_t n : {1, 2, 3, 4, 5, 9, 17})
        expectsameupdate(100, 100 + n - 1, 0.25);
}

} // namespace
} // namespace pelmora
