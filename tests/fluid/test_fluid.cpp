// Gas properties: ideal-gas figures, floors and error codes, the host
// routine adapters, and the choke pressure estimate.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/errors.h"
#include "fluid/fluid.h"

namespace pelmora {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

void loadair(Store& s, double z = 1.0)
{
    ASSERT_TRUE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, 28.97, 1.4, 1.8e-5, z, 1));
}

TEST(IdealGas, StandardAirFigures)
{
    FluidState f;
    Store s;
    loadair(s);
    const double cv = 8314.3 / (0.4 * 28.97);
    EXPECT_DOUBLE_EQ(s.cv, cv);
    EXPECT_DOUBLE_EQ(s.cp, 1.4 * cv);
    EXPECT_NEAR(s.cv, 717.49, 0.01);
    EXPECT_NEAR(s.cp - s.cv, 287.00, 0.01);

    f = fluidstate(s, bypressuretemperature, 101325.0, 288.15);
    EXPECT_NEAR(f.density, 1.225, 0.001);
    EXPECT_DOUBLE_EQ(f.energy, s.cv * 288.15);
    EXPECT_DOUBLE_EQ(f.enthalpy, s.cp * 288.15);
    EXPECT_NEAR(f.soundspeed, 340.26, 0.01);
    EXPECT_EQ(f.viscosity, 1.8e-5);
    EXPECT_EQ(s.fluiderrorcode, 0);
}

TEST(IdealGas, SelectorsAgreeOnOneState)
{
    FluidState f;
    Store s;
    loadair(s);
    f = fluidstate(s, bypressuretemperature, 5.0e6, 300.0);
    const double rho = f.density, e = f.energy, h = f.enthalpy;

    f = fluidstate(s, bydensityenergy, rho, e);
    EXPECT_NEAR(f.pressure, 5.0e6, 1e-6);
    EXPECT_NEAR(f.temperature, 300.0, 1e-9);
    EXPECT_DOUBLE_EQ(f.enthalpy, e * 1.4);

    f = fluidstate(s, bypressureenthalpy, 5.0e6, h);
    EXPECT_NEAR(f.temperature, 300.0, 1e-9);
    EXPECT_NEAR(f.density, rho, 1e-12 * rho);
}

TEST(IdealGas, CompressibilityScalesTheGasConstant)
{
    Store a, b;
    loadair(a, 1.0);
    loadair(b, 0.9);
    EXPECT_NEAR(b.cv / a.cv, 0.9, 1e-15);
    EXPECT_NEAR(b.cp / a.cp, 0.9, 1e-15);
    const FluidState fa = fluidstate(a, bypressuretemperature, 1e5, 300.0);
    const FluidState fb = fluidstate(b, bypressuretemperature, 1e5, 300.0);
    EXPECT_NEAR(fb.density / fa.density, 1.0 / 0.9, 1e-14);
}

TEST(Floors, ValuesAtOrBelowTheFloorsAreRaisedWithCodeOne)
{
    FluidState f;
    Store s;
    loadair(s);
    f = fluidstate(s, bypressuretemperature, 100.0, 300.0); // exactly the floor fails
    EXPECT_EQ(s.fluiderrorcode, codefluidfloor);
    EXPECT_EQ(f.pressure, 100.0);

    s.fluiderrorcode = 0;
    f = fluidstate(s, bydensityenergy, 2.0, 0.0); // zero energy: p = 0, T = 0
    EXPECT_EQ(s.fluiderrorcode, codefluidfloor);
    EXPECT_EQ(f.pressure, 100.0);
    EXPECT_EQ(f.temperature, 1.0);
    EXPECT_EQ(f.density, 2.0);
    EXPECT_EQ(f.energy, 0.0); // energy is not made consistent
    EXPECT_DOUBLE_EQ(f.soundspeed, std::sqrt(1.4 * 100.0 / 2.0));

    f = fluidstate(s, bypressuretemperature, nan, nan);
    EXPECT_EQ(f.pressure, 100.0);
    EXPECT_EQ(f.temperature, 1.0);
    EXPECT_EQ(f.density, 0.01);
}

TEST(Floors, ValidStateClearsOnlyNegativeCodes)
{
    FluidState f;
    Store s;
    loadair(s);
    s.fluiderrorcode = -5;
    f = fluidstate(s, bypressuretemperature, 1e5, 300.0);
    EXPECT_EQ(s.fluiderrorcode, 0);
    s.fluiderrorcode = 3;
    f = fluidstate(s, bypressuretemperature, 1e5, 300.0);
    EXPECT_EQ(s.fluiderrorcode, 3);
}

TEST(Floors, OtherSelectorsOnlyValidate)
{
    Store s;
    loadair(s);
    for (int selector : {0, 4}) {
        s.curpressure = 2e5;
        s.curtemperature = 7.0;
        s.curdensity = 3.0;
        s.curenergy = 11.0;
        s.cursoundspeed = -1.0;
        fluidstate(s, selector, 1e9, 1e9);
        EXPECT_EQ(s.curpressure, 2e5);
        EXPECT_EQ(s.curenergy, 11.0);
        EXPECT_DOUBLE_EQ(s.cursoundspeed, std::sqrt(1.4 * 2e5 / 3.0));
    }
}

