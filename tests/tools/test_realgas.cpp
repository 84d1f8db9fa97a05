// The natural-gas provider: published compressibility factors, the ideal-gas
// limit, thermodynamic consistency of the residual properties with the Z
// model, the inverse routines, and the C routines' host units.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "naturalgas.h"
#include "pelmora_realgas.h"

namespace {

using realgas::NaturalGas;
using realgas::State;

std::vector<double> fractions(std::vector<std::pair<const char*, double>> parts)
{
    std::vector<double> y(realgas::ncomponents, 0.0);
    for (auto [name, share] : parts)
        y[static_cast<size_t>(realgas_componentindex(name))] = share;
    return y;
}

const std::vector<double> methane = fractions({{"methane", 1.0}});
// A lean pipeline gas.
const std::vector<double> lean = fractions({{"methane", 0.90},
                                            {"ethane", 0.05},
                                            {"propane", 0.015},
                                            {"isobutane", 0.0025},
                                            {"nbutane", 0.0025},
                                            {"nitrogen", 0.02},
                                            {"carbondioxide", 0.01}});

NaturalGas gasof(const std::vector<double>& y) { return *NaturalGas::frommolefractions(y.data()); }

TEST(RealGas, CompressibilityMatchesPublishedValues)
{
    // Standing-Katz chart readings (+-0.015) at reduced conditions, reached
    // with methane's own critical point.
    const NaturalGas gas = gasof(methane);
    const double tc = gas.pseudocriticaltemperature(), pc = gas.pseudocriticalpressure();
    for (auto [tpr, ppr, z] : {std::array{1.5, 3.0, 0.77}, std::array{2.0, 3.0, 0.94},
                               std::array{1.67, 4.5, 0.85}, std::array{1.5, 10.0, 1.13}})
        EXPECT_NEAR(gas.compressibility(ppr * pc, tpr * tc), z, 0.015) << tpr << " " << ppr;
    // Methane at 1 atm: Z 0.9976 at 0 degC (0.7175 kg/m3), 0.9980 at 15 degC.
    EXPECT_NEAR(gas.compressibility(101.325, 273.15), 0.9976, 3e-4);
    EXPECT_NEAR(gas.compressibility(101.325, 288.15), 0.9980, 3e-4);
    EXPECT_NEAR(gas.atpressuretemperature(101.325, 273.15).density, 0.7175, 0.0005);
    // The lean gas: molar averages, Z of 0.85 to 0.90 at 60 bar and 15 degC.
    const NaturalGas pipeline = gasof(lean);
    EXPECT_NEAR(pipeline.molweight(), 17.895, 0.001);
    EXPECT_NEAR(pipeline.compressibility(6000.0, 288.15), 0.875, 0.025);
    // Methane at 1 atm and 300 K: cp 2.232 kJ/(kg K), c 450 m/s, 11.1 uPa s.
    const State s = gas.atpressuretemperature(101.325, 300.0);
    EXPECT_NEAR(s.cp, 2.232, 0.02);
    EXPECT_NEAR(s.soundspeed, 450.0, 3.0);
    EXPECT_NEAR(s.viscosity, 0.0111, 0.0006);
}

// Residual energy, heat capacities and sound speed must belong to the Z
// model: (de/drho)_T = (p - T (dp/dT)_rho) / rho^2, cp = (dh/dT)_p,
// cv = (de/dT)_rho, c^2 = (dp/drho)_s; and the inverse routines return to
// the state they came from.
TEST(RealGas, PropertiesAreConsistentAndInversesReturn)
{
    const NaturalGas gas = gasof(lean);
    for (double p : {1.0, 500.0, 6000.0, 12000.0, 30000.0}) {
        for (double t : {215.0, 260.0, 300.0, 350.0, 500.0}) {
            const State s = gas.atpressuretemperature(p, t);
            const double rho = s.density, dt = 1e-3, drho = 1e-5 * rho;
            auto at = [&](double r, double tt) { return gas.atdensitytemperature(r, tt); };
            const double dedrho =
                (at(rho + drho, t).energy - at(rho - drho, t).energy) / (2 * drho);
            const double dpdt = (at(rho, t + dt).pressure - at(rho, t - dt).pressure) / (2 * dt);
            EXPECT_NEAR(dedrho, (p - t * dpdt) / (rho * rho), 1e-5 * p / (rho * rho)) << p << t;
            const double cp = (gas.atpressuretemperature(p, t + dt).enthalpy -
                               gas.atpressuretemperature(p, t - dt).enthalpy) /
                              (2 * dt);
            EXPECT_NEAR(s.cp, cp, 1e-5 * cp) << p << " " << t;
            EXPECT_NEAR(s.cv, (at(rho, t + dt).energy - at(rho, t - dt).energy) / (2 * dt),
                        1e-5 * s.cv);
            const double de = p / (rho * rho) * drho; // kPa m3/kg is kJ/kg
            const double c2 = 1000.0 *
                              (gas.atdensityenergy(rho + drho, s.energy + de).pressure -
                               gas.atdensityenergy(rho - drho, s.energy - de).pressure) /
                              (2 * drho);
            EXPECT_NEAR(s.soundspeed, std::sqrt(c2), 1e-4 * s.soundspeed) << p << " " << t;
            const State a = gas.atdensityenergy(rho, s.energy),
                        b = gas.atpressureenthalpy(p, s.enthalpy);
            EXPECT_NEAR(a.temperature, t, 1e-8 * t);
            EXPECT_NEAR(a.pressure, p, 1e-8 * p);
            EXPECT_NEAR(b.temperature, t, 1e-8 * t);
            EXPECT_NEAR(b.density, rho, 1e-8 * rho);
        }
    }
}

// The routines a host hands to the engine work in kPa, degC and kJ/kg, and
// write finite values whatever they are given.
TEST(RealGas, RoutinesUseHostUnitsAndAlwaysAnswer)
{
    pelmora_realgas* gas = realgas_create(lean.data());
    ASSERT_NE(gas, nullptr);
    const State s = gasof(lean).atpressuretemperature(6000.0, 288.15);
    double rho, e, h, mu, c, p, t;
    realgas_pt(gas, 6000.0, 15.0, &rho, &e, &h, &mu, &c);
    EXPECT_EQ(std::vector<double>({rho, e, h, mu, c}),
              std::vector<double>({s.density, s.energy, s.enthalpy, s.viscosity, s.soundspeed}));
    realgas_rhoe(gas, rho, e, &p, &t, &h, &mu, &c);
    EXPECT_NEAR(p, 6000.0, 1e-6);
    EXPECT_NEAR(t, 15.0, 1e-7);
    realgas_ph(gas, 6000.0, s.enthalpy, &rho, &t, &e, &mu, &c);
    EXPECT_NEAR(t, 15.0, 1e-7);
    EXPECT_NEAR(e, s.energy, 1e-9);
    EXPECT_NEAR(rho, s.density, 1e-9 * rho);
    double ratio, kappa; // sqrt(kappa p / rho) is the sound speed the engine uses
    realgas_exponents(gas, 6000.0, 15.0, &ratio, &kappa);
    EXPECT_NEAR(std::sqrt(kappa * 6000e3 / s.density), s.soundspeed, 1e-9 * s.soundspeed);
    EXPECT_GT(ratio, kappa);
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = 1.0 / 0.0;
    for (double a : {nan, inf, -inf, -1e9, 0.0, 1e-300, 1e12})
        for (double b : {nan, -inf, -5.0, 0.0, 1e12})
            for (auto routine : {realgas_pt, realgas_rhoe, realgas_ph}) {
                double out[5] = {nan, nan, nan, nan, nan};
                routine(gas, a, b, &out[0], &out[1], &out[2], &out[3], &out[4]);
                for (double o : out)
                    EXPECT_TRUE(std::isfinite(o)) << a << " " << b;
            }
    realgas_destroy(gas);
    // Fractions: refused when none, negative or not a number; normalised.
    for (double bad : {0.0, -0.1, nan})
        EXPECT_EQ(realgas_create(fractions({{"methane", bad}}).data()), nullptr) << bad;
    EXPECT_EQ(realgas_create(nullptr), nullptr);
    gas = realgas_create(fractions({{"methane", 2.0}}).data());
    double m, tpc, ppc;
    realgas_description(gas, &m, &tpc, &ppc);
    EXPECT_EQ(m, 16.043);
    EXPECT_EQ(tpc, 190.56);
    realgas_destroy(gas);
    EXPECT_EQ(realgas_componentindex("water"), -1);
}

} // namespace
