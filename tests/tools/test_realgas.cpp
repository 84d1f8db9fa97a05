// Real-gas provider: published compressibility factors, the ideal-gas limit,
// thermodynamic consistency of the residual properties with the Z model,
// robustness of the inverse routines and the C routines' units.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "naturalgas.h"
#include "pelmora_realgas.h"

namespace {

using realgas::NaturalGas;
using realgas::State;

NaturalGas methane()
{
    double y[realgas::ncomponents] = {1.0};
    return *NaturalGas::frommolefractions(y);
}

// A lean pipeline gas: 90 % methane with ethane, propane, butanes, nitrogen
// and carbon dioxide.
std::vector<double> pipelinegas()
{
    std::vector<double> y(realgas::ncomponents, 0.0);
    y[realgas_componentindex("methane")] = 0.90;
    y[realgas_componentindex("ethane")] = 0.05;
    y[realgas_componentindex("propane")] = 0.015;
    y[realgas_componentindex("isobutane")] = 0.0025;
    y[realgas_componentindex("nbutane")] = 0.0025;
    y[realgas_componentindex("nitrogen")] = 0.02;
    y[realgas_componentindex("carbondioxide")] = 0.01;
    return y;
}

// --- Compressibility against published values -----------------------------

TEST(RealGasCompressibility, MatchesStandingKatzChartReadings)
{
    // Standing and Katz (1942) chart for natural gases, Z as read at these
    // reduced conditions (chart-reading accuracy about +-0.015):
    //   Tpr 1.5,  Ppr 3.0 -> 0.77  (near the minimum of the 1.5 isotherm)
    //   Tpr 2.0,  Ppr 3.0 -> 0.94
    //   Tpr 1.67, Ppr 4.5 -> 0.85  (the reservoir-gas worked example of the
    //                               standard reservoir-engineering texts)
    //   Tpr 1.5,  Ppr 10  -> 1.13
    // Z depends on the reduced conditions only, so a single component with
    // its own critical point reaches any of them.
    const NaturalGas gas = methane();
    const double tc = gas.pseudocriticaltemperature(), pc = gas.pseudocriticalpressure();
    struct Point {
        double tpr, ppr, z;
    };
    for (const Point& c : {Point{1.5, 3.0, 0.77}, Point{2.0, 3.0, 0.94}, Point{1.67, 4.5, 0.85},
                           Point{1.5, 10.0, 1.13}}) {
        EXPECT_NEAR(gas.compressibility(c.ppr * pc, c.tpr * tc), c.z, 0.015)
            << "Tpr " << c.tpr << " Ppr " << c.ppr;
    }
}

TEST(RealGasCompressibility, MatchesMethaneAtReferenceConditions)
{
    // Compressibility factor of methane at 101.325 kPa from the natural-gas
    // calorific-value standard tables: 0.9976 at 0 degC and 0.9980 at 15 degC
    // (the first matches methane's normal density of 0.7175 kg/m3).
    const NaturalGas gas = methane();
    EXPECT_NEAR(gas.compressibility(101.325, 273.15), 0.9976, 3e-4);
    EXPECT_NEAR(gas.compressibility(101.325, 288.15), 0.9980, 3e-4);
    EXPECT_NEAR(gas.atpressuretemperature(101.325, 273.15).density, 0.7175, 0.0005);
}

TEST(RealGasCompressibility, PipelineGasIsDenserThanIdealAtLinePressure)
{
    // The sour-gas correction is applied, molar mass and pseudo-critical
    // point are molar averages, and at 60 bar and 15 degC a lean gas has Z
    // between 0.85 and 0.90.
    const auto y = pipelinegas();
    const NaturalGas gas = *NaturalGas::frommolefractions(y.data());
    EXPECT_NEAR(gas.molweight(), 17.895, 0.001);
    EXPECT_GT(gas.pseudocriticaltemperature(), 195.0);
    EXPECT_LT(gas.pseudocriticaltemperature(), 215.0);
    const double z = gas.compressibility(6000.0, 288.15);
    EXPECT_GT(z, 0.85);
    EXPECT_LT(z, 0.90);
}

// --- Ideal-gas limit ------------------------------------------------------

TEST(RealGasIdealLimit, LowPressureBehavesAsIdealGas)
{
    const NaturalGas gas = methane();
    const double r = gas.gasconstant();
    for (double T : {220.0, 288.15, 400.0}) {
        const State s = gas.atpressuretemperature(0.01, T);
        EXPECT_NEAR(s.density, 0.01 / (r * T), 1e-5 * s.density) << T;
        EXPECT_NEAR(s.enthalpy - s.energy, r * T, 1e-6 * r * T) << T;
        EXPECT_NEAR(s.cp - s.cv, r, 1e-5 * r) << T;
        const double gamma0 = s.cp / s.cv;
        EXPECT_NEAR(s.soundspeed, std::sqrt(1000.0 * gamma0 * r * T), 1e-5 * s.soundspeed) << T;
    }
    // Methane's ideal-gas heat capacity at 300 K is 2.232 kJ/(kg K) and its
    // sound speed at 1 atm about 450 m/s.
    const State s = gas.atpressuretemperature(101.325, 300.0);
    EXPECT_NEAR(s.cp, 2.232, 0.02);
    EXPECT_NEAR(s.soundspeed, 450.0, 3.0);
    // Methane's viscosity at 1 atm and 300 K is 11.1 micro-Pa s.
    EXPECT_NEAR(s.viscosity, 0.0111, 0.0006);
}

// --- Consistency of the residual properties with the Z model --------------

TEST(RealGasConsistency, EnergyDensityDerivativeFollowsEquationOfState)
{
    // (de/drho)_T = (p - T (dp/dT)_rho) / rho^2 holds for any equation of
    // state; a residual energy that does not belong to Z breaks it.
    const auto y = pipelinegas();
    const NaturalGas gas = *NaturalGas::frommolefractions(y.data());
    for (double rho : {20.0, 60.0, 120.0}) {
        for (double T : {250.0, 300.0}) {
            const double drho = 1e-4 * rho, dT = 1e-3;
            const double dedrho = (gas.atdensitytemperature(rho + drho, T).energy -
                                   gas.atdensitytemperature(rho - drho, T).energy) /
                                  (2 * drho);
            const double dpdT = (gas.atdensitytemperature(rho, T + dT).pressure -
                                 gas.atdensitytemperature(rho, T - dT).pressure) /
                                (2 * dT);
            const double p = gas.atdensitytemperature(rho, T).pressure;
            EXPECT_NEAR(dedrho, (p - T * dpdT) / (rho * rho), 1e-6 * std::abs(p / (rho * rho)))
                << rho << " " << T;
        }
    }
}

TEST(RealGasConsistency, HeatCapacitiesAndSoundSpeedMatchFiniteDifferences)
{
    const auto y = pipelinegas();
    const NaturalGas gas = *NaturalGas::frommolefractions(y.data());
    for (double p : {500.0, 6000.0, 12000.0}) {
        for (double T : {260.0, 300.0, 350.0}) {
            const State s = gas.atpressuretemperature(p, T);
            // cp = (dh/dT)_p, cv = (de/dT)_rho.
            const double dT = 1e-3;
            const double cp = (gas.atpressuretemperature(p, T + dT).enthalpy -
                               gas.atpressuretemperature(p, T - dT).enthalpy) /
                              (2 * dT);
            const double cv = (gas.atdensitytemperature(s.density, T + dT).energy -
                               gas.atdensitytemperature(s.density, T - dT).energy) /
                              (2 * dT);
            EXPECT_NEAR(s.cp, cp, 1e-5 * cp) << p << " " << T;
            EXPECT_NEAR(s.cv, cv, 1e-5 * cv) << p << " " << T;
            // c^2 = (dp/drho)_s; along an isentrope de = p / rho^2 drho
            // (p in kPa gives kJ/kg).
            const double drho = 1e-5 * s.density;
            const double de = s.pressure / (s.density * s.density) * drho;
            const State up = gas.atdensityenergy(s.density + drho, s.energy + de);
            const State down = gas.atdensityenergy(s.density - drho, s.energy - de);
            const double c2 = 1000.0 * (up.pressure - down.pressure) / (2 * drho);
            EXPECT_NEAR(s.soundspeed, std::sqrt(c2), 1e-4 * s.soundspeed) << p << " " << T;
        }
    }
}

// --- Inverse routines -----------------------------------------------------

TEST(RealGasInverse, DensityEnergyAndPressureEnthalpyReturnToTheState)
{
    const auto y = pipelinegas();
    const NaturalGas gas = *NaturalGas::frommolefractions(y.data());
    for (double p : {1.0, 101.325, 3000.0, 7000.0, 15000.0, 30000.0}) {
        for (double T : {215.0, 250.0, 288.15, 330.0, 500.0}) {
            const State s = gas.atpressuretemperature(p, T);
            const State fromrhoe = gas.atdensityenergy(s.density, s.energy);
            EXPECT_NEAR(fromrhoe.temperature, T, 1e-8 * T) << p << " " << T;
            EXPECT_NEAR(fromrhoe.pressure, p, 1e-8 * p) << p << " " << T;
            const State fromph = gas.atpressureenthalpy(p, s.enthalpy);
            EXPECT_NEAR(fromph.temperature, T, 1e-8 * T) << p << " " << T;
            EXPECT_NEAR(fromph.density, s.density, 1e-8 * s.density) << p << " " << T;
        }
    }
}

TEST(RealGasInverse, RoutinesWriteFiniteValuesForAnyInput)
{
    const auto y = pipelinegas();
    pelmora_realgas* gas = realgas_create(y.data());
    ASSERT_NE(gas, nullptr);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> values = {nan, inf, -inf, -1e9, -5.0, 0.0, 1e-300, 1e12};
    double out[5];
    for (double a : values) {
        for (double b : values) {
            for (auto routine : {realgas_pt, realgas_rhoe, realgas_ph}) {
                for (double& o : out)
                    o = nan;
                routine(gas, a, b, &out[0], &out[1], &out[2], &out[3], &out[4]);
                for (double o : out)
                    EXPECT_TRUE(std::isfinite(o)) << a << " " << b;
            }
        }
    }
    realgas_destroy(gas);
}

// --- The C routines -------------------------------------------------------

TEST(RealGasRoutines, WorkInKilopascalCelsiusAndKilojoule)
{
    const auto y = pipelinegas();
    pelmora_realgas* gas = realgas_create(y.data());
    ASSERT_NE(gas, nullptr);
    const NaturalGas model = *NaturalGas::frommolefractions(y.data());
    const State s = model.atpressuretemperature(6000.0, 288.15);

    double rho, e, h, mu, c;
    realgas_pt(gas, 6000.0, 15.0, &rho, &e, &h, &mu, &c);
    EXPECT_DOUBLE_EQ(rho, s.density);
    EXPECT_DOUBLE_EQ(h, s.enthalpy);
    EXPECT_DOUBLE_EQ(mu, s.viscosity);

    double p, t;
    realgas_rhoe(gas, rho, e, &p, &t, &h, &mu, &c);
    EXPECT_NEAR(p, 6000.0, 1e-6);
    EXPECT_NEAR(t, 15.0, 1e-7);
    realgas_ph(gas, 6000.0, s.enthalpy, &rho, &t, &e, &mu, &c);
    EXPECT_NEAR(t, 15.0, 1e-7);
    EXPECT_NEAR(e, s.energy, 1e-9);

    // The isentropic exponent reproduces the sound speed through
    // sqrt(k p / rho), the form in which the engine uses it.
    double ratio, kappa;
    realgas_exponents(gas, 6000.0, 15.0, &ratio, &kappa);
    EXPECT_NEAR(std::sqrt(kappa * 6000e3 / s.density), s.soundspeed, 1e-9 * s.soundspeed);
    EXPECT_GT(ratio, kappa); // real gas at line pressure: cp/cv exceeds rho c^2/p
    realgas_destroy(gas);
}

TEST(RealGasRoutines, CreationChecksFractionsAndNormalises)
{
    std::vector<double> y(realgas::ncomponents, 0.0);
    EXPECT_EQ(realgas_create(y.data()), nullptr); // all zero
    y[0] = -0.1;
    EXPECT_EQ(realgas_create(y.data()), nullptr);
    y[0] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(realgas_create(y.data()), nullptr);
    EXPECT_EQ(realgas_create(nullptr), nullptr);

    // 2:0 of methane is the same gas as 1:0.
    y[0] = 2.0;
    pelmora_realgas* gas = realgas_create(y.data());
    ASSERT_NE(gas, nullptr);
    double m, tpc, ppc;
    realgas_description(gas, &m, &tpc, &ppc);
    EXPECT_DOUBLE_EQ(m, 16.043);
    EXPECT_DOUBLE_EQ(tpc, 190.56);
    realgas_destroy(gas);

    EXPECT_EQ(realgas_componentindex("methane"), 0);
    EXPECT_EQ(realgas_componentindex("hydrogensulfide"), realgas::ncomponents - 1);
    EXPECT_EQ(realgas_componentindex("water"), -1);
    EXPECT_EQ(realgas_componentname(realgas::ncomponents), nullptr);
}

} // namespace