TEST(LoadFluid, RefusesWhatDoesNotDefineAGas)
{
    Store s;
    loadair(s);
    const double cv = s.cv;
    struct Bad {
        double mw, gamma, mu, z;
        int model;
    };
    for (const Bad& b :
         std::vector<Bad>{{0.0, 1.4, 1e-5, 1.0, 1},
                          {-28.0, 1.4, 1e-5, 1.0, 1},
                          {nan, 1.4, 1e-5, 1.0, 1},
                          {28.0, 1.0, 1e-5, 1.0, 1},
                          {28.0, std::numeric_limits<double>::infinity(), 1e-5, 1.0, 1},
                          {28.0, 1.4, -1e-5, 1.0, 1},
                          {28.0, 1.4, 1e-5, 0.0, 1},
                          {28.0, 1.4, 1e-5, 1.0, 2}}) { // host model, no routines
        s.fluiderrorcode = 0;
        EXPECT_FALSE(
            loadfluid(s, nullptr, nullptr, nullptr, nullptr, b.mw, b.gamma, b.mu, b.z, b.model));
        EXPECT_EQ(s.fluiderrorcode, coderefused);
        EXPECT_EQ(s.cv, cv);
        EXPECT_EQ(s.molweight, 28.97);
    }
    // Zero viscosity is an inviscid gas, and model numbers other than 2 are ideal.
    EXPECT_TRUE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, 16.0, 1.3, 0.0, 1.0, 3));
    EXPECT_EQ(s.fluiderrorcode, 0);
}

// ---- Host model ----------------------------------------------------------------

// An ideal gas in host units, recording what it was given.
struct Recorder {
    double R = 8314.3 / 28.97; // J/(kg K)
    double cv = 8314.3 / (0.4 * 28.97);
    int calls = 0;
    double a = 0.0, b = 0.0;
};

void hostpt(void* ctx, double pkpa, double tc, double* rho, double* ekj, double* hkj, double* cp,
            double* c)
{
    auto* r = static_cast<Recorder*>(ctx);
    ++r->calls;
    r->a = pkpa;
    r->b = tc;
    const double T = tc + 273.15;
    *rho = pkpa * 1000.0 / (r->R * T);
    *ekj = r->cv * T / 1000.0;
    *hkj = (r->cv + r->R) * T / 1000.0;
    *cp = 0.018;  // centipoise
    *c = 12345.0; // must be discarded
}

void hostrhoe(void* ctx, double rho, double ekj, double* pkpa, double* tc, double* hkj, double* cp,
              double* c)
{
    auto* r = static_cast<Recorder*>(ctx);
    ++r->calls;
    r->a = rho;
    r->b = ekj;
    const double T = ekj * 1000.0 / r->cv;
    *pkpa = rho * r->R * T / 1000.0;
    *tc = T - 273.15;
    *hkj = (r->cv + r->R) * T / 1000.0;
    *cp = 0.018;
    *c = 12345.0;
}

void hostph(void* ctx, double pkpa, double hkj, double* rho, double* tc, double* ekj, double* cp,
            double* c)
{
    auto* r = static_cast<Recorder*>(ctx);
    ++r->calls;
    r->a = pkpa;
    r->b = hkj;
    const double T = hkj * 1000.0 / (r->cv + r->R);
    *rho = pkpa * 1000.0 / (r->R * T);
    *tc = T - 273.15;
    *ekj = r->cv * T / 1000.0;
    *cp = 0.018;
    *c = 12345.0;
}

TEST(HostModel, ConvertsUnitsBothWaysAndRecomputesSoundSpeed)
{
    FluidState f;
    Store s;
    Recorder r;
    ASSERT_TRUE(loadfluid(s, &r, hostpt, hostrhoe, hostph, 28.97, 1.4, 1.8e-5, 1.0, 2));

    f = fluidstate(s, bypressuretemperature, 2.0e5, 300.0);
    EXPECT_EQ(r.calls, 1);
    EXPECT_DOUBLE_EQ(r.a, 2.0e5 * 0.001);
    EXPECT_DOUBLE_EQ(r.b, 300.0 - 273.15);
    EXPECT_DOUBLE_EQ(f.pressure, 2.0e5 * 0.001 / 0.001); // restored by the inverse
    EXPECT_DOUBLE_EQ(f.temperature, 300.0);
    EXPECT_NEAR(f.energy, r.cv * 300.0, 1e-9);
    EXPECT_DOUBLE_EQ(f.viscosity, 0.018 * 0.001);
    EXPECT_DOUBLE_EQ(f.soundspeed, std::sqrt(1.4 * f.pressure / f.density));
    const double rho = f.density, e = f.energy, h = f.enthalpy;

    f = fluidstate(s, bydensityenergy, rho, e);
    EXPECT_EQ(r.calls, 2);
    EXPECT_DOUBLE_EQ(r.a, rho);
    EXPECT_DOUBLE_EQ(r.b, e / 1000.0);
    EXPECT_NEAR(f.pressure, 2.0e5, 1e-6);
    EXPECT_NEAR(f.temperature, 300.0, 1e-9);
    EXPECT_NE(f.soundspeed, 12345.0);

    f = fluidstate(s, bypressureenthalpy, 2.0e5, h);
    EXPECT_EQ(r.calls, 3);
    EXPECT_DOUBLE_EQ(r.b, h / 1000.0);
    EXPECT_NEAR(f.temperature, 300.0, 1e-9);
    EXPECT_NEAR(f.density, rho, 1e-12 * rho);
}

