// The drivers. The steady state found face by face: the status of each mode,
// and that a found state satisfies the steady balances. The time-stepping
// drivers: how they divide a span into sub-steps, what bounds a sub-step,
// refusals, conservation, the swept sub-step against the stage-by-stage
// one, and no heap memory once a network is loaded.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <new>

#include "drivers/stepping.h"
#include "engine/errors.h"
#include "support/gasnetwork.h"
#include "support/samestore.h"

// Global allocation counted while a test switches the counter on. The
// standard library's array and sized forms forward to these; the engine
// allocates no over-aligned type. (A sanitizer replaces every form: those
// it keeps pair among themselves, and the nothrow form the engine uses is
// replaced here.) Memory from these operators is released by std::free, as
// they take it from std::malloc; GCC cannot see that pairing through them.
#if defined(__GNUC__) && !defined(__clang__)
#  pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static bool counting = false;
static long allocations = 0;
static void* counted(std::size_t n)
{
    allocations += counting ? 1 : 0;
    return std::malloc(n == 0 ? 1 : n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return counted(n); }
void* operator new(std::size_t n)
{
    void* p = counted(n);
    return p ? p : throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace pelmora {
namespace {

using testing::Line;

// The ideal gas of loadnaturalgas through host routines that count the cell
// updates (one density-energy evaluation per cell per stage) and the other
// evaluations.
long updates = 0, evaluations = 0;
constexpr double R = 8.3143 / 17.0, cv = R / 0.3, cp = R + cv; // kJ/(kg K)
void hostpt(void*, double p, double t, double* rho, double* e, double* h, double* mu, double* c)
{
    ++evaluations;
    *rho = p / (R * (t + 273.15));
    *e = cv * (t + 273.15);
    *h = *e + R * (t + 273.15);
    *mu = 0.011;
    *c = 0.0;
}
void hostrhoe(void*, double rho, double e, double* p, double* t, double* h, double* mu, double* c)
{
    ++updates;
    *t = e / cv - 273.15;
    *p = rho * R * e / cv;
    hostpt(nullptr, *p, *t, &rho, &e, h, mu, c);
}
void hostph(void*, double p, double h, double* rho, double* t, double* e, double* mu, double* c)
{
    *t = h / cp - 273.15;
    hostpt(nullptr, p, *t, rho, e, &h, mu, c);
}

// Pipes at rest at 50 bar and 288 K, both ends closed, after a first step
// (the drivers take their working storage on the first call).
void atrest(Store& s, const std::vector<Line>& pipes, bool host = false)
{
    ASSERT_TRUE(host ? loadfluid(s, nullptr, hostpt, hostrhoe, hostph, 17.0, 1.3, 1.1e-5, 1.0, 2)
                     : testing::loadnaturalgas(s));
    ASSERT_TRUE(testing::loadline(s, pipes));
    const std::vector<double> p(pipes.size(), 50e5), T(pipes.size(), 288.0), m(pipes.size());
    testing::startuniform(s, p, T, m);
    transientpipes(s, 1e-9);
    testing::startuniform(s, p, T, m);
    loadbc(s, 1, 0.0, 0.0, 0.0, 0, 0, 1);
    loadbc(s, 2, 0.0, 0.0, 0.0, 0, 0, 1);
}

// Runs transientpipes, transientpipe, steadypipes or steadypipe (driver 0
// to 3) over span; the time the steady marches report, else -1.
double run(Store& s, int driver, double span, std::int32_t pipe = 1)
{
    double elapsed = -1.0;
    driver == 0   ? transientpipes(s, span)
    : driver == 1 ? transientpipe(s, pipe, span)
    : driver == 2 ? steadypipes(s, span, elapsed)
                  : steadypipe(s, pipe, span, elapsed);
    return elapsed;
}

// Every status with a case that gives it. Only a found state is written:
// otherwise the cells keep their mark. A search or a march step that can no
// longer move ends at once: a search from the largest double (its bracket
// reaches infinity), a march from 1e7 K through a cooled pipe (the trial
// temperature lies above those the iteration trusts); the gas is called
// far fewer times than in 100 trials or 250 iterations a cell.
TEST(SteadyState, StatusOfEveryModeAndRefusal)
{
    const Line pipe{}, wider{100.0, 0.5 + 5e-9}, step{100.0, 0.5 + 2e-8}, km{1000.0, 0.5};
    const Line far{50000.0, 0.5, 0.0, 2e-5, 1000.0},
        cooled{300.0, 0.5, 0.0, 2e-5, 100.0, 288.0, 10.0};
    const struct {
        std::vector<Line> pipes;
        std::int32_t mode;
        double a, c;
        std::int32_t status, code = codenone;
        double b = 300.0, calls = 1000.0; // gas evaluations a cell at most
    } cases[] = {
        {{pipe, wider}, 1, 50e5, 10.0, steadyfound},
        {{pipe, step}, 1, 50e5, 10.0, steadynotuniform},
        {{pipe}, 1, 1e5, 1000.0, steadysupersonicstart},
        {{pipe}, 3, 40e5, -1.0, steadysupersonicstart},
        {{pipe}, 4, 40e5, 1.0, steadysupersonicstart},
        {{km, km}, 1, 1e5, 40.0, steadysupersonicduct},
        {{far}, 1, 5e5, 100.0, steadyfailed},
        {{cooled}, 1, 50e5, 0.01, steadyfound, codemarchunconverged},
        {{pipe}, 3, DBL_MAX, 10.0, steadyfailed, codefluidfloor, 300.0, 30.0},
        {{cooled}, 1, 50e5, 10.0, steadyfound, codemarchunconverged, 1e7, 200.0},
        {{pipe}, 0, 50e5, 10.0, steadybadmode},
        {{pipe}, 1, std::nan(""), 10.0, steadybadmode, coderefused},
        {{pipe}, 5, 50e5, INFINITY, steadybadmode, coderefused},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << k.mode << ", status " << k.status);
        Store s;
        atrest(s, k.pipes, true);
        s.conserved.raw().assign(s.conserved.raw().size(), -1.0);
        evaluations = 0;
        EXPECT_EQ(steadystate(s, k.mode, k.a, k.b, k.c), k.status);
        EXPECT_EQ(geterrorcode(s), k.code);
        EXPECT_LT(evaluations, k.calls * s.totalcells);
        for (std::int32_t i = 1; i <= s.totalcells; ++i)
            ASSERT_EQ(s.conserved(1, i) > 0.0, k.status == steadyfound) << "cell " << i;
    }
}

// Each mode from end 2 is, to the last bit, the mirror image of its mode
// from end 1 on the line turned round. The flow is uniform, each search
// meets its target, and the pressure drop and temperature obey the
// balances: held at the wall temperature, p1^2 - p2^2 = 4 f L (m/A)^2 R T
// / D; without wall heat, h + u^2/2 + g z is carried unchanged.
TEST(SteadyState, ModesMirrorEachOtherAndObeyTheBalances)
{
    const struct {
        std::int32_t mode;
        double htc, slope, c, target;
    } cases[] = {
        {1, 100.0, 0.0, 50.0, 0.0}, {3, 0.0, 0.02, 100.0, 50e5}, {5, 2.0, 0.1, 40e5, 40e5}};
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << k.mode);
        Store s[2];
        for (int mirror = 0; mirror < 2; ++mirror) {
            const double up = mirror ? 0.5 * k.slope : k.slope,
                         down = mirror ? -k.slope : -0.5 * k.slope;
            ASSERT_TRUE(testing::loadnaturalgas(s[mirror]));
            ASSERT_TRUE(testing::loadline(s[mirror],
                                          {Line{25000.0, 0.5, up, 2e-5, 500.0, 300.0, k.htc},
                                           Line{25000.0, 0.5, down, 2e-5, 500.0, 300.0, k.htc}}));
            s[mirror].bcloaded(1) = logicaltrue;
            const double c = k.mode == 5 || mirror == 0 ? k.c : -k.c;
            ASSERT_EQ(steadystate(s[mirror], k.mode + mirror, 50e5, 300.0, c), steadyfound);
        }
        const Store& f = s[0];
        const std::int32_t n = f.totalcells;
        const double m = f.bcmassflowrate(1), p1 = f.bcpressure(1), p2 = f.bcpressure(2);
        for (std::int32_t i = 1; i <= n; ++i) {
            ASSERT_EQ(f.massflowrate(i), m) << "cell " << i;
            ASSERT_EQ(s[1].pressure(n + 1 - i), f.pressure(i)) << "cell " << i;
        }
        EXPECT_EQ(s[1].bcmassflowrate(2), -m);
        EXPECT_EQ(s[1].bctemperature(1), f.bctemperature(2));
        EXPECT_EQ(f.outletpressure(1), f.inletpressure(2));
        EXPECT_EQ(f.previousconserved.raw(), f.conserved.raw());
        if (k.target > 0.0) {
            // The pressure searches may end on their bracket, within 1e-6 of
            // the upstream pressure; then loadbc's first-call flags stay.
            EXPECT_NEAR(p2, k.target, 1e-6 * p1);
            EXPECT_EQ(f.bcloaded(1) == logicalfalse, k.mode == 5);
        }
        const double A = 0.785398175 * 0.25, u1 = f.bcvelocity(1), u2 = f.bcvelocity(2);
        if (k.htc > 10.0) {
            const double l = std::log10(4e-5 + 21.25 / std::pow((m / A) * 0.5 / 1.1e-5, 0.9));
            const double friction = 0.25 / ((1.14 - 2.0 * l) * (1.14 - 2.0 * l));
            EXPECT_NEAR((p1 * p1 - p2 * p2) /
                            (8.0 * friction * 50000.0 * (m / A) * (m / A) * 1000.0 * R * 300.0),
                        1.0, 0.005);
        } else if (k.htc == 0.0) {
            const double gz = 9.81 * 25000.0 * (std::sin(k.slope) + std::sin(-0.5 * k.slope));
            EXPECT_NEAR(1000.0 * cp * f.bctemperature(2) + 0.5 * u2 * u2 + gz,
                        1000.0 * cp * 300.0 + 0.5 * u1 * u1, 1e-4 * cp * 300.0);
        }
    }
}

// The momentum balance takes each face's rho u^2 as (rho u) u, as the
// transient kernels do. The pressures come from an independent step-by-step
// computation of this case; with rho (u u), cell 4 and every cell after it
// are one unit in the last place off.
TEST(SteadyState, MomentumFluxesAreFormedLikeTheKernels)
{
    Store s;
    ASSERT_TRUE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, 24.952500048102024,
                          1.2886438741838524, 1.995092787979299e-05, 0.8873053623476806, 1));
    const double D = 0.5497381267718402;
    ASSERT_TRUE(testing::loadline(
        s, {Line{1613.8691032888394, D, -0.15395707973032816, 6.426071521074509e-05,
                 198.21999844306268, 284.66871449031777, 0.0},
            Line{764.9439848712201, D, -0.05994599395318323, 1.932122889790681e-05,
                 315.52579414952606, 305.06359824135114, 8.351303007152485},
            Line{679.2765423076478, D, 0.0, 0.0001524679511424839, 260.8794463319075,
                 303.8926616443934, 0.0}}));
    ASSERT_EQ(steadystate(s, 5, 3192174.3184019956, 3032565.6024818956, 56.98749700784694),
              steadyfound);
    EXPECT_EQ(s.pressure(4), 0x1.84a69d0c7fc3ap+20);
    EXPECT_EQ(s.bcpressure(2), 0x1.4e1af49725f9ap+17);
}

