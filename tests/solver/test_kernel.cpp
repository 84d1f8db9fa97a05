// The flow solver kernel: friction factor, sources, cell update, fluxes,
// the flux-corrected transport update and the step preparation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/errors.h"
#include "pelmora.h"
#include "solver/solver.h"
#include "support/gasnetwork.h"

namespace pelmora {
namespace {

using testing::Line;

TEST(FrictionFactor, LaminarTurbulentAndNoFlow)
{
    EXPECT_EQ(frictionfactor(0.001, 1e-4), 0.0);
    EXPECT_EQ(frictionfactor(0.0, 1e-4), 0.0);
    EXPECT_EQ(frictionfactor(-5.0, 1e-4), 0.0);
    EXPECT_EQ(frictionfactor(std::nan(""), 1e-4), 0.0);
    EXPECT_DOUBLE_EQ(frictionfactor(2000.0, 1e-4), 0.008); // still laminar at 2000
    const double re = 2000.0000001;
    const double l = std::log10(1e-4 + 21.25 / std::pow(re, 0.9));
    EXPECT_DOUBLE_EQ(frictionfactor(re, 1e-4), 0.25 / ((1.14 - 2.0 * l) * (1.14 - 2.0 * l)));
    // A rough pipe at high Reynolds number: fully rough value 0.25/(1.14-2log10(eps))^2.
    EXPECT_NEAR(frictionfactor(1e9, 1e-3), 0.25 / std::pow(1.14 + 6.0, 2), 1e-5);
}

class KernelTest : public ::testing::Test {
protected:
    Store s;
    void SetUp() override
    {
        ASSERT_TRUE(testing::loadnaturalgas(s));
        ASSERT_TRUE(testing::loadline(s, {Line{}}));
        testing::startuniform(s, {50e5}, {288.0}, {0.0});
    }
};

TEST_F(KernelTest, SourcesOfACellAtRest)
{
    Line inclined;
    inclined.inclination = 0.1;
    inclined.htc = 5.0;
    inclined.ambient = 300.0;
    ASSERT_TRUE(testing::loadline(s, {inclined}));
    testing::startuniform(s, {50e5}, {288.0}, {0.0});
    double src[3];
    cellsource(s, 4, src);
    const double rho = s.density(4);
    const double g = -9.81 * rho * std::sin(0.1);
    const double q = (300.0 - 288.0) * 5.0 * (3.1415927 * 0.5) / s.cellarea(4);
    EXPECT_EQ(src[0], 0.0);
    EXPECT_DOUBLE_EQ(src[1], g); // no friction, no area change
    EXPECT_DOUBLE_EQ(src[2], q); // gravity does no work at rest
}

TEST_F(KernelTest, WallShearOpposesTheFlowAndHugeReynoldsIsCapped)
{
    s.velocity(2) = 10.0;
    double forward[3];
    cellsource(s, 2, forward);
    s.velocity(2) = -10.0;
    double backward[3];
    cellsource(s, 2, backward);
    EXPECT_LT(forward[1], 0.0);
    EXPECT_DOUBLE_EQ(backward[1], -forward[1]);
    EXPECT_EQ(s.pipeerrorcode, 0);

    s.viscosity(2) = 1e-20;
    cellsource(s, 2, forward);
    EXPECT_EQ(s.pipeerrorcode, codereynoldscapped);
    s.pipeerrorcode = codemarchunconverged; // a larger code is not hidden
    cellsource(s, 2, forward);
    EXPECT_EQ(s.pipeerrorcode, codemarchunconverged);
    const double f = frictionfactor(1e10, s.relativeroughness(2));
    const double rho = s.density(2);
    EXPECT_DOUBLE_EQ(forward[1],
                     -(0.5 * f) * rho * -10.0 * 10.0 * (3.1415927 * 0.5) / s.cellarea(2));
}

TEST_F(KernelTest, CellUpdateFloorsDensityAndRewritesTheMass)
{
    s.conserved(1, 3) = 0.0;
    const double momentum = s.conserved(2, 3), energy = s.conserved(3, 3);
    updatecells(s, 1, s.totalcells);
    EXPECT_EQ(s.density(3), 0.001);
    EXPECT_EQ(s.conserved(1, 3), 0.001 * s.cellarea(3));
    EXPECT_EQ(s.velocity(3), momentum / 0.001);
    EXPECT_EQ(s.conserved(3, 3), energy);
}

TEST_F(KernelTest, ChangeMeasuresOfAnUnchangedStateAreZero)
{
    updatecells(s, 1, s.totalcells);
    for (std::int32_t c = 1; c <= s.totalcells; ++c) {
        EXPECT_EQ(s.densitychange(c), 0.0);
        EXPECT_NEAR(s.temperaturechange(c), 0.0, 1e-15);
        EXPECT_EQ(s.massflowdeviation(c), 0.0) << "a gas at rest has a uniform mass flow";
    }
    // A real flow difference is measured as specified.
    s.conserved(2, 5) = 1.0; // kg/(m2 s)
    s.conserved(2, 1) = 3.0;
    updatecells(s, 1, s.totalcells);
    EXPECT_EQ(s.massflowdeviation(1), 0.0);
    const double m1 = s.massflowrate(1), m5 = s.massflowrate(5);
    EXPECT_DOUBLE_EQ(s.massflowdeviation(5), std::abs(m5 - m1) / (std::abs(m5) + std::abs(m1)));
}

TEST_F(KernelTest, InteriorFluxBetweenEqualCellsIsTheEulerFlux)
{
    double f[3];
    faceflux(s, 4, 1, s.totalcells, f);
    EXPECT_EQ(f[0], 0.0);
    EXPECT_DOUBLE_EQ(f[1], s.pressure(3));
    EXPECT_EQ(f[2], 0.0);
    // The chain's end faces take the end states, also in a chain of one cell.
    s.endpressure(1) = 1.0;
    s.endpressure(2) = 2.0;
    s.endmassflow(1) = s.endmassflow(2) = 0.0;
    s.endvelocity(1) = s.endvelocity(2) = 0.0;
    faceflux(s, 4, 4, 4, f);
    EXPECT_EQ(f[1], 1.0);
    faceflux(s, 5, 4, 4, f);
    EXPECT_EQ(f[1], 2.0);
}

TEST_F(KernelTest, UniformStateWithMatchingGhostsIsAFixedPoint)
{
    const Array2 before = s.conserved;
    s.inletghost(1) = s.outletghost(1) = before(1, 1);
    s.inletghost(2) = s.outletghost(2) = before(2, 1);
    s.inletghost(3) = s.outletghost(3) = before(3, 1);
    s.endpressure(1) = s.endpressure(2) = s.pressure(1);
    s.endmassflow(1) = s.endmassflow(2) = 0.0;
    s.endvelocity(1) = s.endvelocity(2) = 0.0;
    s.enddensity(1) = s.enddensity(2) = s.density(1);
    s.endenthalpy(1) = s.endenthalpy(2) = s.enthalpy(1);
    fctstep(s, 1, s.totalcells, 0.01);
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        for (std::int32_t k = 1; k <= 3; ++k)
            EXPECT_EQ(s.conserved(k, c), before(k, c)) << "k " << k << " cell " << c;
    // The context is left as the last source evaluation saw it.
    EXPECT_EQ(s.currentcell, s.totalcells);
    EXPECT_EQ(s.currentface, 0);
    EXPECT_FALSE(istrue(s.atinletface));
    EXPECT_FALSE(istrue(s.atoutletface));
}

// With no fluxes (dt = 0) the update only diffuses and antidiffuses the
// base state: the limiter must not create a new extremum, and where the
// diffused neighbours do not grow in the flux's direction it must cancel
// the antidiffusion completely.
TEST_F(KernelTest, LimiterCreatesNoNewExtrema)
{
    // A step with a spike next to it in the mass variable.
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        s.previousconserved(1, c) = s.conserved(1, c) = s.cellarea(c) * (c <= 5 ? 40.0 : 20.0);
    s.previousconserved(1, 7) = s.conserved(1, 7) = s.cellarea(7) * 60.0;
    for (std::int32_t k = 1; k <= 3; ++k) {
        s.inletghost(k) = s.previousconserved(k, 1);
        s.outletghost(k) = s.previousconserved(k, s.totalcells);
    }
    // Keep the end states consistent with the end cells so no end flux pulls.
    updatecells(s, 1, s.totalcells);
    fctstep(s, 1, s.totalcells, 0.0);
    double lo = 1e300, hi = -1e300;
    for (std::int32_t c = 1; c <= s.totalcells; ++c) {
        lo = std::min(lo, s.previousconserved(1, c));
        hi = std::max(hi, s.previousconserved(1, c));
    }
    for (std::int32_t c = 1; c <= s.totalcells; ++c) {
        EXPECT_GE(s.conserved(1, c), lo - 1e-12);
        EXPECT_LE(s.conserved(1, c), hi + 1e-12);
    }
    // Mass is only moved, never made: the update is conservative.
    double before = 0.0, after = 0.0;
    for (std::int32_t c = 1; c <= s.totalcells; ++c) {
        before += s.previousconserved(1, c);
        after += s.conserved(1, c);
    }
    EXPECT_NEAR(after, before, 1e-12 * before);
}

TEST_F(KernelTest, OneCellChainUsesBothEndFacesOnly)
{
    // A one-cell chain has no interior face; its result is well defined.
    s.inletghost(1) = s.outletghost(1) = s.conserved(1, 4);
    s.inletghost(2) = s.outletghost(2) = 0.0;
    s.inletghost(3) = s.outletghost(3) = s.conserved(3, 4);
    s.endpressure(1) = s.endpressure(2) = s.pressure(4);
    s.endmassflow(1) = s.endmassflow(2) = 0.0;
    s.endvelocity(1) = s.endvelocity(2) = 0.0;
    const double before = s.conserved(1, 4);
    fctstep(s, 4, 4, 0.01);
    EXPECT_DOUBLE_EQ(s.conserved(1, 4), before);
    EXPECT_EQ(s.conserved(1, 3), s.previousconserved(1, 3)) << "neighbours untouched";
}

TEST_F(KernelTest, PressureIsImposedOnlyWhileTheInletIsSubsonic)
{
    s.midinletpressure(1) = 49e5;
    s.midinlettemperature(1) = 300.0;
    s.midinletmassflow(1) = 10.0;
    s.midoutletpressure(1) = 48e5;
    s.midoutlettemperature(1) = 280.0;
    s.midoutletmassflow(1) = 10.0;
    s.bcmachnumber(1) = 1.0; // sonic at the previous evaluation
    preparestep(s, 0.0, 1, 1);
    EXPECT_DOUBLE_EQ(s.endpressure(1), 50e5); // extrapolated from the uniform cells
    EXPECT_EQ(s.endtemperature(1), 300.0);    // gas enters: temperature imposed
    EXPECT_EQ(s.endtemperature(2), 288.0);    // gas leaves: extrapolated
    EXPECT_EQ(s.bcpressure(1), 50e5);

    s.bcmachnumber(1) = 0.999;
    preparestep(s, 0.0, 1, 1);
    EXPECT_EQ(s.endpressure(1), 49e5);
    EXPECT_EQ(s.bcpressure(1), 49e5);
    EXPECT_EQ(s.endpressure(2), 48e5);
    // End state follows the imposed values; the ghost mirrors the end cell.
    EXPECT_DOUBLE_EQ(s.endvelocity(1), 10.0 / (s.pipeendarea(1) * s.enddensity(1)));
    EXPECT_DOUBLE_EQ(s.inletghost(1),
                     2.0 * s.pipeendarea(1) * s.enddensity(1) - s.previousconserved(1, 1));
}

TEST_F(KernelTest, EquationsAreIndependentOfEachOther)
{
    // Fluxes and sources are all taken before any equation is written, so
    // updating fewer equations leaves the results of the others unchanged.
    s.midinletpressure(1) = 51e5;
    s.midinlettemperature(1) = 300.0;
    s.midinletmassflow(1) = 40.0;
    s.midoutletpressure(1) = 49e5;
    s.midoutlettemperature(1) = 288.0;
    s.midoutletmassflow(1) = 40.0;
    Store two = s;
    two.numberofvariables = 2;
    Store none = s;
    none.numberofvariables = 0; // only the evaluations run
    preparestep(s, 0.001, 1, 1);
    preparestep(two, 0.001, 1, 1);
    preparestep(none, 0.001, 1, 1);
    for (std::int32_t c = 1; c <= s.totalcells; ++c) {
        EXPECT_EQ(two.conserved(1, c), s.conserved(1, c));
        EXPECT_EQ(two.conserved(2, c), s.conserved(2, c));
        EXPECT_EQ(two.conserved(3, c), none.conserved(3, c)) << "third equation not updated";
    }
    EXPECT_NE(s.conserved(2, 1), none.conserved(2, 1)) << "the end cell does accelerate";
}

// ---- Through the entry points, on the engine's own store ------------------------

// One level pipe of diameter D, 100 m in 10 m cells, natural gas at 50 bar
// flowing at 20 kg/s, pressure and temperature imposed at the inlet and the
// mass flow at the outlet.
void startenginepipe(double diameter)
{
    const double molweight = 17.0, gamma = 1.3, viscosity = 1.1e-5, z = 1.0;
    const std::int32_t model = 1, npipes = 1;
    ::loadfluid(nullptr, nullptr, nullptr, nullptr, &molweight, &gamma, &viscosity, &z, &model);
    const double length = 100.0, inclination = 0.0, roughness = 2e-5, cell = 10.0;
    ::loadpipedata(&npipes, &length, &diameter, &diameter, &inclination, &roughness, &cell);
    const double ambient = 288.0, htc = 0.0;
    ::loadwalldata(&ambient, &htc);
    const double p = 50e5, T = 288.0, m = 20.0;
    ::loadinitialconditions(&p, &T, &m);
    ::loadbc(1, 50e5, 288.0, 20.0, -1, -1, 0);
    ::loadbc(2, 49e5, 288.0, 20.0, 0, 0, -1);
}

// The areas of the end faces square the (extrapolated) diameter first,
// unlike the cell areas of the load (D pi/4 D); at this diameter the two
// orders differ in the last bit.
TEST(EndFaces, AreaSquaresTheDiameterFirst)
{
    startenginepipe(0.24258978030367673);
    const double dt = 1.0;
    ::transientpipes(&dt);
    const Store& s = engine();
    for (const auto& [face, end] : {std::pair{1, 1}, std::pair{s.totalcells + 1, 2}}) {
        const double d = s.facediameter(face);
        ASSERT_NE(0.785398175 * (d * d), d * 0.785398175 * d)
            << "a diameter where the orders differ";
        EXPECT_EQ(s.facearea(face), 0.785398175 * (d * d)) << "face " << face;
        EXPECT_EQ(s.pipeendarea(end), s.facearea(face)) << "end " << end;
    }
}

// The scheme parameters with another number of variables, through the
// exchange as a host would set it.
void setnumberofvariables(std::int32_t nvars)
{
    std::int32_t n = 0, cells = 0, faces = 0, pipes = 0, cell = 0, face = 0, in = 0, out = 0;
    ::getshape(&n, &cells, &faces, &pipes);
    double time = 0.0;
    std::vector<double> v(6 * 3), f(3 * static_cast<std::size_t>(faces)),
        c(3 * static_cast<std::size_t>(cells));
    double* vk[6];
    for (int k = 0; k < 6; ++k)
        vk[k] = v.data() + 3 * k;
    double* fk[3] = {f.data(), f.data() + faces, f.data() + 2 * faces};
    double* ck[3] = {c.data(), c.data() + cells, c.data() + 2 * cells};
    ::gethyperparams(&n, &cells, &faces, &cell, &face, &in, &out, &time, vk[0], vk[1], vk[2], vk[3],
                     vk[4], vk[5], fk[0], fk[1], fk[2], ck[0], ck[1], ck[2]);
    ::sethyperparams(&nvars, &cells, &faces, &cell, &face, &in, &out, &time, vk[0], vk[1], vk[2],
                     vk[3], vk[4], vk[5], fk[0], fk[1], fk[2], ck[0], ck[1], ck[2]);
}

// The ghosts beyond the chain's ends belong to the three conserved
// variables whatever number of variables a host has set: a step with none
// to update still forms all of them from its end states, and none is left
// over from an earlier step.
TEST(EndFaces, GhostsAreFormedForTheThreeConservedVariables)
{
    startenginepipe(0.5);
    const double dt = 1.0;
    ::transientpipes(&dt);
    const Store& s = engine();
    const std::vector<double> earlier = {s.inletghost(1),  s.inletghost(2),  s.inletghost(3),
                                         s.outletghost(1), s.outletghost(2), s.outletghost(3)};
    setnumberofvariables(0);
    ::loadbc(1, 52e5, 300.0, 20.0, -1, -1, 0);
    ::loadbc(2, 49e5, 288.0, 30.0, 0, 0, -1);
    ::transientpipes(&dt);
    setnumberofvariables(3);
    for (std::int32_t k = 1; k <= 3; ++k) {
        EXPECT_NE(s.inletghost(k), earlier[k - 1]) << "inlet ghost " << k;
        EXPECT_NE(s.outletghost(k), earlier[k + 2]) << "outlet ghost " << k;
    }
    EXPECT_EQ(s.inletghost(1), 2.0 * s.pipeendarea(1) * s.enddensity(1) - s.conserved(1, 1));
}

} // namespace
} // namespace pelmora