void hostnan(void*, double, double, double* r1, double* r2, double* r3, double* r4, double* r5)
{
    *r1 = *r2 = *r3 = *r4 = *r5 = std::numeric_limits<double>::quiet_NaN();
}

TEST(HostModel, ARoutineReturningNaNIsFlooredWithCodeOne)
{
    FluidState f;
    Store s;
    ASSERT_TRUE(loadfluid(s, nullptr, hostnan, hostnan, hostnan, 17.0, 1.3, 1e-5, 1.0, 2));
    f = fluidstate(s, bydensityenergy, 10.0, 3e5);
    EXPECT_EQ(s.fluiderrorcode, codefluidfloor);
    EXPECT_EQ(f.density, 10.0);
    EXPECT_EQ(f.pressure, 100.0);
    EXPECT_EQ(f.temperature, 1.0);
    EXPECT_TRUE(std::isfinite(f.soundspeed));
    // Nothing that is not a number leaves an evaluation.
    EXPECT_DOUBLE_EQ(f.energy, 3e5); // the given energy
    EXPECT_DOUBLE_EQ(f.enthalpy, 3e5 + 100.0 / 10.0);
    EXPECT_EQ(f.viscosity, 1e-5);
    f = fluidstate(s, bypressuretemperature, 2e5, 300.0);
    EXPECT_DOUBLE_EQ(f.energy, s.cv * 300.0);
}

// ---- Choke pressure ---------------------------------------------------------------

TEST(ChokePressure, AirThroughATenCentimetreDuct)
{
    Store s;
    Recorder r;
    ASSERT_TRUE(loadfluid(s, &r, hostpt, hostrhoe, hostph, 28.97, 1.4, 1.8e-5, 1.0, 2));
    double p = -1.0;
    ASSERT_TRUE(approxchokepressure(s, 300.0, 0.1, 1.0, p));
    EXPECT_EQ(r.calls, 8); // one host evaluation per pass
    EXPECT_NEAR(p, 3.171e4, 0.001e4);
    // The exact Mach-1 pressure with the same area factor lies within the
    // final one-percent band.
    const double exact = 1.0 / (0.7855 * 0.01) * std::sqrt(r.R * 300.0 / 1.4);
    EXPECT_NEAR(exact, 3.157e4, 0.001e4);
    EXPECT_NEAR(p / exact, 1.0, 0.01);
}

TEST(ChokePressure, FirstPassAlreadyCloseReturnsTheUpdatedTrial)
{
    Store s;
    loadair(s);
    // Mass flow that gives M = 0.995 at 100000 Pa and 300 K.
    const double R = s.cp - s.cv;
    const double rho = 1.0e5 / (R * 300.0);
    const double c = std::sqrt(1.4 * 1.0e5 / rho);
    const double m = 0.995 * c * rho * 0.7855 * 0.01;
    double p = 0.0;
    ASSERT_TRUE(approxchokepressure(s, 300.0, 0.1, m, p));
    EXPECT_NEAR(p, 1.0e5 * std::sqrt(0.995), 1e-6);
    EXPECT_NE(p, 1.0e5);
}

TEST(ChokePressure, RefusesWhatCannotConverge)
{
    Store s;
    double p = 7.0;
    EXPECT_FALSE(approxchokepressure(s, 300.0, 0.1, 1.0, p)); // no gas yet
    EXPECT_EQ(p, 7.0);
    loadair(s);
    for (double m : {0.0, -1.0, nan, std::numeric_limits<double>::infinity()}) {
        s.fluiderrorcode = 0;
        EXPECT_FALSE(approxchokepressure(s, 300.0, 0.1, m, p));
        EXPECT_EQ(s.fluiderrorcode, coderefused);
        EXPECT_EQ(p, 7.0);
    }
    // A choke pressure far below the pressure floor: the pass limit ends the
    // search, the last trial is reported with code 3.
    s.fluiderrorcode = 0;
    EXPECT_FALSE(approxchokepressure(s, 300.0, 1.0, 1e-9, p));
    EXPECT_EQ(s.fluiderrorcode, coderefused);
    EXPECT_NE(p, 7.0);
}

} // namespace
} // namespace pelmora
