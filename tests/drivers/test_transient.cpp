// Transient and steady marching: sub-step rules, ramps, conservation, the
// steady test, and refusals that leave the store untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "drivers/drivers.h"
#include "drivers/stepping.h"
#include "engine/errors.h"
#include "support/gasnetwork.h"

namespace pelmora {
namespace {

using testing::Line;

// The ideal gas of loadnaturalgas, evaluated through host routines so that a
// test can count the cell updates (one density-energy evaluation per cell
// per stage).
struct Counter {
    double R = 8314.3 / 17.0;
    double cv = 8314.3 / (0.3 * 17.0);
    long rhoe = 0;
};

void countpt(void* ctx, double pkpa, double tc, double* rho, double* e, double* h, double* mu,
             double* c)
{
    auto* k = static_cast<Counter*>(ctx);
    const double T = tc + 273.15;
    *rho = pkpa * 1000.0 / (k->R * T);
    *e = k->cv * T / 1000.0;
    *h = (k->cv + k->R) * T / 1000.0;
    *mu = 0.011;
    *c = 0.0;
}

void countrhoe(void* ctx, double rho, double e, double* pkpa, double* tc, double* h, double* mu,
               double* c)
{
    auto* k = static_cast<Counter*>(ctx);
    ++k->rhoe;
    const double T = e * 1000.0 / k->cv;
    *pkpa = rho * k->R * T / 1000.0;
    *tc = T - 273.15;
    *h = (k->cv + k->R) * T / 1000.0;
    *mu = 0.011;
    *c = 0.0;
}

void countph(void*, double, double, double*, double*, double*, double*, double*) {}

class DriverTest : public ::testing::Test {
protected:
    Store s;
    Counter counter;

    void load(const std::vector<Line>& pipes, bool counting = false)
    {
        if (counting)
            ASSERT_TRUE(
                loadfluid(s, &counter, countpt, countrhoe, countph, 17.0, 1.3, 1.1e-5, 1.0, 2));
        else
            ASSERT_TRUE(testing::loadnaturalgas(s));
        ASSERT_TRUE(testing::loadline(s, pipes));
    }
    // Closed ends: mass flow 0 imposed at both network ends, nothing else.
    void closeends()
    {
        loadbc(s, 1, 0.0, 0.0, 0.0, 0, 0, 1);
        loadbc(s, 2, 0.0, 0.0, 0.0, 0, 0, 1);
    }
    double cellsubsteps() const { return static_cast<double>(counter.rhoe) / (2.0 * s.totalcells); }
};

TEST_F(DriverTest, GasAtRestStaysAtRest)
{
    load({Line{}, Line{}});
    testing::startuniform(s, {50e5, 50e5}, {288.0, 288.0}, {0.0, 0.0});
    closeends();
    for (int step = 0; step < 200; ++step)
        transientpipes(s, 1.0);
    for (std::int32_t c = 1; c <= s.totalcells; ++c) {
        EXPECT_EQ(s.velocity(c), 0.0);
        EXPECT_NEAR(s.pressure(c), 50e5, 1e-9 * 50e5);
        EXPECT_NEAR(s.temperature(c), 288.0, 1e-9 * 288.0);
    }
    EXPECT_EQ(geterrorcode(s), 0);
}

// A shock tube in a closed line: mass and energy are conserved to rounding
// while the waves travel inside the line. (Once they reach the closed ends,
// the ghost states extrapolated from the end cells let the end faces carry
// diffusive mass and energy; that exchange is part of the scheme's end
// treatment and is measured by the validation suite.)
TEST_F(DriverTest, ShockTubeConservesMassAndEnergyInsideTheLine)
{
    Line half;
    half.length = 5000.0;
    half.cellsize = 10.0;
    load({half, half});
    ASSERT_TRUE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.0, 1.3, 0.0, 1.0, 1));
    testing::startuniform(s, {50e5, 40e5}, {288.0, 288.0}, {0.0, 0.0});
    closeends();
    const double mass0 = testing::linemass(s), energy0 = testing::lineenergy(s);
    // The sound speed is about 430 m/s: in 1 s the waves travel 43 cells,
    // and even the scheme's numerical precursor stays far from the ends.
    for (int step = 0; step < 50; ++step)
        transientpipes(s, 0.02);
    EXPECT_NEAR(testing::linemass(s), mass0, 1e-13 * mass0);
    EXPECT_NEAR(testing::lineenergy(s), energy0, 1e-13 * energy0);
    EXPECT_EQ(s.pressure(1), 50e5) << "the waves have not reached the inlet";
    EXPECT_GT(s.velocity(500), 10.0) << "gas flows from the high-pressure half";
}