// Sub-steps taken, the span covered and the end values reached. A step is
// at most half the smallest crossing time (10 m cells: 11.6 ms) and the
// step limit; transientpipes also at most half the span; the steady
// marches take whole sub-steps past the span, steadypipe stops once the
// pipe is steady (not while the wall still heats the gas).
TEST(Drivers, SubstepsCoverTheSpanUnderEveryLimit)
{
    const Line still{}, longcells{30000.0, 0.5, 0.0, 2e-5, 10000.0};
    const Line heated{100.0, 0.5, 0.0, 2e-5, 10.0, 488.0, 1000.0};
    const struct {
        int driver;
        Line pipe;
        double span, steplimit, substeps, elapsed, ramp = 1.0;
        std::int32_t code = codenone; // 3: refused or stopped
    } cases[] = {
        // clang-format off
        {0, still, 1e-4, 1.0, 2, -1},             {1, still, 1e-4, 1.0, 1, -1},
        {0, still, 1e-4, 0.4e-4, 3, -1},          {1, still, 1e-4, 1e-4 / 3 * 1.0000001, 3, -1},
        {2, longcells, 3.0, 2.0, 2, 4.0},         {2, longcells, 4.0, 2.0, 2, 4.0},
        {3, still, 100.0, 1e-3, 1, 1e-3},         {3, heated, 0.025, 0.01, 3, 0.03},
        // A span that needs more sub-steps than the budget has left stops
        // with code 3 after the first sub-step.
        {0, still, 0.05, 1e-300, 1, -1, 2e-299, 3}, {1, still, 0.05, 1e-300, 1, -1, 2e-299, 3},
        {2, still, 0.05, 1e-300, 1, 1e-300, 1, 3}, {3, still, 0.05, 1e-300, 1, 1e-300, 1, 3},
        // clang-format on
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::Message() << "driver " << k.driver << ", span " << k.span);
        Store s;
        atrest(s, {k.pipe}, true);
        maxtimestep(s, k.steplimit);
        if (k.code != codenone) // a flow that is not uniform is never steady
            s.conserved(2, 5) = s.previousconserved(2, 5) = 1.0;
        loadbc(s, 1, 1.0, 0.0, 0.0, 0, 0, 1); // a ramp of a pressure not imposed
        updates = allocations = 0;
        counting = true;
        EXPECT_NEAR(run(s, k.driver, k.span), k.elapsed, 1e-12);
        counting = false;
        EXPECT_EQ(allocations, 0) << "no heap memory on host routines";
        EXPECT_EQ(updates, 2 * k.substeps * s.totalcells);
        EXPECT_DOUBLE_EQ(s.lastbcpressure(1), k.ramp) << "the ramp ends at the span";
        EXPECT_EQ(geterrorcode(s), k.code);
    }
}

