// Checks of the reference solutions themselves, before anything is compared
// with them: the exact Riemann solver against published star states and
// the jump conditions, the steady relations against direct integration of
// their differential equations.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "relations.h"
#include "riemann.h"

namespace validation {
namespace {

constexpr double gamma14 = 1.4;

struct PublishedStar {
    const char* name;
    GasState left, right;
    double pressure, velocity, leftdensity, rightdensity;
    double tolerance; // half a unit in the last published digit, or more
};

// The five standard test problems for gamma = 1.4 with their star states as
// tabulated (five or six significant digits) in the standard textbook on
// Riemann solvers: Sod-like, 123 problem, left and right halves of the
// blast wave, collision of two shocks.
const std::vector<PublishedStar>& publishedstars()
{
    static const std::vector<PublishedStar> table = {
        {"sod", {1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 0.30313, 0.92745, 0.42632, 0.26557, 1e-5},
        {"two rarefactions",
         {1.0, -2.0, 0.4},
         {1.0, 2.0, 0.4},
         0.00189,
         0.0,
         0.02185,
         0.02185,
         1e-5},
        {"strong left blast",
         {1.0, 0.0, 1000.0},
         {1.0, 0.0, 0.01},
         460.894,
         19.5975,
         0.57506,
         5.99924,
         1e-3},
        {"strong right blast",
         {1.0, 0.0, 0.01},
         {1.0, 0.0, 100.0},
         46.0950,
         -6.19633,
         5.99242,
         0.57511,
         1e-4},
        {"shock collision",
         {5.99924, 19.5975, 460.894},
         {5.99242, -6.19633, 46.0950},
         1691.64,
         8.68975,
         14.2823,
         31.0426,
         1e-2},
    };
    return table;
}

TEST(ExactRiemann, ReproducesPublishedStarStates)
{
    for (const PublishedStar& t : publishedstars()) {
        SCOPED_TRACE(t.name);
        const ExactRiemann r(t.left, t.right, gamma14);
        // Tolerance: the table's own rounding (digits differ in scale per row).
        EXPECT_NEAR(r.star().pressure, t.pressure, t.tolerance);
        EXPECT_NEAR(r.star().velocity, t.velocity, t.tolerance);
        EXPECT_NEAR(r.star().leftdensity, t.leftdensity, t.tolerance);
        EXPECT_NEAR(r.star().rightdensity, t.rightdensity, t.tolerance);
        EXPECT_LT(r.star().iterations, 20);
    }
}

// Mass, momentum and energy fluxes are continuous across a shock in the
// frame moving with it: a wrong shock speed or star density breaks this.
TEST(ExactRiemann, ShockSatisfiesJumpConditions)
{
    const ExactRiemann r({1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, gamma14);
    const double speed = r.rightfront();
    const GasState ahead = r.sample(speed + 1e-9);
    const GasState behind = r.sample(speed - 1e-9);
    auto fluxes = [&](const GasState& w) {
        const double v = w.velocity - speed;
        const double h = gamma14 / (gamma14 - 1.0) * w.pressure / w.density;
        return std::vector<double>{w.density * v, w.density * v * v + w.pressure,
                                   w.density * v * (h + 0.5 * v * v)};
    };
    const auto fa = fluxes(ahead), fb = fluxes(behind);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(fa[k], fb[k], 1e-12 * (1 + std::fabs(fa[k])));
    EXPECT_GT(behind.density, ahead.density);
}

// Inside a left-facing rarefaction the Riemann invariant u + 2c/(g-1) and the
// entropy p / rho^g keep their upstream values, and c = u - s on every ray.
TEST(ExactRiemann, RarefactionKeepsInvariantsAndIsContinuous)
{
    const GasState left{1.0, 0.0, 1.0};
    const ExactRiemann r(left, {0.125, 0.0, 0.1}, gamma14);
    const double c0 = std::sqrt(gamma14);
    const double head = -c0;
    const double tail =
        r.star().velocity - std::sqrt(gamma14 * r.star().pressure / r.star().leftdensity);
    for (int i = 1; i < 10; ++i) {
        const double s = head + (tail - head) * i / 10.0;
        const GasState w = r.sample(s);
        const double c = std::sqrt(gamma14 * w.pressure / w.density);
        EXPECT_NEAR(w.velocity + 2.0 * c / (gamma14 - 1.0), 2.0 * c0 / (gamma14 - 1.0), 1e-12);
        EXPECT_NEAR(w.pressure / std::pow(w.density, gamma14), 1.0, 1e-12);
        EXPECT_NEAR(c, w.velocity - s, 1e-12);
    }
    // The fan joins the star state without a jump at its tail.
    const GasState a = r.sample(tail - 1e-9), b = r.sample(tail + 1e-9);
    EXPECT_NEAR(a.density, b.density, 1e-8);
    EXPECT_NEAR(a.pressure, b.pressure, 1e-8);
}

// Realising the problem in SI units is a change of scales: density by a,
// pressure by b, velocity by sqrt(b/a). The star state must scale likewise,
// which is what lets the engine run in pascals and still be compared with
// the non-dimensional tables.
TEST(ExactRiemann, ScalesWithUnits)
{
    const double a = 100.0, b = 1e7, v = std::sqrt(b / a);
    const ExactRiemann unit({1.0, 0.0, 1000.0}, {1.0, 0.0, 0.01}, gamma14);
    const ExactRiemann si({a, 0.0, 1000.0 * b}, {a, 0.0, 0.01 * b}, gamma14);
    EXPECT_NEAR(si.star().pressure / b, unit.star().pressure, 1e-10 * unit.star().pressure);
    EXPECT_NEAR(si.star().velocity / v, unit.star().velocity, 1e-10 * unit.star().velocity);
    EXPECT_NEAR(si.star().rightdensity / a, unit.star().rightdensity, 1e-10);
    const GasState w = si.sample(0.5 * v), w1 = unit.sample(0.5);
    EXPECT_NEAR(w.density / a, w1.density, 1e-10);
}

TEST(ExactRiemann, CellAverageOfUniformRegionIsTheState)
{
    const ExactRiemann r({1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, gamma14);
    const GasState w = r.average(0.45, 0.49, 0.2, 16); // between shock and right edge
    EXPECT_DOUBLE_EQ(w.density, 0.125);
    EXPECT_DOUBLE_EQ(w.pressure, 0.1);
    // Across the contact the average is the length-weighted mean.
    const double contact = r.star().velocity * 0.2;
    const GasState m = r.average(contact - 0.01, contact + 0.01, 0.2, 64);
    EXPECT_NEAR(m.density, 0.5 * (r.star().leftdensity + r.star().rightdensity), 1e-12);
}

TEST(ExactRiemann, RefusesVacuumAndNonPositiveData)
{
    EXPECT_THROW(ExactRiemann({1.0, -20.0, 0.4}, {1.0, 20.0, 0.4}, gamma14), std::invalid_argument);
    EXPECT_THROW(ExactRiemann({0.0, 0.0, 1.0}, {1.0, 0.0, 1.0}, gamma14), std::invalid_argument);
}

// ---------------------------------------------------------------------------
// Steady relations
// ---------------------------------------------------------------------------

// Fourth-order Runge-Kutta for the density along a duct, from the momentum
// balance d(p + G^2/rho)/dx = -2 f G^2 / (rho D) with p(rho) given: the
// relations above must agree with this direct integration.
template <class PressureSlope>
double integratedensity(double rho, double g2, double f, double d, double length,
                        PressureSlope slope)
{
    auto rate = [&](double r) {
        const double dphi = slope(r) - g2 / (r * r); // d(p + G^2/rho)/drho
        return -2.0 * f * g2 / (r * d) / dphi;
    };
    const int steps = 20000;
    const double h = length / steps;
    for (int i = 0; i < steps; ++i) {
        const double k1 = rate(rho), k2 = rate(rho + 0.5 * h * k1), k3 = rate(rho + 0.5 * h * k2),
                     k4 = rate(rho + h * k3);
        rho += h / 6.0 * (k1 + 2 * k2 + 2 * k3 + k4);
    }
    return rho;
}

TEST(SteadyRelations, IsothermalMatchesDirectIntegrationIncludingKineticTerm)
{
    const double rt = 518.4 * 288.15, p1 = 50e5, g = 400.0, f = 0.0025, d = 0.5, len = 50e3;
    const double p2 = isothermalpressure(p1, g, rt, f, d, len);
    const double rho2 = integratedensity(p1 / rt, g * g, f, d, len, [&](double) { return rt; });
    EXPECT_NEAR(p2, rho2 * rt, 1e-7 * p1);
    // Dropping the kinetic term moves the answer by far more than that: the
    // check above does see it.
    const double nokinetic = std::sqrt(p1 * p1 - g * g * rt * 4 * f * len / d);
    EXPECT_GT(std::fabs(nokinetic - p2), 100 * 1e-7 * p1);
    EXPECT_TRUE(std::isnan(isothermalpressure(p1, g, rt, f, d, 10 * len))); // chokes
}

TEST(SteadyRelations, FannoMatchesDirectIntegrationOfAdiabaticFlow)
{
    const double gm = 1.4, r = 287.0, cp = gm * r / (gm - 1.0);
    const double p1 = 10e5, t1 = 300.0, m1 = 0.3, f = 0.0025, d = 0.1, len = 30.0;
    const double c1 = std::sqrt(gm * r * t1), rho1 = p1 / (r * t1), g = rho1 * m1 * c1;
    const double h0 = cp * t1 + 0.5 * m1 * m1 * c1 * c1; // total enthalpy, conserved
    // p(rho) along an adiabatic duct: T from h0 - u^2/2, u = G / rho.
    auto temperature = [&](double rho) { return (h0 - 0.5 * g * g / (rho * rho)) / cp; };
    auto slope = [&](double rho) {
        return r * (h0 + 0.5 * g * g / (rho * rho)) / cp; // d(rho R T)/drho
    };
    const double rho2 = integratedensity(rho1, g * g, f, d, len, slope);
    const FannoState out = fannodownstream(m1, p1, t1, gm, f, d, len);
    EXPECT_NEAR(out.pressure, rho2 * r * temperature(rho2), 1e-7 * p1);
    EXPECT_NEAR(out.temperature, temperature(rho2), 1e-7 * t1);
    EXPECT_NEAR(out.mach, g / rho2 / std::sqrt(gm * r * temperature(rho2)), 1e-7);
    // The choking length from M = 0.3 is 5.2993 D / (4 f) for gamma 1.4.
    EXPECT_NEAR(fannofunction(0.3, gm), 5.2993, 1e-4);
    EXPECT_TRUE(std::isnan(fannodownstream(m1, p1, t1, gm, f, d, 60.0).pressure));
}

// The textbook area-Mach relation A / A* = (1/M) [(2 + (g-1) M^2) / (g+1)]
// ^((g+1) / (2 (g-1))): from Mach 0.5 (A/A* = 1.33984 for gamma 1.4) into
// the critical area the flow reaches Mach 1 at the critical temperature.
TEST(SteadyRelations, AreaChangeFollowsTheIsentropicAreaMachRelation)
{
    const double gm = 1.4, r = 287.0, p1 = 10e5, t1 = 300.0, a1 = 0.1;
    const double rho1 = p1 / (r * t1), m = rho1 * 0.5 * std::sqrt(gm * r * t1) * a1;
    const double t0 = t1 * (1.0 + 0.2 * 0.25);
    const AreaChangeState near =
        isentropicareachange(p1, t1, m, a1, a1 / 1.33984 * 1.000001, gm, r);
    EXPECT_NEAR(near.temperature, 2.0 * t0 / (gm + 1.0), 2e-3 * t0);
    // Back into the first area: the starting state again.
    const AreaChangeState same = isentropicareachange(p1, t1, m, a1, a1, gm, r);
    EXPECT_NEAR(same.temperature, t1, 1e-9 * t1);
    EXPECT_NEAR(same.pressure, p1, 1e-9 * p1);
    EXPECT_TRUE(std::isnan(isentropicareachange(p1, t1, m, a1, a1 / 1.35, gm, r).temperature));
}

// The explicit turbulent formula approximates the implicit Colebrook law to
// about one percent; a wrong constant in it would be far off.
TEST(SteadyRelations, FrictionFactorFollowsColebrookAndLaminarLaw)
{
    for (double re : {1e4, 1e5, 1e6, 1e7}) {
        for (double eps : {0.0, 1e-5, 1e-3}) {
            double darcy = 0.02;
            for (int i = 0; i < 100; ++i) {
                const double rhs = -2.0 * std::log10(eps / 3.7 + 2.51 / (re * std::sqrt(darcy)));
                darcy = 1.0 / (rhs * rhs);
            }
            EXPECT_NEAR(fanningfriction(re, eps), darcy / 4.0, 0.015 * darcy / 4.0)
                << re << " " << eps;
        }
    }
    EXPECT_DOUBLE_EQ(fanningfriction(1000.0, 0.0), 0.016);
}

} // namespace
} // namespace validation