TEST_F(DriverTest, AmpleStabilityLimitGivesTwoHalfSteps)
{
    load({Line{}}, true);
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    closeends();
    counter.rhoe = 0;
    transientpipes(s, 1e-4); // far below dx / (|u| + c)
    EXPECT_EQ(cellsubsteps(), 2.0);

    counter.rhoe = 0;
    transientpipe(s, 1, 1e-4);
    EXPECT_EQ(cellsubsteps(), 1.0) << "no half-step cap for a single pipe";

    // A limit of dt/3 takes three sub-steps.
    maxtimestep(s, 1e-4 / 3.0 * 1.0000001);
    counter.rhoe = 0;
    transientpipe(s, 1, 1e-4);
    EXPECT_EQ(cellsubsteps(), 3.0);
}

TEST_F(DriverTest, StepThatIsNotPositiveChangesNothing)
{
    load({Line{}, Line{}});
    testing::startuniform(s, {50e5, 49e5}, {288.0, 290.0}, {10.0, 10.0});
    loadbc(s, 1, 51e5, 288.0, 10.0, 1, 1, 0);
    loadbc(s, 2, 48e5, 288.0, 10.0, 0, 0, 1);
    const Store before = s;
    for (double dt : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        transientpipes(s, dt);
        transientpipe(s, 1, dt);
        double elapsed = -1.0;
        steadypipes(s, dt, elapsed);
        EXPECT_EQ(elapsed, 0.0);
    }
    EXPECT_EQ(s.conserved.raw(), before.conserved.raw());
    EXPECT_EQ(s.previousconserved.raw(), before.previousconserved.raw());
    EXPECT_EQ(s.pipepassflag.raw(), before.pipepassflag.raw());
    EXPECT_EQ(s.midinletpressure.raw(), before.midinletpressure.raw());
    EXPECT_EQ(s.lastbcpressure(1), before.lastbcpressure(1));
    EXPECT_EQ(s.pipeerrorcode, 0);
}

TEST_F(DriverTest, RefusedCallsSetCodeThreeAndChangeNothing)
{
    // Before any gas or network.
    transientpipes(s, 1.0);
    EXPECT_EQ(geterrorcode(s), coderefused);

    load({Line{}, Line{}});
    testing::startuniform(s, {50e5, 50e5}, {288.0, 288.0}, {0.0, 0.0});
    const Store before = s;
    transientpipe(s, 3, 1.0);
    EXPECT_EQ(geterrorcode(s), coderefused);
    double elapsed = -1.0;
    steadypipe(s, 0, 1.0, elapsed);
    EXPECT_EQ(geterrorcode(s), coderefused);
    EXPECT_EQ(elapsed, -1.0);
    EXPECT_EQ(s.conserved.raw(), before.conserved.raw());

    // A state that is not a number cannot give a sub-step: stop at once.
    s.soundspeed(5) = std::numeric_limits<double>::quiet_NaN();
    transientpipes(s, 1.0);
    EXPECT_EQ(geterrorcode(s), coderefused);
    EXPECT_EQ(s.conserved.raw(), before.conserved.raw());
}