// The network ends bound the sub-step by half the end cell's crossing time
// at the end state the previous step published (here gas entering the
// outlet at 1200 K, sounding twice as fast as in the cells). An end state
// that is not a usable number sets no limit: the cells bound the sub-step,
// wherever the fastest lies (here last in its pipe, after whole blocks).
TEST(Drivers, NetworkEndStateBoundsTheSubstep)
{
    Store s;
    atrest(s, {Line{1000.0, 0.5, 0.0, 2e-5, 100.0}, Line{1050.0, 0.5, 0.0, 2e-5, 50.0}});
    loadbc(s, 2, 0.0, 1200.0, -50.0, 0, 1, 1);
    transientpipes(s, 1e-3);
    EXPECT_NEAR(s.bcsoundspeed(2), std::sqrt(1.3 * 1000.0 * R * 1200.0), 1e-6);
    const double hot = 0.5 * 50.0 / (std::abs(s.bcvelocity(2)) + s.bcsoundspeed(2));
    EXPECT_DOUBLE_EQ(run(s, 2, 1e-9), hot);
    s.bcvelocity(2) = std::nan("");
    s.bcsoundspeed(1) = -1.0;
    // The last cell is the fastest.
    EXPECT_DOUBLE_EQ(run(s, 2, 1e-9), 0.5 * 50.0 / (std::abs(s.velocity(31)) + s.soundspeed(31)));
    s.bcvelocity(2) = 1e300; // too fast for the sub-step budget, but stale
    run(s, 2, 0.01);
    EXPECT_LT(std::abs(s.bcvelocity(2)), 100.0);
    EXPECT_EQ(geterrorcode(s), codenone);
}

