// Gas properties: one state whichever pair gives it and whichever model
// evaluates it, floors and error codes, refusals, the choke pressure.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "engine/errors.h"
#include "fluid/fluid.h"
#include "solver/hostgas.h"

namespace pelmora {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double R = 8314.3 / 28.97, cv = R / 0.4; // air, J/(kg K)
using F = FluidState;

// Air as an ideal gas evaluated by host routines (b = 0, constant viscosity).
testing::HostGas air{R, cv, 0.0, 0.018, 0.0};
using testing::hostph, testing::hostpt, testing::hostrhoe;

void hostnan(void*, double, double, double* r1, double* r2, double* r3, double* r4, double* r5)
{
    *r1 = *r2 = *r3 = *r4 = *r5 = nan;
}

// Air at 2 bar and 300 K by the gas law, then the same state from each
// pair that fluidstate takes, on the ideal model and through the host
// routines (whose units the engine converts both ways).
TEST(FluidState, EveryPairGivesTheSameStateOnBothModels)
{
    const double T = 300.0, p = 2e5;
    const FluidState gas{p, T, p / (R * T), cv * T, 1.4 * cv * T, 1.8e-5, std::sqrt(1.4 * R * T)};
    for (const std::int32_t model : {1, 2}) {
        Store s;
        ASSERT_TRUE(loadfluid(s, &air, hostpt, hostrhoe, hostph, 28.97, 1.4, 1.8e-5, 1, model));
        for (const auto& [selector, a, b] : {std::tuple{bypressuretemperature, p, T},
                                             {bydensityenergy, gas.density, gas.energy},
                                             {bypressureenthalpy, p, gas.enthalpy}}) {
            const FluidState f = fluidstate(s, selector, a, b);
            for (auto q : {&F::pressure, &F::temperature, &F::density, &F::energy, &F::enthalpy,
                           &F::viscosity, &F::soundspeed})
                EXPECT_NEAR(f.*q, gas.*q, 1e-12 * gas.*q)
                    << "model " << model << ", pair " << selector;
        }
    }
}

// A state at or below a floor is raised to it with code 1; a valid one
// keeps any earlier code but a negative one; a host routine's NaN is
// replaced by finite values.
TEST(FluidState, FloorsAndCodes)
{
    // model, pair, a, b, code before, code after, pressure, temperature, density (NaN: any)
    const std::tuple<int, int, double, double, int, int, double, double, double> cases[] = {
        {1, bypressuretemperature, 100.0, 300.0, 0, 1, 100.0, 300.0, nan},
        {1, bydensityenergy, 2.0, 0.0, 0, 1, 100.0, 1.0, 2.0},
        {1, bypressuretemperature, nan, nan, 0, 1, 100.0, 1.0, 0.01},
        {1, bypressuretemperature, 1e5, 300.0, -5, 0, 1e5, 300.0, nan},
        {1, bypressuretemperature, 1e5, 300.0, 3, 3, 1e5, 300.0, nan},
        {2, bydensityenergy, 10.0, 3e5, 0, 1, 100.0, 1.0, 10.0}};
    for (const auto& [model, selector, a, b, before, code, p, T, rho] : cases) {
        Store s;
        ASSERT_TRUE(loadfluid(s, nullptr, hostnan, hostnan, hostnan, 29, 1.4, 0, 1, model));
        s.fluiderrorcode = before;
        const FluidState f = fluidstate(s, selector, a, b);
        EXPECT_EQ(std::tuple(s.fluiderrorcode, f.pressure, f.temperature), std::tuple(code, p, T));
        EXPECT_TRUE(std::isnan(rho) || f.density == rho) << a;
        for (double q : {f.energy, f.enthalpy, f.viscosity, f.soundspeed})
            EXPECT_TRUE(std::isfinite(q)) << a;
    }
}

// The last row: the host model without its routines.
TEST(LoadFluid, RefusesWhatDoesNotDefineAGasAndKeepsThePrevious)
{
    Store s;
    ASSERT_TRUE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, 28.97, 1.4, 1.8e-5, 1.0, 1));
    const std::tuple<double, double, double, double, int> bad[] = {
        {0.0, 1.4, 1e-5, 1.0, 1},  {-28.0, 1.4, 1e-5, 1.0, 1}, {nan, 1.4, 1e-5, 1.0, 1},
        {28.0, 1.0, 1e-5, 1.0, 1}, {28.0, inf, 1e-5, 1.0, 1},  {28.0, 1.4, -1e-5, 1.0, 1},
        {28.0, 1.4, 1e-5, 0.0, 1}, {28.0, 1.4, 1e-5, 1.0, 2}};
    for (const auto& [mw, gamma, mu, z, model] : bad) {
        s.fluiderrorcode = 0;
        EXPECT_FALSE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, mw, gamma, mu, z, model));
        EXPECT_EQ(s.fluiderrorcode, coderefused);
        EXPECT_EQ(s.molweight, 28.97);
    }
}

// The estimate lies within a percent of the exact Mach-1 pressure; flows
// that are not positive finite, or no gas, are refused and leave p as it was.
TEST(ChokePressure, AirThroughATenCentimetreDuct)
{
    Store s;
    double p = 7.0;
    ASSERT_TRUE(loadfluid(s, &air, hostpt, hostrhoe, hostph, 28.97, 1.4, 1.8e-5, 1.0, 2));
    for (const double m : {0.0, -1.0, nan, inf}) {
        EXPECT_TRUE(!approxchokepressure(s, 300.0, 0.1, m, p) && s.fluiderrorcode == coderefused);
    }
    EXPECT_EQ(p, 7.0);
    ASSERT_TRUE(approxchokepressure(s, 300.0, 0.1, 1.0, p));
    EXPECT_NEAR(p / (1.0 / (0.25 * 3.1415927 * 0.01) * std::sqrt(R * 300.0 / 1.4)), 1.0, 0.01);
    // Far below the pressure floor the search runs out of passes: code 3.
    EXPECT_FALSE(approxchokepressure(s, 300.0, 1.0, 1e-9, p));
    EXPECT_EQ(s.fluiderrorcode, coderefused);
}

} // namespace
} // namespace pelmora
