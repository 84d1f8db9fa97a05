// The reference solutions themselves, before anything is compared with
// them: the exact Riemann solver against published star states, the steady
// relations against textbook values. Their agreement
// with the engine, an independent implementation, is measured in
// validation_test.cpp.
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

TEST(Reference, SteadyRelationsMatchTextbookValues)
{
    // Isothermal and Fanno flow choke beyond their length.
    const double rt = 518.4 * 288.15, f = 0.0025, gm = 1.4, r = 287.0;
    EXPECT_TRUE(std::isnan(isothermalpressure(50e5, 400.0, rt, f, 0.5, 500e3)));
    EXPECT_NEAR(fannofunction(0.3, gm), 5.2993, 1e-4); // choking length from Mach 0.3
    EXPECT_TRUE(std::isnan(fannodownstream(0.3, 10e5, 300.0, gm, f, 0.1, 60.0).pressure));
    // Area change: from Mach 0.5 (A/A* = 1.33984) into the critical area the
    // flow reaches the critical temperature; into its own area, its state.
    const double m = 10e5 / (r * 300.0) * 0.5 * std::sqrt(gm * r * 300.0) * 0.1, t0 = 300.0 * 1.05;
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