// The stability limit is half the smallest crossing time of the pipe's
// cells, wherever that cell lies (the limit is taken several cells at a
// time), and NaN as soon as one cell's state is not a number.
TEST_F(DriverTest, StabilityLimitFindsTheSmallestCrossingTimeAnywhere)
{
    Line line;
    line.length = 370.0; // 37 cells: full vectors and a short tail
    load({line});
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    s.maximumtimestep = 1e9;
    const std::int32_t first = s.firstcell(1), last = s.lastcell(1);
    for (std::int32_t c = first; c <= last; ++c)
        s.velocity(c) = 10.0 + 0.1 * (c - first);
    for (std::int32_t fast = first; fast <= last; ++fast) {
        const double saved = s.velocity(fast);
        s.velocity(fast) = -2000.0; // the fastest cell, flowing backwards
        double smallest = std::numeric_limits<double>::max();
        for (std::int32_t c = first; c <= last; ++c)
            smallest =
                std::min(smallest, s.celllength(c) / (std::abs(s.velocity(c)) + s.soundspeed(c)));
        EXPECT_EQ(pipelimit(s, 1), 0.5 * smallest) << "fastest cell " << fast;
        s.soundspeed(fast) = std::numeric_limits<double>::quiet_NaN();
        EXPECT_TRUE(std::isnan(pipelimit(s, 1))) << "NaN at cell " << fast;
        s.soundspeed(fast) = s.soundspeed(first == fast ? last : first);
        s.velocity(fast) = saved;
    }
}

TEST_F(DriverTest, EndlessSpansAreRefused)
{
    load({Line{}});
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    closeends();
    const Store before = s;
    const double inf = std::numeric_limits<double>::infinity();
    double elapsed = -1.0;
    transientpipes(s, inf);
    EXPECT_EQ(geterrorcode(s), coderefused);
    transientpipe(s, 1, inf);
    EXPECT_EQ(geterrorcode(s), coderefused);
    steadypipes(s, inf, elapsed);
    EXPECT_EQ(geterrorcode(s), coderefused);
    steadypipe(s, 1, inf, elapsed);
    EXPECT_EQ(geterrorcode(s), coderefused);
    EXPECT_EQ(s.conserved.raw(), before.conserved.raw());
}

TEST_F(DriverTest, BrokenNetworkEndStateDoesNotBlockLaterSteps)
{
    load({Line{}});
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    closeends();
    // An end state that is not a number, as a failed step or a careless
    // restore can leave it: the cells still bound the sub-step, and the next
    // pipe step publishes a usable end state.
    s.bcvelocity(1) = std::numeric_limits<double>::quiet_NaN();
    s.bcsoundspeed(2) = -1.0;
    transientpipes(s, 0.01);
    EXPECT_EQ(geterrorcode(s), 0);
    EXPECT_TRUE(std::isfinite(s.bcvelocity(1)));
    EXPECT_GT(s.bcsoundspeed(2), 0.0);
    // A violent end state left by a failed step: its limit would ask for far
    // more sub-steps than the budget has, but it holds only until the first
    // sub-step publishes a fresh one, so the step is not judged on it.
    s.bcvelocity(2) = 1e300;
    double elapsed = 0.0;
    steadypipes(s, 0.01, elapsed);
    EXPECT_EQ(geterrorcode(s), 0);
    EXPECT_LT(std::abs(s.bcvelocity(2)), 1.0);
}

// A span that needs more sub-steps than the budget allows (here a time-step
// limit of 1e-300 s against 0.05 s) ends after the first sub-step with
// code 3, the store as that sub-step left it, instead of marching on until
// the budget runs out.
TEST_F(DriverTest, SpanBeyondTheSubstepBudgetStopsAfterOneSubstep)
{
    load({Line{}, Line{}}, true);
    testing::startuniform(s, {50e5, 50e5}, {288.0, 288.0}, {10.0, 10.0});
    loadbc(s, 1, 51e5, 288.0, 10.0, 1, 1, 0);
    loadbc(s, 2, 49e5, 288.0, 10.0, 0, 0, 1);
    maxtimestep(s, 1e-300);
    // A mass flow that is not uniform, so steadypipe cannot count the pipe
    // as steady after a sub-step in which nothing moved.
    for (auto* level : {&s.conserved, &s.previousconserved})
        (*level)(2, s.firstcell(2) + 1) *= 1.5;
    const std::int32_t all = s.totalcells, pipe2 = s.lastcell(2) - s.firstcell(2) + 1;
    double elapsed = -1.0;
    const struct {
        const char* name;
        std::function<void()> call;
        std::int32_t cells;
    } drivers[] = {
        {"transientpipes", [&] { transientpipes(s, 0.05); }, all},
        {"transientpipe", [&] { transientpipe(s, 2, 0.05); }, pipe2},
        {"steadypipes", [&] { steadypipes(s, 0.05, elapsed); }, all},
        {"steadypipe", [&] { steadypipe(s, 2, 0.05, elapsed); }, pipe2},
    };
    for (const auto& driver : drivers) {
        SCOPED_TRACE(driver.name);
        elapsed = 1e-300;
        counter.rhoe = 0;
        driver.call();
        EXPECT_EQ(geterrorcode(s), coderefused);
        EXPECT_EQ(counter.rhoe, 2 * driver.cells) << "one sub-step of two stages";
        EXPECT_EQ(elapsed, 1e-300) << "the steady marches report the one sub-step";
    }
}

