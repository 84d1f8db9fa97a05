// The flow solver kernel on the paths the engine runs: the chain update in
// blocks with its vector loops, the preparation of the chain's ends, the
// sources with their error code, the cell update, and the end faces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

#include "engine/errors.h"
#include "solver/fctloops.h"
#include "solver/solver.h"
#include "support/gasnetwork.h"
#include "support/samestore.h"

namespace pelmora {
namespace {

using testing::Line;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// One level pipe of natural gas at 50 bar and 288 K, flowing at m kg/s.
Store onepipe(Line line = {}, double m = 20.0, double viscosity = 1.1e-5)
{
    Store s;
    EXPECT_TRUE(testing::loadnaturalgas(s, viscosity) && testing::loadline(s, {line}));
    testing::startuniform(s, {50e5}, {288.0}, {m});
    return s;
}

// Codes stay until the host reads them: a capped Reynolds number on the
// chain update raises 2 but never lowers a larger code, and a valid cell
// update keeps a code raised earlier.
TEST(ErrorCodes, RaisedByTheStepAndKeptUntilRead)
{
    // Viscosity (1e-12 Pa s: Reynolds numbers above the cap), codes before, code
    // read.
    const std::tuple<double, int, int, int> cases[] = {
        {1.1e-5, 0, 0, 0},
        {1e-12, 0, 0, codereynoldscapped},
        {1e-12, 0, codemarchunconverged, codemarchunconverged},
        {1.1e-5, coderefused, 0, coderefused},
        {1.1e-5, codefluidfloor, 0, codefluidfloor}};
    for (const auto& [viscosity, fluidcode, pipecode, expected] : cases) {
        Store s = onepipe({}, 20.0, viscosity);
        loadbc(s, 1, 50e5, 288.0, 0.0, 1, 1, 0);
        loadbc(s, 2, 0.0, 288.0, 20.0, 0, 0, 1);
        s.fluiderrorcode = fluidcode;
        s.pipeerrorcode = pipecode;
        transientpipes(s, 1.0);
        EXPECT_EQ(geterrorcode(s), expected)
            << viscosity << " Pa s, codes " << fluidcode << pipecode;
    }
}

// The temperature is imposed only where gas enters the pipe and the flag
// asks for it, the pressure only while the network end is subsonic.
TEST(EndConditions, ImposedOnlyWhereTheFlowAllows)
{
    // The cells' mass flow, both temperature flags, both ends' Mach number;
    // then whether the inlet, the outlet temperature and the pressures are
    // imposed.
    const std::tuple<double, int, double, bool, bool, bool> cases[] = {
        {20.0, 1, 0.5, true, false, true},
        {-20.0, 1, 0.5, false, true, true},
        {20.0, 0, 0.5, false, false, true},
        {-20.0, 0, 0.5, false, false, true},
        {20.0, 1, 1.0, true, false, false}};
    for (const auto& [m, tfixed, mach, inletT, outletT, pressures] : cases) {
        Store s = onepipe({}, m);
        s.inletmassflowfixed(1) = s.outletmassflowfixed(1) = 0;
        s.inletpressurefixed(1) = s.outletpressurefixed(1) = 1;
        s.inlettemperaturefixed(1) = s.outlettemperaturefixed(1) = tfixed;
        s.midinletpressure(1) = 49e5;
        s.midoutletpressure(1) = 48e5;
        s.midinlettemperature(1) = s.midoutlettemperature(1) = 350.0;
        s.bcmachnumber(1) = s.bcmachnumber(2) = mach;
        prepareinlet(s, 1);
        prepareoutlet(s, 1);
        EXPECT_EQ(
            std::tuple(s.endtemperature(1), s.bctemperature(2), s.endpressure(1), s.endpressure(2)),
            std::tuple(inletT ? 350.0 : 288.0, outletT ? 350.0 : 288.0, pressures ? 49e5 : 50e5,
                       pressures ? 48e5 : 50e5))
            << m << " kg/s, Mach " << mach;
    }
}

// A network of three level pipes against the same network reversed, with
// the flow and the end conditions swapped: every cell of one must be the
// mirror image of the other (momentum negated), bit for bit. The chains
// span several blocks of the chain update, whose edges and the junctions
// lie differently in the two, and the state is rough so that the limiter
// acts everywhere. (Cells of one length throughout: a junction face takes
// the cell length of the pipe after it, which a reversal does not mirror.)
TEST(ChainUpdate, ReversedNetworkGivesTheMirrorImage)
{
    const Line a{12000.0, 0.6, 0.0, 2e-5, 10.0, 280.0, 0.0},
        b{8000.0, 0.6, 0.0, 5e-5, 10.0, 300.0, 2.5}, c{5010.0, 0.6, 0.0, 2e-5, 10.0, 288.0, 0.0};
    Store s, r;
    for (Store* x : {&s, &r})
        ASSERT_TRUE(testing::loadnaturalgas(*x));
    ASSERT_TRUE(testing::loadline(s, {a, b, c}));
    ASSERT_TRUE(testing::loadline(r, {c, b, a}));
    testing::startuniform(s, {60e5, 59e5, 58e5}, {288.0, 288.0, 288.0}, {150.0, 150.0, 150.0});
    testing::startuniform(r, {58e5, 59e5, 60e5}, {288.0, 288.0, 288.0}, {-150.0, -150.0, -150.0});
    const std::int32_t n = s.totalcells;
    ASSERT_GT(n, 2500);
    std::uint64_t state = 12345;
    for (std::int32_t cell = 1; cell <= n; ++cell)
        for (std::int32_t k = 1; k <= 3; ++k) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const double noise = 1.0 + (static_cast<double>(state >> 11) * 0x1p-53 - 0.5) * 0.02;
            s.conserved(k, cell) *= noise;
            r.conserved(k, n + 1 - cell) *= noise;
        }
    loadbc(s, 1, 61e5, 300.0, 0.0, 1, 1, 0);
    loadbc(s, 2, 0.0, 0.0, 160.0, 0, 0, 1);
    loadbc(r, 1, 0.0, 0.0, -160.0, 0, 0, 1);
    loadbc(r, 2, 61e5, 300.0, 0.0, 1, 1, 0);
    for (int step = 0; step < 3; ++step) {
        transientpipes(s, 0.5);
        transientpipes(r, 0.5);
    }
    Array2 mirrored = r.conserved;
    for (std::int32_t cell = 1; cell <= n; ++cell)
        for (std::int32_t k = 1; k <= 3; ++k)
            mirrored(k, cell) = (k == 2 ? -1.0 : 1.0) * r.conserved(k, n + 1 - cell);
    testing::expectsameitem(s.conserved, mirrored, "conserved, against the mirror image");
}

// The ideal gas's own cell update against the one through fluidstate that
// the host model takes, on ordinary, floored and broken cells: the same
// store to the last bit, error code and current fluid state included.
TEST(CellUpdate, IdealGasUpdateAgreesWithTheGeneralOne)
{
    Store s = onepipe(Line{700.0}, 30.0);
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        for (std::int32_t k = 1; k <= 3; ++k)
            s.conserved(k, c) *= 1.0 + 1e-3 * std::sin(k * c);
    // Floored, not finite, at rest, enormous, the last cell too.
    const std::tuple<int, int, double> damage[] = {
        {1, 3, 0.0},   {1, 6, 0.001}, {3, 9, 0.0},  {3, 12, -1e5}, {3, 15, nan},   {3, 18, inf},
        {3, 21, -inf}, {2, 24, nan},  {1, 27, nan}, {2, 30, 0.0},  {1, 33, 1e300}, {3, 70, nan}};
    for (const bool broken : {false, true}) {
        for (const auto& [k, c, value] : damage)
            if (broken)
                s.conserved(k, c) = value;
        s.fluiderrorcode = broken ? 3 : -5;
        Store general = s;
        updatethroughfluidstate(general, 1, 1, s.totalcells);
        updatecells(s, 1, s.totalcells);
        testing::expectsamestore(s, general);
        EXPECT_EQ(s.fluiderrorcode, broken ? codefluidfloor : 0);
    }
}

#if PELMORA_FCTLOOPS_AVX512
// The AVX-512 loops against the loops as written, bit for bit, on run
// lengths up to a few vectors, with zeros of both signs, infinities, NaN and
// equal neighbours among values of every sign and magnitude. The inputs are
// exactly as long as the loops may read (a sanitizer build reports any load
// beyond); the sentinels on either side of each output must survive.
TEST(VectorLoops, GiveTheSameBitsAsTheLoopsAsWritten)
{
    if (!fctloops::available())
        GTEST_SKIP() << "this processor lacks AVX-512";
    std::uint64_t state = 1;
    double last = 1.0;
    auto values = [&](std::int32_t n) {
        std::vector<double> v(static_cast<std::size_t>(n));
        for (double& x : v) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const auto r = static_cast<std::uint32_t>(state >> 33);
            const double unit = static_cast<double>(state >> 11) * 0x1p-53;
            const double special[] = {0.0, -0.0, inf, nan, last};
            x = r % 23 < 5 ? special[r % 23]
                           : (last = std::ldexp(r & 1U ? unit - 1.5 : unit + 0.5,
                                                static_cast<int>(r % 40) - 20));
        }
        return v;
    };
    constexpr double sentinel = -12345.678;
    for (std::int32_t n = 1; n <= 300; n += n < 40 ? 1 : 37) {
        const auto base = values(n + 2), flux = values(n + 1), face = values(n + 1),
                   source = values(n), r = values(n);
        std::vector<double> t1(n + 2, sentinel), w1 = t1, t2 = t1, w2 = t1;
        fctloops::portable::transportcells(n, 0.3, base.data() + 1, flux.data(), source.data(),
                                           face.data(), r.data(), t1.data() + 1, w1.data() + 1);
        fctloops::avx512::transportcells(n, 0.3, base.data() + 1, flux.data(), source.data(),
                                         face.data(), r.data(), t2.data() + 1, w2.data() + 1);
        std::vector<std::vector<double>> want = {t1, w1}, got = {t2, w2};
        for (std::int32_t from = 2; from <= 4; ++from) {
            // Each array begins at the lowest index the loop reads.
            const auto lf = values(n), t = values(n + 1), wd = values(n + 3), dx = values(n + 1);
            std::vector<double> c1(n + 2, sentinel), c2 = c1;
            for (auto [limitfaces, c] : {std::pair{&fctloops::portable::limitfaces, &c1},
                                         std::pair{&fctloops::avx512::limitfaces, &c2}})
                limitfaces(from, from + n - 1, lf.data() - from, t.data() - (from - 1),
                           wd.data() - (from - 2), dx.data() - (from - 1), c->data() - (from - 1));
            want.push_back(c1);
            got.push_back(c2);
        }
        for (std::size_t a = 0; a < want.size(); ++a)
            for (std::size_t i = 0; i < want[a].size(); ++i)
                ASSERT_TRUE(testing::samebits(want[a][i], got[a][i]) ||
                            (std::isnan(want[a][i]) && std::isnan(got[a][i])))
                    << "run of " << n << ", output " << a << ", element " << i;
        EXPECT_EQ(got[2].front(), sentinel);
        EXPECT_EQ(got[2].back(), sentinel);
    }
}
#endif

