// The reference solutions themselves, before anything is compared with
// them: the exact Riemann solver against published star states and the
// invariants of its fans, the steady relations against direct integration
// of their differential equations and against textbook values.
#include <gtest/gtest.h>

#include <cmath>

#include "reference.h"

namespace validation {
namespace {

// The five standard problems for gamma 1.4 with their star states as the
// standard textbook on Riemann solvers tabulates them (p, u, rho_L, rho_R).
TEST(Reference, RiemannSolverReproducesPublishedStarStates)
{
    const struct {
        GasState left, right;
        double star[4], tolerance; // half a unit in the last published digit, or more
    } table[] = {
        {{1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, {0.30313, 0.92745, 0.42632, 0.26557}, 1e-5},
        {{1.0, -2.0, 0.4}, {1.0, 2.0, 0.4}, {0.00189, 0.0, 0.02185, 0.02185}, 1e-5},
        {{1.0, 0.0, 1000.0}, {1.0, 0.0, 0.01}, {460.894, 19.5975, 0.57506, 5.99924}, 1e-3},
        {{1.0, 0.0, 0.01}, {1.0, 0.0, 100.0}, {46.0950, -6.19633, 5.99242, 0.57511}, 1e-4},
        {{5.99924, 19.5975, 460.894},
         {5.99242, -6.19633, 46.0950},
         {1691.64, 8.68975, 14.2823, 31.0426},
         1e-2},
    };
    for (const auto& t : table) {
        const ExactRiemann::Star s = ExactRiemann(t.left, t.right, 1.4).star();
        const double got[4] = {s.pressure, s.velocity, s.leftdensity, s.rightdensity};
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(got[k], t.star[k], t.tolerance) << t.left.pressure << " " << k;
        EXPECT_LT(s.iterations, 20);
    }
    EXPECT_THROW(ExactRiemann({1.0, -20.0, 0.4}, {1.0, 20.0, 0.4}, 1.4), std::invalid_argument);
}

// Inside both fans of the two-rarefaction problem the Riemann invariant
// u -+ 2c/(g-1) and the entropy p / rho^g keep their outer values and
// c = +-(u - s) on every ray; the cell average of a uniform region is it.
TEST(Reference, RiemannFansKeepTheirInvariants)
{
    const double g = 1.4, c0 = std::sqrt(g * 0.4);
    const ExactRiemann r({1.0, -2.0, 0.4}, {1.0, 2.0, 0.4}, g);
    for (double side : {-1.0, 1.0}) {
        for (int i = 1; i < 10; ++i) {
            const double s = side * (2.0 + c0) * i / 10.0;
            const GasState w = r.sample(s);
            const double c = std::sqrt(g * w.pressure / w.density);
            if (std::fabs(s) < 0.8) // the star state
                continue;
            EXPECT_NEAR(w.velocity - side * 2.0 * c / (g - 1.0),
                        side * (2.0 - 2.0 * c0 / (g - 1.0)), 1e-12);
            EXPECT_NEAR(w.pressure / std::pow(w.density, g), 0.4, 1e-12);
            EXPECT_NEAR(c, side * (s - w.velocity), 1e-12);
        }
    }
    const GasState w = r.average(-0.99, -0.9, 0.15, 16); // undisturbed left
    EXPECT_DOUBLE_EQ(w.velocity, -2.0);
}

// Fourth-order Runge-Kutta for the density along the duct from the momentum
// balance d(p + G^2/rho)/dx = -2 f G^2 / (rho D), with p(rho) given.
template <class Slope>
double integratedensity(double rho, double g2, double f, double d, double length, Slope slope)
{
    auto rate = [&](double r) { return -2.0 * f * g2 / (r * d) / (slope(r) - g2 / (r * r)); };
    const double h = length / 20000;
    for (int i = 0; i < 20000; ++i) {
        const double k1 = rate(rho), k2 = rate(rho + 0.5 * h * k1), k3 = rate(rho + 0.5 * h * k2);
        rho += h / 6.0 * (k1 + 2 * k2 + 2 * k3 + rate(rho + h * k3));
    }
    return rho;
}

TEST(Reference, SteadyRelationsMatchDirectIntegrationAndTextbookValues)
{
    // Isothermal, with its kinetic term (leaving it out moves p2 by 100 times
    // the tolerance); choked beyond its length.
    const double rt = 518.4 * 288.15, p1 = 50e5, g = 400.0, f = 0.0025;
    EXPECT_NEAR(isothermalpressure(p1, g, rt, f, 0.5, 50e3),
                integratedensity(p1 / rt, g * g, f, 0.5, 50e3, [&](double) { return rt; }) * rt,
                1e-7 * p1);
    EXPECT_TRUE(std::isnan(isothermalpressure(p1, g, rt, f, 0.5, 500e3)));
    // Fanno: T from the total enthalpy h0 - u^2/2, u = G / rho.
    const double gm = 1.4, r = 287.0, cp = gm * r / (gm - 1.0), c1 = std::sqrt(gm * r * 300.0);
    const double rho1 = 10e5 / (r * 300.0), gf = rho1 * 0.3 * c1, h0 = cp * 300.0 + 0.045 * c1 * c1;
    auto temperature = [&](double rho) { return (h0 - 0.5 * gf * gf / (rho * rho)) / cp; };
    const double rho2 = integratedensity(rho1, gf * gf, f, 0.1, 30.0, [&](double rho) {
        return r * (h0 + 0.5 * gf * gf / (rho * rho)) / cp;
    });
    const FannoState out = fannodownstream(0.3, 10e5, 300.0, gm, f, 0.1, 30.0);
    EXPECT_NEAR(out.pressure, rho2 * r * temperature(rho2), 0.1);
    EXPECT_NEAR(out.temperature, temperature(rho2), 3e-5);
    EXPECT_NEAR(out.mach, gf / rho2 / std::sqrt(gm * r * temperature(rho2)), 1e-7);
    EXPECT_NEAR(fannofunction(0.3, gm), 5.2993, 1e-4); // choking length from Mach 0.3
    EXPECT_TRUE(std::isnan(fannodownstream(0.3, 10e5, 300.0, gm, f, 0.1, 60.0).pressure));
    // Area change: from Mach 0.5 (A/A* = 1.33984) into the critical area the
    // flow reaches the critical temperature; into its own area, its state.
    const double m = rho1 * 0.5 * c1 * 0.1, t0 = 300.0 * 1.05;
    EXPECT_NEAR(
        isentropicareachange(10e5, 300.0, m, 0.1, 0.1 / 1.33984 * 1.000001, gm, r).temperature,
        2.0 * t0 / 2.4, 2e-3 * t0);
    EXPECT_NEAR(isentropicareachange(10e5, 300.0, m, 0.1, 0.1, gm, r).pressure, 10e5, 1e-3);
    EXPECT_TRUE(
        std::isnan(isentropicareachange(10e5, 300.0, m, 0.1, 0.1 / 1.35, gm, r).temperature));
    // Friction: the explicit law within 1.5 % of the implicit Colebrook law;
    // 16 / Re below Reynolds number 2000.
    for (double re : {1e4, 1e5, 1e6, 1e7}) {
        for (double eps : {0.0, 1e-5, 1e-3}) {
            double darcy = 0.02;
            for (int i = 0; i < 100; ++i)
                darcy =
                    std::pow(-2.0 * std::log10(eps / 3.7 + 2.51 / (re * std::sqrt(darcy))), -2.0);
            EXPECT_NEAR(fanningfriction(re, eps), darcy / 4.0, 0.015 * darcy / 4.0) << re << eps;
        }
    }
    EXPECT_DOUBLE_EQ(fanningfriction(1000.0, 0.0), 0.016);
}

} // namespace
} // namespace validation