TEST_F(DriverTest, RampEndsAtTheLatestHostValues)
{
    load({Line{}});
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    loadbc(s, 1, 50e5, 288.0, 0.0, 1, 1, 0); // first call after the start: no ramp
    EXPECT_EQ(s.lastinletpressure(1), 50e5);
    loadbc(s, 1, 52e5, 288.0, 0.0, 1, 1, 0); // ramp from 50e5 to 52e5
    EXPECT_EQ(s.lastinletpressure(1), 50e5);
    loadbc(s, 2, 0.0, 0.0, 0.0, 0, 0, 1);
    transientpipes(s, 1e-3);
    EXPECT_DOUBLE_EQ(s.lastbcpressure(1), 52e5);
    EXPECT_DOUBLE_EQ(s.midbcpressure(1), 52e5);
    EXPECT_DOUBLE_EQ(s.midinletpressure(1), 52e5);
    EXPECT_DOUBLE_EQ(s.bcpressure(1), 52e5) << "the imposed inlet pressure is published";
    EXPECT_FALSE(istrue(s.pipepassflag(1))) << "each sub-step flips the flag twice";
}

TEST_F(DriverTest, SteadyPipeReturnsAfterOneSubStepWhenSteady)
{
    load({Line{}});
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    closeends();
    double elapsed = 0.0;
    steadypipe(s, 1, 100.0, elapsed);
    const double dx = s.celllength(1);
    const double limit = 0.5 * dx / (std::abs(s.velocity(1)) + s.soundspeed(1));
    EXPECT_GT(elapsed, 0.0);
    EXPECT_NEAR(elapsed, limit, 1e-6 * limit);
    EXPECT_LT(elapsed, 100.0);
}

TEST_F(DriverTest, LastSubStepMayOvershootTheSpan)
{
    Line longcells;
    longcells.length = 30000.0;
    longcells.cellsize = 10000.0; // crossing time ~ 25 s, so the limit is 2 s
    load({longcells});
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    closeends();
    maxtimestep(s, 2.0);
    double elapsed = 0.0;
    steadypipes(s, 3.0, elapsed);
    EXPECT_EQ(elapsed, 4.0);
}

TEST_F(DriverTest, SteadyMarchesSettleAFlowingPipe)
{
    Line pipe;
    pipe.length = 2000.0;
    pipe.cellsize = 100.0;
    load({pipe});
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    loadbc(s, 1, 50e5, 288.0, 20.0, 1, 1, 0);
    loadbc(s, 2, 49.9e5, 288.0, 20.0, 0, 0, 1);
    double elapsed = 0.0;
    steadypipes(s, 600.0, elapsed);
    EXPECT_GE(elapsed, 600.0);
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        EXPECT_NEAR(s.massflowrate(c), 20.0, 0.01);
    EXPECT_LT(s.pressure(s.totalcells), s.pressure(1)) << "friction drops the pressure";

    // Settled: a single-pipe march now stops after one sub-step.
    steadypipe(s, 1, 600.0, elapsed);
    EXPECT_LT(elapsed, 1.0);
}

} // namespace
} // namespace pelmora
