// Steady state of the network by marching, and the bisection modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "drivers/drivers.h"
#include "engine/errors.h"
#include "fluid/fluid.h"
#include "network/network.h"
#include "pelmora.h"

namespace pelmora {
namespace {

// Natural gas on the ideal-gas model.
constexpr double molweight = 17.0;
constexpr double gasconstant17 = 8314.3 / molweight; // Z = 1
constexpr double viscosity = 1.1e-5;

struct PipeData {
    double length = 1000.0;
    double diameter = 0.5;
    double inclination = 0.0;
    double roughness = 2e-5;
    double cellsize = 100.0;
    double ambient = 288.0;
    double htc = 0.0;
};

void loadgas(Store& s)
{
    ASSERT_TRUE(
        loadfluid(s, nullptr, nullptr, nullptr, nullptr, molweight, 1.3, viscosity, 1.0, 1));
}

void loadpipes(Store& s, const std::vector<PipeData>& pipes)
{
    std::vector<double> L, Din, Dout, incl, rough, cell, amb, htc;
    for (const PipeData& p : pipes) {
        L.push_back(p.length);
        Din.push_back(p.diameter);
        Dout.push_back(p.diameter);
        incl.push_back(p.inclination);
        rough.push_back(p.roughness);
        cell.push_back(p.cellsize);
        amb.push_back(p.ambient);
        htc.push_back(p.htc);
    }
    ASSERT_TRUE(loadpipedata(s, static_cast<std::int32_t>(pipes.size()), L.data(), Din.data(),
                             Dout.data(), incl.data(), rough.data(), cell.data()));
    loadwalldata(s, amb.data(), htc.data());
}

// Marks every value steadystate may write, so a test can tell what changed.
constexpr double untouched = -12345.0;
void markoutputs(Store& s)
{
    for (std::int64_t i = 1; i <= s.totalcells; ++i) {
        s.pressure(i) = untouched;
        s.temperature(i) = untouched;
        s.conserved(1, i) = untouched;
    }
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p) {
        s.inletpressure(p) = untouched;
        s.outletpressure(p) = untouched;
    }
    for (int end = 1; end <= 2; ++end) {
        s.bcpressure(end) = untouched;
        s.bcmassflowrate(end) = untouched;
    }
}

bool cellsuntouched(const Store& s)
{
    for (std::int64_t i = 1; i <= s.totalcells; ++i)
        if (s.pressure(i) != untouched || s.temperature(i) != untouched ||
            s.conserved(1, i) != untouched)
            return false;
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p)
        if (s.inletpressure(p) != untouched || s.outletpressure(p) != untouched)
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// The duct must be uniform
// ---------------------------------------------------------------------------

TEST(SteadyMarch, DiameterStepBeyondToleranceWritesNothing)
{
    Store s;
    loadgas(s);
    PipeData wide, narrow;
    narrow.diameter = 0.5 + 2e-8;
    loadpipes(s, {wide, narrow});
    markoutputs(s);
    EXPECT_EQ(steadystate(s, 1, 50e5, 300.0, 10.0), steadynotuniform);
    EXPECT_TRUE(cellsuntouched(s));
    EXPECT_EQ(s.bcpressure(1), untouched);
    EXPECT_EQ(s.bcpressure(2), untouched);

    // Within 1e-8 m the two pipes count as one duct.
    Store t;
    loadgas(t);
    narrow.diameter = 0.5 + 5e-9;
    loadpipes(t, {wide, narrow});
    EXPECT_EQ(steadystate(t, 1, 50e5, 300.0, 10.0), steadyfound);
}

// ---------------------------------------------------------------------------
// Gas at rest: only the weight of the gas changes the pressure
// ---------------------------------------------------------------------------

class GasAtRest : public ::testing::Test {
protected:
    void SetUp() override
    {
        loadgas(s);
        PipeData up, down;
        up.inclination = 0.1;
        down.inclination = -0.05;
        down.cellsize = 50.0;
        loadpipes(s, {up, down}); // 10 cells of 100 m, then 20 of 50 m
        ASSERT_EQ(s.totalcells, 30);
        ASSERT_EQ(steadystate(s, 1, p0, T0, 0.0), steadyfound);
    }
    static constexpr double p0 = 50e5;
    static constexpr double T0 = 300.0;
    Store s;
};

TEST_F(GasAtRest, PressureFollowsTheHydrostaticBalanceCellByCell)
{
    const MarchFaces& F = s.marchfaces;
    for (std::int32_t k = 1; k <= s.totalcells; ++k) {
        const double sine = std::sin(k <= 10 ? 0.1 : -0.05);
        const double dx = k <= 10 ? 100.0 : 50.0;
        const double rho = s.pressure(k) / (gasconstant17 * T0);
        const double expected = dx * (-9.81 * rho * sine);
        // Each step stops within 1e-8 of its own pressure: 0.05 Pa at 50 bar.
        EXPECT_NEAR(F.pressure(k + 1) - F.pressure(k), expected, 0.1) << "cell " << k;
    }
}

TEST_F(GasAtRest, TemperatureUniformAndNothingMoves)
{
    for (std::int32_t k = 1; k <= s.totalfaces; ++k)
        EXPECT_EQ(s.marchfaces.temperature(k), T0);
    for (std::int32_t i = 1; i <= s.totalcells; ++i) {
        EXPECT_EQ(s.temperature(i), T0);
        EXPECT_EQ(s.velocity(i), 0.0);
        EXPECT_EQ(s.massflowrate(i), 0.0);
        EXPECT_EQ(s.conserved(2, i), 0.0);
    }
}

TEST_F(GasAtRest, PipesShareTheJunctionAndBothLevelsAgree)
{
    const double junction = s.marchfaces.pressure(11);
    EXPECT_EQ(s.outletpressure(1), junction);
    EXPECT_EQ(s.inletpressure(2), junction);
    EXPECT_EQ(s.inletpressure(1), p0);
    EXPECT_EQ(s.bcpressure(1), p0);
    EXPECT_EQ(s.outletpressure(2), s.bcpressure(2));
    EXPECT_EQ(s.outletpressure(2), s.marchfaces.pressure(31));
    EXPECT_EQ(s.bcmassflowrate(2), 0.0);
    EXPECT_EQ(s.previousconserved.raw(), s.conserved.raw());
}

TEST_F(GasAtRest, MarchingBackFromEndTwoReturnsToTheStart)
{
    // Crossing cell k-1 backwards must use that cell's inclination, or the
    // junction between the two inclinations would be off by kilopascals.
    const double p2 = s.bcpressure(2);
    ASSERT_EQ(steadystate(s, 2, p2, T0, 0.0), steadyfound);
    EXPECT_EQ(s.bcpressure(2), p2);
    EXPECT_NEAR(s.bcpressure(1), p0, 2.0);
    EXPECT_NEAR(s.inletpressure(2), s.outletpressure(1), 0.0);
}

// ---------------------------------------------------------------------------
// Failures and refusals
// ---------------------------------------------------------------------------

TEST(SteadyMarch, SupersonicStartWritesOnlyTheStartingEnd)
{
    Store s;
    loadgas(s);
    loadpipes(s, {PipeData{}});
    markoutputs(s);
    // 1 bar, 300 K: about 0.68 kg/m3, so 1000 kg/s moves at ~7500 m/s.
    EXPECT_EQ(steadystate(s, 1, 1e5, 300.0, 1000.0), steadysupersonicstart);
    EXPECT_EQ(s.bcpressure(1), 1e5);
    EXPECT_EQ(s.bcmassflowrate(1), 1000.0);
    EXPECT_GT(s.bcmachnumber(1), 1.0);
    EXPECT_EQ(s.bcpressure(2), untouched);
    EXPECT_EQ(s.bcmassflowrate(2), untouched);
    EXPECT_TRUE(cellsuntouched(s));
}

TEST(SteadyState, MassFlowSignAgainstTheModeChangesNothing)
{
    Store s;
    loadgas(s);
    loadpipes(s, {PipeData{}});
    markoutputs(s);
    EXPECT_EQ(steadystate(s, 3, 40e5, 300.0, -1.0), steadysupersonicstart);
    EXPECT_EQ(steadystate(s, 4, 40e5, 300.0, 1.0), steadysupersonicstart);
    EXPECT_TRUE(cellsuntouched(s));
    EXPECT_EQ(s.bcpressure(1), untouched);
    EXPECT_EQ(s.bcpressure(2), untouched);
}

TEST(SteadyState, BadModeOrStateIsRefused)
{
    Store s;
    EXPECT_EQ(steadystate(s, 1, 50e5, 300.0, 10.0), steadybadmode); // nothing loaded
    EXPECT_EQ(geterrorcode(s), coderefused);

    loadgas(s);
    loadpipes(s, {PipeData{}});
    markoutputs(s);
    EXPECT_EQ(steadystate(s, 0, 50e5, 300.0, 10.0), steadybadmode);
    EXPECT_EQ(steadystate(s, 7, 50e5, 300.0, 10.0), steadybadmode);
    EXPECT_EQ(geterrorcode(s), codenone);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(steadystate(s, 1, nan, 300.0, 10.0), steadybadmode);
    EXPECT_EQ(steadystate(s, 5, 50e5, 300.0, INFINITY), steadybadmode);
    EXPECT_EQ(geterrorcode(s), coderefused);
    EXPECT_TRUE(cellsuntouched(s));

    // A restored state whose pipe ranges run past the cells.
    s.lastcell(1) = s.totalcells + 5;
    EXPECT_EQ(steadystate(s, 1, 50e5, 300.0, 10.0), steadybadmode);
    EXPECT_EQ(geterrorcode(s), coderefused);
    EXPECT_TRUE(cellsuntouched(s));

    Store nogas;
    loadpipes(nogas, {PipeData{}});
    EXPECT_EQ(steadystate(nogas, 1, 50e5, 300.0, 10.0), steadybadmode);
    EXPECT_EQ(geterrorcode(nogas), coderefused);
}

// The ideal gas through host routines that count their calls.
long gascalls = 0;
constexpr double hostR = 8.3143 / molweight, hostcv = hostR / 0.3; // kJ/(kg K)
void countedpt(void*, double p, double t, double* rho, double* e, double* h, double* mu, double*)
{
    ++gascalls;
    const double T = t + 273.15;
    *rho = p / (hostR * T);
    *e = hostcv * T;
    *h = (hostcv + hostR) * T;
    *mu = 0.011;
}
// The march never inverts density and energy.
void unusedrhoe(void*, double, double, double*, double*, double*, double*, double*) {}
void countedph(void*, double p, double h, double* rho, double* t, double* e, double* mu, double*)
{
    ++gascalls;
    const double T = h / (hostcv + hostR);
    *rho = p / (hostR * T);
    *t = T - 273.15;
    *e = hostcv * T;
    *mu = 0.011;
}

// A search or a march step that can no longer move ends as soon as that is
// certain (its remaining trials or iterations would repeat the last one, so
// the store is the same): a search from the largest double, whose bracket
// reaches infinity, and a march from 1e7 K through a cooled pipe: the
// trial temperature lies above those the iteration trusts and never moves.
TEST(SteadyState, SearchesAndStepsThatCannotMoveEndAtOnce)
{
    Store s;
    ASSERT_TRUE(
        loadfluid(s, nullptr, countedpt, unusedrhoe, countedph, molweight, 1.3, viscosity, 1.0, 2));
    PipeData cooled;
    cooled.htc = 2.0;
    loadpipes(s, {cooled});
    const double cells = s.totalcells;
    const struct {
        std::int32_t mode;
        double a, b, c;
        std::int32_t status;
        double callspercell; // the full count: 100 trials x 250 iterations x 3 calls
    } cases[] = {
        {3, std::numeric_limits<double>::max(), 300.0, 10.0, steadyfailed, 30.0},
        {1, 50e5, 1e7, 10.0, steadyfound, 200.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        gascalls = 0;
        EXPECT_EQ(steadystate(s, c.mode, c.a, c.b, c.c), c.status);
        EXPECT_LT(static_cast<double>(gascalls), c.callspercell * cells);
        geterrorcode(s);
    }
}

TEST(SteadyState, CApiNeedsAStatusAndANetwork)
{
    Store& e = engine();
    freepipememory(e);
    geterrorcode(e);
    ::steadystate(1, 50e5, 300.0, 10.0, nullptr);
    EXPECT_EQ(geterrorcode(e), coderefused);
    std::int32_t status = 99;
    ::steadystate(1, 50e5, 300.0, 10.0, &status);
    EXPECT_EQ(status, steadybadmode);
}

// ---------------------------------------------------------------------------
// Bisection
// ---------------------------------------------------------------------------

TEST(SteadyState, ModeFourWithoutFlowMarchesFromEndOne)
{
    Store s;
    loadgas(s);
    PipeData rising;
    rising.inclination = 0.2;
    loadpipes(s, {rising});
    ASSERT_EQ(steadystate(s, 4, 40e5, 300.0, 0.0), steadyfound);
    // The upstream pressure was found at end 1, the required one met at end 2.
    EXPECT_NEAR(s.bcpressure(2), 40e5, 40e5 * 1e-6);
    const double weight = 1000.0 * 9.81 * (40e5 / (gasconstant17 * 300.0)) * std::sin(0.2);
    EXPECT_NEAR(s.bcpressure(1) - s.bcpressure(2), weight, 0.01 * weight);
    EXPECT_EQ(s.bcmassflowrate(1), 0.0);
}

TEST(SteadyState, ModeFiveWithoutPressureDifferenceHalvesTheFlow)
{
    Store s;
    loadgas(s);
    PipeData level;
    level.length = 10000.0;
    level.cellsize = 500.0;
    loadpipes(s, {level});
    s.bcloaded(1) = logicaltrue;
    s.bcloaded(2) = logicaltrue;
    ASSERT_EQ(steadystate(s, 5, 50e5, 300.0, 50e5), steadyfound);
    // Every march falls short of the target, so only the upper bound moves:
    // the flow is 1000 kg/s halved a whole number of times.
    const double m = s.bcmassflowrate(1);
    ASSERT_GT(m, 0.0);
    const double halvings = std::log2(1000.0 / m);
    EXPECT_NEAR(halvings, std::round(halvings), 1e-12);
    EXPECT_LE(std::abs(s.bcpressure(2) - 50e5) / 50e5, 1e-6);
    // Ended on the target test, so the next loadbc starts without a ramp.
    EXPECT_EQ(s.bcloaded(1), logicalfalse);
    EXPECT_EQ(s.bcloaded(2), logicalfalse);
}

// A transmission line: 50 km of 0.5 m pipe, natural gas around 50 bar, a
// little heat exchange with 288 K ground. 100 kg/s needs about 80 bar at
// the inlet to arrive at 50 bar.
class TransmissionLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        loadgas(s);
        PipeData line;
        line.length = 50000.0;
        line.cellsize = 1000.0;
        line.htc = 2.0;
        loadpipes(s, {line});
    }
    static constexpr double T1 = 300.0;
    Store s;
};

