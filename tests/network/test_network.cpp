// The network: cells and geometry as a load leaves them, refused loads that
// leave the loaded network exactly as it was, the release, boundary values
// and the previous values the drivers ramp from, wall data and the time-step
// limit.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "support/gasnetwork.h"
#include "support/samestore.h"

using namespace pelmora;
using namespace pelmora::testing;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

static Line pipe(double length, double cellsize, double inlet = 0.5, double outlet = 0.0)
{
    return Line{length, inlet, 0.0, 2e-5, cellsize, 288.0, 0.0, outlet};
}

TEST(Network, CellsAndGeometryAlongThePipesAndAtTheirJunction)
{
    // Round half away from zero, never fewer than 3, more where it tapers.
    // clang-format off
    const std::tuple<Line, std::int32_t> cases[] = {
        {pipe(100.0, 10.0), 10}, {pipe(7.0, 2.0), 4}, {pipe(6.98, 2.0), 3}, {pipe(9.0, 2.0), 5},
        {pipe(1.0, 10.0), 3}, {pipe(4.0, 2.0), 3}, {pipe(1000.0, 3.0), 333},
        {pipe(10.0, 100.0, 0.1, 0.3), 4}, {pipe(10.0, 100.0, 0.3, 0.1), 4}};
    // clang-format on
    for (const auto& [line, cells] : cases) {
        Store one;
        ASSERT_TRUE(loadline(one, {line}));
        EXPECT_EQ(one.totalcells, cells) << line.length << " " << line.cellsize;
        EXPECT_EQ(one.celllength(cells), line.length / cells);
    }
    // Pipe 1: 3 cells of 1 m tapering from 0.2 to 0.3 m, uphill; pipe 2: 3
    // cells of 2 m at 0.5 m, downhill.
    Store s;
    s.pipeerrorcode = 2, s.fluiderrorcode = 1, s.maximumtimestep = 0.5;
    Line first = pipe(3.0, 1.0, 0.2, 0.3), second = pipe(6.0, 2.0);
    first.inclination = 0.1, second.inclination = -0.2;
    ASSERT_TRUE(loadline(s, {first, second}));
    // The shared face 4 takes pipe 2's values; positions restart at each
    // inlet. Area = D * 0.785398175 * D in that order: results depend on the
    // last bit, and D * D * 0.785398175 differs in it for some diameters.
    const double face[] = {0.2, 0.7 / 3, 0.8 / 3, 0.5, 0.5, 0.5, 0.5}, at[] = {0, 1, 2, 0, 2, 4, 6};
    for (int f = 1; f <= 7; ++f) {
        EXPECT_NEAR(s.facediameter(f), face[f - 1], 1e-15) << f;
        EXPECT_EQ(s.faceposition(f), at[f - 1]) << f;
        EXPECT_EQ(s.faceinclination(f), f < 4 ? 0.1 : -0.2) << f;
        EXPECT_EQ(s.facearea(f), s.facediameter(f) * 0.785398175 * s.facediameter(f)) << f;
    }
    // Each cell the mean of its faces: pipe 1's last cell was done before
    // pipe 2 took face 4, so it still ends at 0.3 m.
    const double cell[] = {0.65 / 3, 0.75 / 3, 0.85 / 3, 0.5, 0.5, 0.5},
                 centre[] = {0.5, 1.5, 2.5, 1, 3, 5};
    for (int c = 1; c <= 6; ++c) {
        EXPECT_NEAR(s.celldiameter(c), cell[c - 1], 1e-15) << c;
        EXPECT_EQ(s.cellcentre(c), centre[c - 1]) << c;
        EXPECT_NEAR(s.areagradient(c), c < 4 ? 0.2 / (3 * s.celldiameter(c)) : 0.0, 1e-14) << c;
        EXPECT_EQ(s.cellarea(c), s.celldiameter(c) * 0.785398175 * s.celldiameter(c)) << c;
    }
    // Every end value imposed, unit end weights, no step limit, the network
    // code cleared; the fluid code and the loadbc flags are not the load's.
    EXPECT_EQ(s.inletmassflowfixed.raw(), (std::vector<std::int32_t>{-1, -1}));
    EXPECT_EQ(s.maximumtimestep, std::numeric_limits<double>::max());
    EXPECT_EQ(s.pipeerrorcode + s.fluiderrorcode, 1);
}