// Gas at rest stays at rest. A shock at the joint of a closed line keeps
// mass and energy to rounding while its waves stay inside (each pipe
// started at its own values, the network ends at the end pipes'). A
// flowing pipe settles to one mass flow, then steadypipe stops at once.
TEST(Drivers, RestStaysBalancesHoldAndFlowSettles)
{
    Store s;
    atrest(s, {Line{}, Line{100.0, 0.5, 0.0, 2e-5, 5.0}});
    for (int step = 0; step < 200; ++step)
        transientpipes(s, 1.0);
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        ASSERT_TRUE(s.velocity(c) == 0.0 && std::abs(s.pressure(c) / 50e5 - 1.0) < 1e-9 &&
                    std::abs(s.temperature(c) / 288.0 - 1.0) < 1e-9)
            << "cell " << c;
    atrest(s, {Line{5000.0}, Line{5000.0}});
    testing::startuniform(s, {50e5, 40e5}, {290.0, 280.0}, {0.0, 0.0});
    EXPECT_EQ(s.lastbcpressure(1) - s.lastbcpressure(2), 10e5);
    EXPECT_EQ(s.lastbctemperature(1) - s.lastbctemperature(2), 10.0);
    const double mass = testing::linemass(s), energy = testing::lineenergy(s);
    for (int step = 0; step < 50; ++step)
        transientpipes(s, 0.02);
    EXPECT_NEAR(testing::linemass(s), mass, 1e-13 * mass);
    EXPECT_NEAR(testing::lineenergy(s), energy, 1e-13 * energy);
    EXPECT_DOUBLE_EQ(s.pressure(1), 50e5) << "the waves have not reached the inlet";

    atrest(s, {Line{2000.0, 0.5, 0.0, 2e-5, 100.0}});
    loadbc(s, 1, 50e5, 288.0, 20.0, 1, 1, 0);
    loadbc(s, 2, 49.9e5, 288.0, 20.0, 0, 0, 1);
    run(s, 2, 600.0);
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        EXPECT_NEAR(s.massflowrate(c), 20.0, 0.01);
    EXPECT_LT(run(s, 3, 600.0), 1.0);
}