TEST_F(TransmissionLine, ModeThreeFindsTheUpstreamPressure)
{
    const double required = 50e5;
    ASSERT_EQ(steadystate(s, 3, required, T1, 100.0), steadyfound);
    // The search stops once the error is below 1e-6 of the upper bound of
    // the upstream pressure, which has closed onto the found pressure.
    const double upstream = s.bcpressure(1);
    EXPECT_LE(std::abs(s.bcpressure(2) - required), 1e-6 * upstream);
    EXPECT_NEAR(upstream, 80e5, 2e5);
    EXPECT_EQ(s.bcmassflowrate(2), 100.0);
    EXPECT_EQ(s.previousconserved.raw(), s.conserved.raw());
}

TEST_F(TransmissionLine, ModesFiveAndSixFindMirrorImageFlows)
{
    const double required = 40e5;
    ASSERT_EQ(steadystate(s, 5, 50e5, T1, required), steadyfound);
    EXPECT_LE(std::abs(s.bcpressure(2) - required) / required, 1e-6);
    const double forward = s.bcmassflowrate(1);
    EXPECT_GT(forward, 40.0);
    EXPECT_LT(forward, 60.0);
    EXPECT_EQ(s.massflowrate(s.totalcells), forward);
    const double arrived = s.bcpressure(2);

    // From end 2 towards end 1 every trial is the mirror image.
    ASSERT_EQ(steadystate(s, 6, 50e5, T1, required), steadyfound);
    EXPECT_EQ(s.bcmassflowrate(2), -forward);
    EXPECT_EQ(s.bcpressure(1), arrived);
    EXPECT_LT(s.velocity(1), 0.0);
}