TEST(Network, ARefusedLoadLeavesTheNetworkAsItWasAndTheReleaseKeepsWhatOutlivesIt)
{
    std::vector<Line> bad = {pipe(0.0, 1.0), pipe(4.0, 0.0), pipe(4.0, 1.0, 0.0)};
    for (double Line::*field : {&Line::length, &Line::diameter, &Line::outletdiameter,
                                &Line::cellsize, &Line::roughness, &Line::inclination})
        for (double v : {-1e-6, NaN, inf}) {
            bad.push_back(pipe(4.0, 1.0));
            bad.back().*field = v;
        }
    bad.erase(bad.end() - 3);         // a slope down is a pipe like any other
    bad.push_back(pipe(1e7, 1e-3));   // beyond 32-bit cell numbering
    bad.push_back(pipe(1.0, 1e-310)); // 1 / cell size overflows
    Store s;
    ASSERT_TRUE(loadline(s, {pipe(5.0, 1.0), pipe(7.0, 1.0)}));
    s.maximumtimestep = 0.25;
    const Store before = s;
    for (const Line& line : bad) {
        EXPECT_FALSE(loadline(s, {pipe(3.0, 1.0), line})) << line.length << " " << line.cellsize;
        EXPECT_EQ(std::exchange(s.pipeerrorcode, 0), 3);
        expectsamestore(before, s);
    }
    EXPECT_FALSE(loadline(s, {pipe(1.2e9, 1.0), pipe(1.2e9, 1.0)})); // each fits, not both
    const double one = 1.0;
    EXPECT_FALSE(loadpipedata(s, 1000000000, &one, &one, &one, &one, &one, &one)); // read nothing
    EXPECT_FALSE(loadpipedata(s, 1, &one, &one, &one, &one, &one, nullptr));
    EXPECT_EQ(std::exchange(s.pipeerrorcode, 0), 3);
    expectsamestore(before, s);

    // The release drops the network group, twice as once; the counts, the
    // geometry group and the network-end state stay.
    s.bcpressure(2) = 7.0, s.lastbcmassflow(1) = 3.0, s.bcloaded(1) = -1, s.pipeerrorcode = 2;
    const Store loaded = s;
    freepipememory(s);
    freepipememory(s);
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        if constexpr (ItemAt<R>::info.lifetime == Lifetime::network)
            EXPECT_TRUE((s.*item).raw().empty()) << ItemAt<R>::info.name;
        else if constexpr (R != ItemRow::networkloaded)
            expectsameitem(loaded.*item, s.*item, ItemAt<R>::info.name);
    });
}

