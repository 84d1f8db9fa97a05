// The swept sub-step (both stages in one pass along the chain, the second a
// block behind the first) against the sub-step as written, stage after
// stage. Whatever the chain and its ends, the two must leave the whole
// store the same to the last bit; where they could not, the driver must
// keep to the stage-by-stage order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "drivers/drivers.h"
#include "drivers/stepping.h"
#include "network/network.h"
#include "support/gasnetwork.h"
#include "support/samestore.h"

namespace pelmora {
namespace {

using testing::Line;

// The latest boundary values of a chain's ends.
StageValues latestvalues(const Store& s, std::int32_t inletpipe, std::int32_t outletpipe)
{
    return StageValues{s.inletpressure(inletpipe),      s.inlettemperature(inletpipe),
                       s.inletmassflow(inletpipe),      s.outletpressure(outletpipe),
                       s.outlettemperature(outletpipe), s.outletmassflow(outletpipe)};
}

// Runs `substeps` sub-steps on two copies of s, one swept and one stage by
// stage, and requires the same store after each.
void expectsamesubsteps(const Store& s, std::int32_t firstpipe, std::int32_t lastpipe,
                        bool junctions, int substeps)
{
    Store swept = s, sequential = s;
    ASSERT_TRUE(sweepstogether(swept, firstpipe, lastpipe));
    for (int n = 0; n < substeps; ++n) {
        const double h = 0.9 * networklimit(swept);
        const StageValues target = latestvalues(swept, firstpipe, lastpipe);
        sweptsubstep(swept, firstpipe, lastpipe, h, target, junctions);
        sequentialsubstep(sequential, firstpipe, lastpipe, h, target, junctions);
        SCOPED_TRACE(::testing::Message() << "sub-step " << n + 1);
        testing::expectsamestore(swept, sequential);
        if (::testing::Test::HasFailure())
            return;
    }
}

class SweptSubstep : public ::testing::Test {
protected:
    Store s;

    // Three inclined pipes, 2,501 cells: joints inside blocks, two whole
    // blocks and a short last one. The pipes start at different pressures,
    // so waves run through the joints and the limiter works everywhere.
    void loadnetwork()
    {
        ASSERT_TRUE(testing::loadnaturalgas(s));
        Line a{12000.0, 0.6, 0.01, 2e-5, 10.0, 280.0, 0.0};
        Line b{8000.0, 0.5, -0.02, 5e-5, 10.0, 300.0, 2.5};
        Line c{5010.0, 0.6, 0.0, 2e-5, 10.0, 288.0, 0.0};
        ASSERT_TRUE(testing::loadline(s, {a, b, c}));
        testing::startuniform(s, {60e5, 57e5, 58e5}, {288.0, 300.0, 288.0}, {150.0, 150.0, 150.0});
    }