TEST_F(TransmissionLine, MarchFromEndTwoMirrorsTheMarchFromEndOne)
{
    ASSERT_EQ(steadystate(s, 1, 50e5, T1, 50.0), steadyfound);
    const double forwardpressure = s.bcpressure(2);
    const double forwardtemperature = s.bctemperature(2);
    const double middle = s.pressure(10);
    ASSERT_EQ(steadystate(s, 2, 50e5, T1, -50.0), steadyfound);
    EXPECT_EQ(s.bcpressure(1), forwardpressure);
    EXPECT_EQ(s.bctemperature(1), forwardtemperature);
    EXPECT_EQ(s.pressure(s.totalcells + 1 - 10), middle);
    EXPECT_EQ(s.inletpressure(1), forwardpressure);
}

TEST(SteadyMarch, UnconvergedStepIsAcceptedAndFlagged)
{
    // A trickle through a cooled pipe: the wall heat of one cell outweighs
    // the heat the gas carries many times over, and the relaxed temperature
    // iteration cannot settle within 250 iterations.
    Store s;
    loadgas(s);
    PipeData pipe;
    pipe.length = 300.0;
    pipe.htc = 10.0;
    loadpipes(s, {pipe});
    EXPECT_EQ(steadystate(s, 1, 50e5, 300.0, 0.01), steadyfound);
    EXPECT_EQ(geterrorcode(s), codemarchunconverged);
}