// Each call against the store it should leave: the latest values and flags
// as given at one pipe end, the previous values there as listed, and for
// loadbc the network end's flag and carried-over values; nothing else. A
// refused call (code 3) or an ignored one (an end other than 1 or 2, no
// code) leaves the store as it was.
TEST(Network, BoundaryValuesKeepThePreviousOnesToRampFrom)
{
    struct Step {
        std::int32_t pipe, end, loaded; // pipe 0: loadbc; loaded: the flag stored first
        double p, T, m, lastp = 0.0, lastT = 0.0, lastm = 0.0;
        std::int32_t pfixed = 1, tfixed = 1, mfixed = 1, code = 0; // code -1: applied
    };
    // clang-format off
    const Step steps[] = {
        {0, 1, 0, 50e5, 300.0, 10.0, 50e5, 300.0, 10.0, 1, 1, 0, -1}, // first call: no ramp
        {0, 1, 0, 49e5, 290.0, 12.0, 50e5, 300.0, 10.0, 1, 1, 0, -1},
        {0, 2, 0, 40e5, 280.0, -3.0, 40e5, 280.0, -3.0, 0, 2, -1, -1}, // the last pipe's outlet
        {0, 2, 0, 39e5, 281.0, -2.0, 40e5, 280.0, -3.0, 0, 2, -1, -1},
        {2, 1, 0, 45e5, 295.0, 9.0, 0.0, 0.0, 0.0, 0, 1, 1, -1}, // loadbcpipe: no first-call rule
        {2, 1, 0, 44e5, 294.0, 8.0, 45e5, 295.0, 9.0, 1, 1, 1, -1},
        {0, 1, 2, 48e5, 299.0, 11.0, 48e5, 299.0, 11.0, 1, 1, 0, -1}, // 2 reads as false
        {0, 1, 1, 47e5, 298.0, 13.0, 48e5, 299.0, 11.0, 1, 1, 0, -1}, // 1 reads as true
        {0, 0, 0, 1.0, 2.0, 3.0}, {0, 3, 0, NaN, NaN, NaN}, {1, -1, 0, 1.0, 2.0, 3.0}, // ignored
        {0, 1, 0, NaN, 300.0, 1.0, 0, 0, 0, 0, 0, 0, 3}, {0, 2, 0, 1e5, inf, 1.0, 0, 0, 0, 1, 1, 1, 3},
        {0, 2, 0, 1e5, 300.0, -inf, 0, 0, 0, 1, 1, 1, 3}, {2, 2, 0, 1e5, 300.0, NaN, 0, 0, 0, 1, 1, 1, 3},
        {4, 1, 0, 1e5, 300.0, 1.0, 0, 0, 0, 1, 1, 1, 3}, {-1, 1, 0, 1e5, 300.0, 1.0, 0, 0, 0, 1, 1, 1, 3},
    };
    // clang-format on
    Store s;
    ASSERT_TRUE(loadline(s, {pipe(3.0, 1.0), pipe(4.0, 1.0), pipe(5.0, 1.0)}));
    for (const Step& t : steps) {
        SCOPED_TRACE(::testing::Message() << t.pipe << " " << t.end << " " << t.p);
        if (t.loaded != 0)
            s.bcloaded(t.end) = t.loaded;
        Store expected = s;
        if (t.code < 0) {
            const PipeEnd e = pipeend(expected, t.pipe != 0 ? t.pipe : t.end == 1 ? 1 : 3, t.end);
            e.pressure = t.p, e.temperature = t.T, e.massflow = t.m;
            e.pressurefixed = t.pfixed, e.temperaturefixed = t.tfixed, e.massflowfixed = t.mfixed;
            e.lastpressure = t.lastp, e.lasttemperature = t.lastT, e.lastmassflow = t.lastm;
        }
        if (t.code < 0 && t.pipe == 0) {
            expected.bcloaded(t.end) = logicaltrue, expected.lastbcpressure(t.end) = t.lastp;
            expected.lastbctemperature(t.end) = t.lastT, expected.lastbcmassflow(t.end) = t.lastm;
        }
        t.pipe == 0 ? loadbc(s, t.end, t.p, t.T, t.m, t.pfixed, t.tfixed, t.mfixed)
                    : loadbcpipe(s, t.pipe, t.end, t.p, t.T, t.m, t.pfixed, t.tfixed, t.mfixed);
        EXPECT_EQ(std::exchange(s.pipeerrorcode, 0), std::max(t.code, 0));
        expectsamestore(expected, s);
    }
}

// With no network loadbc and loadwalldata refuse, and the step limit refuses
// what is not a positive number; nothing changes.
TEST(Network, WallDataAndTheStepLimit)
{
    const double two[] = {280.0, 5.0};
    Store s;
    const std::function<void(Store&)> refused[] = {
        [](Store& t) { loadbc(t, 2, 1e5, 300.0, 1.0, 1, 1, 1); },
        [&](Store& t) { loadwalldata(t, two, two); },
        [](Store& t) { maxtimestep(t, 0.0); },
        [](Store& t) { maxtimestep(t, NaN); },
    };
    for (std::size_t k = 0; k < std::size(refused); ++k) {
        const Store before = s;
        refused[k](s);
        EXPECT_EQ(std::exchange(s.pipeerrorcode, 0), 3) << k;
        expectsamestore(before, s);
    }
    // Every cell takes its pipe's wall; an infinite limit means no limit.
    ASSERT_TRUE(loadline(s, {pipe(4.0, 1.0), pipe(6.0, 1.0)}));
    const double ambient[] = {280.0, 290.0}, coefficient[] = {5.0, 0.0};
    loadwalldata(s, ambient, nullptr);
    EXPECT_EQ(std::exchange(s.pipeerrorcode, 0), 3);
    loadwalldata(s, ambient, coefficient);
    maxtimestep(s, inf);
    for (int c = 1; c <= 10; ++c)
        EXPECT_EQ(std::pair(s.ambienttemperature(c), s.heattransfercoefficient(c)),
                  c <= 4 ? std::pair(280.0, 5.0) : std::pair(290.0, 0.0));
    EXPECT_EQ(s.maximumtimestep, inf);
}