// A span that is not positive changes nothing; an endless span or a pipe
// out of range is refused with code 3, and so is a state that is not a
// number; nothing changes either way.
TEST(Drivers, RefusalsChangeNothing)
{
    Store s;
    transientpipes(s, 1.0);
    EXPECT_EQ(geterrorcode(s), coderefused) << "nothing loaded";
    atrest(s, {Line{}, Line{}});
    loadbc(s, 1, 51e5, 288.0, 10.0, 1, 1, 0);
    const double inf = INFINITY, nan = std::nan("");
    for (const double span : {0.0, -1.0, nan, inf, 1.0}) {
        SCOPED_TRACE(span);
        if (span == 1.0)
            s.soundspeed(19) = nan; // refused or stopped at once, with pipe 3 too
        const Store before = s;
        for (int driver = 0; driver < 4; ++driver) {
            const bool refused = span == inf || (span == 1.0 && driver != 2);
            EXPECT_EQ(run(s, driver, span, span == 1.0 ? 3 : 1), driver < 2 || refused ? -1 : 0);
            EXPECT_EQ(geterrorcode(s), span >= 1.0 ? coderefused : codenone);
        }
        testing::expectsamestore(s, before);
    }
}

// The swept sub-step leaves the store of the stage-by-stage one to the last
// bit: a three-pipe network under each kind of end, and lines around the
// sweep's blocks. Where sweeping would change the result (a pass flag
// set, a host gas) the driver keeps the stage order.
TEST(Drivers, SweptSubstepLeavesTheSequentialStore)
{
    const auto same = [](const Store& s, std::int32_t last) {
        Store swept = s, sequential = s;
        for (int n = 0; n < 2 && !::testing::Test::HasFailure(); ++n) {
            const double h = 0.9 * networklimit(swept);
            const StageValues v{61e5, 290.0, 140.0, 59e5, 288.0, 150.0};
            sweptsubstep(swept, 1, last, h, v, true);
            sequentialsubstep(sequential, 1, last, h, v, true);
            testing::expectsamestore(swept, sequential);
        }
    };
    Store s;
    atrest(s, {Line{12000.0, 0.6, 0.01, 2e-5, 10.0},
               Line{8000.0, 0.5, -0.02, 5e-5, 10.0, 300.0, 2.5}, Line{5010.0, 0.6}});
    testing::startuniform(s, {60e5, 57e5, 58e5}, {288.0, 300.0, 288.0}, {150.0, 150.0, 150.0});
    const std::int32_t flags[][3] = {{1, 1, 0}, {0, 1, 1}, {0, 0, 0}};
    for (const auto& f : flags) {
        loadbc(s, 1, 61e5, 290.0, -80.0, f[0], f[1], f[2]);
        loadbc(s, 2, 58e5, 310.0, 160.0, f[2], f[1], f[0]);
        transientpipes(s, 2.0);
        same(s, 3);
    }
    allocations = 0;
    counting = true;
    for (int driver = 0; driver < 4; ++driver)
        run(s, driver, 0.1, 2);
    ::operator delete(::operator new(8)); // a call, which the compiler keeps
    counting = false;
    EXPECT_EQ(allocations, 1) << "none once the sweep has its window, one to show the count";
    Store host = s;
    host.fluidmodel = 2;
    s.pipepassflag(2) = logicaltrue;
    EXPECT_FALSE(sweepstogether(s, 1, 3) || sweepstogether(host, 1, 3));
    for (std::int32_t n : {2, 1023, 1024, 1025, 1027, 2049}) {
        SCOPED_TRACE(n);
        atrest(s, {Line{10.0 * n, 0.6, 0.0, 2e-5, 10.0, 288.0, 1.0}});
        loadbc(s, 1, 62e5, 290.0, 0.0, 1, 1, 0);
        transientpipes(s, 1.0);
        same(s, 1);
    }
}

} // namespace
} // namespace pelmora