    // A single line of n cells of 10 m.
    void loadline(std::int32_t n)
    {
        ASSERT_TRUE(testing::loadnaturalgas(s));
        ASSERT_TRUE(testing::loadline(s, {Line{10.0 * n, 0.6, 0.0, 2e-5, 10.0, 288.0, 1.0}}));
        testing::startuniform(s, {60e5}, {288.0}, {100.0});
    }
};

TEST_F(SweptSubstep, WholeNetworkLeavesTheSameStoreUnderEveryKindOfEnd)
{
    loadnetwork();
    // Pressure and temperature imposed at the inlet, mass flow at the outlet.
    loadbc(s, 1, 61e5, 290.0, 0.0, 1, 1, 0);
    loadbc(s, 2, 0.0, 288.0, 160.0, 0, 0, 1);
    transientpipes(s, 2.0);
    ASSERT_GT(s.totalcells, 2 * 1024);
    expectsamesubsteps(s, 1, s.numberofpipes, true, 3);

    // Reversed flow: gas enters through the outlet at an imposed
    // temperature, mass flow imposed at the inlet.
    loadbc(s, 1, 0.0, 290.0, -80.0, 0, 1, 1);
    loadbc(s, 2, 58e5, 310.0, 0.0, 1, 1, 0);
    transientpipes(s, 5.0);
    expectsamesubsteps(s, 1, s.numberofpipes, true, 3);

    // Nothing imposed: every end value extrapolated from the cells.
    loadbc(s, 1, 0.0, 0.0, 0.0, 0, 0, 0);
    loadbc(s, 2, 0.0, 0.0, 0.0, 0, 0, 0);
    expectsamesubsteps(s, 1, s.numberofpipes, true, 2);
}

TEST_F(SweptSubstep, SinglePipesOfANetworkLeaveTheSameStore)
{
    loadnetwork();
    loadbc(s, 1, 61e5, 290.0, 0.0, 1, 1, 0);
    loadbc(s, 2, 0.0, 288.0, 160.0, 0, 0, 1);
    transientpipes(s, 2.0);
    // Each pipe between its own applied values, as transientpipe steps it.
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p) {
        loadbcpipe(s, p, 1, 60e5, 295.0, 140.0, 1, 1, 0);
        loadbcpipe(s, p, 2, 59e5, 288.0, 150.0, 0, 0, 1);
        SCOPED_TRACE(::testing::Message() << "pipe " << p);
        expectsamesubsteps(s, p, p, false, 2);
    }
}

TEST_F(SweptSubstep, LinesAroundBlockBoundariesLeaveTheSameStore)
{
    // One block exactly, a cell more or less, a short last block of one to
    // three cells (whose cell update reaches the end from the block before),
    // and a line two cells long.
    for (std::int32_t n : {2, 1023, 1024, 1025, 1026, 1027, 2049, 3074}) {
        s = Store{};
        loadline(n);
        loadbc(s, 1, 62e5, 290.0, 0.0, 1, 1, 0);
        loadbc(s, 2, 0.0, 288.0, 100.0, 0, 0, 1);
        transientpipes(s, 1.0);
        SCOPED_TRACE(::testing::Message() << n << " cells");
        expectsamesubsteps(s, 1, 1, true, 2);
    }
}

TEST_F(SweptSubstep, DriverKeepsTheStageOrderWhereSweepingWouldChangeTheResult)
{
    loadnetwork();
    EXPECT_TRUE(sweepstogether(s, 1, s.numberofpipes));

    // A set pass flag refreshes its pipe between the stages.
    s.pipepassflag(2) = logicaltrue;
    EXPECT_FALSE(sweepstogether(s, 1, s.numberofpipes));
    EXPECT_TRUE(sweepstogether(s, 3, 3));
    s.pipepassflag(2) = 2; // bit 0 clear: false
    EXPECT_TRUE(sweepstogether(s, 1, s.numberofpipes));

    // A host gas model sees its calls in cell order, stage by stage.
    Store host = s;
    host.fluidmodel = 2;
    EXPECT_FALSE(sweepstogether(host, 1, host.numberofpipes));

    // Pipes that do not follow one another cell after cell (a layout a host
    // could restore) are refreshed pipe by pipe, not along the chain.
    Store gap = s;
    gap.firstcell(3) += 1;
    EXPECT_FALSE(sweepstogether(gap, 1, gap.numberofpipes));
    EXPECT_TRUE(sweepstogether(gap, 1, 2));

    // With a flag set, the driver's sub-step is the stage-by-stage one.
    s.pipepassflag(1) = logicaltrue;
    Store driven = s, sequential = s;
    const StageValues target = latestvalues(s, 1, s.numberofpipes);
    twostagesubstep(driven, 1, s.numberofpipes, 0.05, target, true);
    sequentialsubstep(sequential, 1, s.numberofpipes, 0.05, target, true);
    testing::expectsamestore(driven, sequential);
}

} // namespace
} // namespace pelmora