TEST(SteadyMarch, StrongWallHeatGivesTheIsothermalPressureDrop)
{
    // Held at 300 K by the wall, the gas obeys
    //   p1^2 - p2^2 = 4 f L (m/A)^2 R T / D
    // up to the small acceleration term. The Reynolds number m D / (A mu)
    // is the same in every cell, so f is one number.
    Store s;
    loadgas(s);
    PipeData line;
    line.length = 50000.0;
    line.cellsize = 500.0;
    line.ambient = 300.0;
    line.htc = 100.0;
    loadpipes(s, {line});
    const double p1 = 50e5, T = 300.0, m = 50.0, D = 0.5;
    ASSERT_EQ(steadystate(s, 1, p1, T, m), steadyfound);

    const double A = 0.785398175 * D * D;
    const double re = (m / A) * D / viscosity;
    const double l = std::log10(2e-5 / D + 21.25 / std::pow(re, 0.9));
    const double f = 0.25 / ((1.14 - 2.0 * l) * (1.14 - 2.0 * l));
    const double p2 = s.bcpressure(2);
    const double expected = 4.0 * f * 50000.0 * (m / A) * (m / A) * gasconstant17 * T / D;
    EXPECT_NEAR((p1 * p1 - p2 * p2) / expected, 1.0, 0.005);
    EXPECT_NEAR(s.bctemperature(2), T, 0.5);
}