// The end faces' areas square the (extrapolated) diameter first, unlike the
// cell areas of the load (D pi/4 D); at this diameter the orders differ in
// the last bit. The ghosts beyond the chain's ends belong to the three
// conserved variables whatever number of variables a host has set: a step
// with none to update still forms all of them from its end states.
TEST(EndFaces, AreaSquaresTheDiameterFirstAndGhostsCoverTheGas)
{
    Store s = onepipe(Line{100.0, 0.24258978030367673});
    loadbc(s, 1, 50e5, 288.0, 20.0, -1, -1, 0);
    loadbc(s, 2, 49e5, 288.0, 20.0, 0, 0, -1);
    transientpipes(s, 1.0);
    for (const auto& [face, end] : {std::pair{1, 1}, std::pair{s.totalcells + 1, 2}}) {
        const double d = s.facediameter(face);
        ASSERT_NE(quarterpi * (d * d), d * quarterpi * d) << "a diameter where the orders differ";
        EXPECT_EQ(s.facearea(face), quarterpi * (d * d)) << "face " << face;
        EXPECT_EQ(s.pipeendarea(end), s.facearea(face)) << "end " << end;
    }
    const Array1<double> inlet = s.inletghost, outlet = s.outletghost;
    s.numberofvariables = 0; // as a host may set it
    loadbc(s, 1, 52e5, 300.0, 20.0, -1, -1, 0);
    loadbc(s, 2, 49e5, 288.0, 30.0, 0, 0, -1);
    transientpipes(s, 1.0);
    for (std::int32_t k = 1; k <= 3; ++k)
        EXPECT_TRUE(s.inletghost(k) != inlet(k) && s.outletghost(k) != outlet(k)) << k;
    EXPECT_EQ(s.inletghost(1), 2.0 * s.pipeendarea(1) * s.enddensity(1) - s.conserved(1, 1));
}

} // namespace
} // namespace pelmora