TEST(SteadyMarch, MomentumFluxesAreFormedLikeTheKernels)
{
    // The momentum balance of a step takes rho u^2 of each face as
    // (rho u) u, as the face fluxes and the sources of the transient scheme
    // do. The pressures below come from an independent step-by-step
    // computation of this case, drawn at random (three pipes of one bore, a
    // mass flow sought from 3.2 MPa and 3e6 K at end 1); with rho (u u),
    // cell 4 and every cell after it were one unit in the last place off.
    Store s;
    ASSERT_TRUE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, 24.952500048102024,
                          1.2886438741838524, 1.995092787979299e-05, 0.8873053623476806, 1));
    const double D = 0.5497381267718402;
    const double L[3] = {1613.8691032888394, 764.9439848712201, 679.2765423076478};
    const double diameter[3] = {D, D, D};
    const double inclination[3] = {-0.15395707973032816, -0.05994599395318323, 0.0};
    const double roughness[3] = {6.426071521074509e-05, 1.932122889790681e-05,
                                 0.0001524679511424839};
    const double cellsize[3] = {198.21999844306268, 315.52579414952606, 260.8794463319075};
    ASSERT_TRUE(loadpipedata(s, 3, L, diameter, diameter, inclination, roughness, cellsize));
    const double ambient[3] = {284.66871449031777, 305.06359824135114, 303.8926616443934};
    const double htc[3] = {0.0, 8.351303007152485, 0.0};
    loadwalldata(s, ambient, htc);
    ASSERT_EQ(steadystate(s, 5, 3192174.3184019956, 3032565.6024818956, 56.98749700784694),
              steadyfound);
    EXPECT_EQ(s.pressure(3), 0x1.c37c1102a4b75p+20);
    EXPECT_EQ(s.pressure(4), 0x1.84a69d0c7fc3ap+20);
    EXPECT_EQ(s.pressure(14), 0x1.832d8c27d39a2p+18);
    EXPECT_EQ(s.bcpressure(2), 0x1.4e1af49725f9ap+17);
}

} // namespace
} // namespace pelmora
