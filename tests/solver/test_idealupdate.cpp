// The ideal gas's inline cell update against the cell update written with
// fluidstate, cell by cell, on ordinary and broken states: every stored
// value, the fluid error code and the current fluid state must agree to the
// bit. (fluidstate is the one definition of the gas; the inline update only
// saves its per-cell calls.)
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "fluid/fluid.h"
#include "solver/solver.h"
#include "support/gasnetwork.h"

namespace pelmora {
namespace {

bool samebits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

void expectsame(const char* name, const Array1<double>& a, const Array1<double>& b)
{
    for (std::int64_t i = 1; i <= a.size(); ++i)
        EXPECT_TRUE(samebits(a(i), b(i))) << name << "(" << i << ") = " << a(i) << " vs " << b(i);
}

class IdealUpdate : public ::testing::Test {
protected:
    Store s;
    void SetUp() override
    {
        ASSERT_TRUE(testing::loadnaturalgas(s));
        testing::Line line;
        line.length = 700.0; // 70 cells: more than one pass of the update
        ASSERT_TRUE(testing::loadline(s, {line}));
        testing::startuniform(s, {50e5}, {288.0}, {30.0});
        // Every cell a little different.
        for (std::int32_t c = 1; c <= s.totalcells; ++c) {
            s.conserved(1, c) *= 1.0 + 1e-3 * c;
            s.conserved(2, c) *= 1.0 - 2e-3 * c;
            s.conserved(3, c) *= 1.0 + 5e-4 * std::sin(c);
        }
    }

    // Runs both updates on copies and compares everything they write.
    void expectbothagree(std::int32_t first, std::int32_t last)
    {
        Store reference = s;
        updatethroughfluidstate(reference, first, first, last);
        updatecells(s, first, last);
        EXPECT_EQ(s.conserved.raw().size(), reference.conserved.raw().size());
        for (std::size_t i = 0; i < s.conserved.raw().size(); ++i)
            EXPECT_TRUE(samebits(s.conserved.raw()[i], reference.conserved.raw()[i])) << i;
        expectsame("density", s.density, reference.density);
        expectsame("velocity", s.velocity, reference.velocity);
        expectsame("massflowrate", s.massflowrate, reference.massflowrate);
        expectsame("pressure", s.pressure, reference.pressure);
        expectsame("temperature", s.temperature, reference.temperature);
        expectsame("internalenergy", s.internalenergy, reference.internalenergy);
        expectsame("enthalpy", s.enthalpy, reference.enthalpy);
        expectsame("viscosity", s.viscosity, reference.viscosity);
        expectsame("soundspeed", s.soundspeed, reference.soundspeed);
        expectsame("machnumber", s.machnumber, reference.machnumber);
        expectsame("totalenergy", s.totalenergy, reference.totalenergy);
        expectsame("totalenthalpy", s.totalenthalpy, reference.totalenthalpy);
        expectsame("densitychange", s.densitychange, reference.densitychange);
        expectsame("temperaturechange", s.temperaturechange, reference.temperaturechange);
        expectsame("massflowdeviation", s.massflowdeviation, reference.massflowdeviation);
        EXPECT_EQ(s.fluiderrorcode, reference.fluiderrorcode);
        EXPECT_TRUE(samebits(s.curdensity, reference.curdensity));
        EXPECT_TRUE(samebits(s.curenergy, reference.curenergy));
        EXPECT_TRUE(samebits(s.curenthalpy, reference.curenthalpy));
        EXPECT_TRUE(samebits(s.curpressure, reference.curpressure));
        EXPECT_TRUE(samebits(s.curtemperature, reference.curtemperature));
        EXPECT_TRUE(samebits(s.curviscosity, reference.curviscosity));
        EXPECT_TRUE(samebits(s.cursoundspeed, reference.cursoundspeed));
        EXPECT_EQ(s.currentcell, reference.currentcell);
        EXPECT_EQ(s.currentface, reference.currentface);
    }
};

TEST_F(IdealUpdate, OrdinaryCellsAgreeToTheBit)
{
    s.fluiderrorcode = -5; // a valid evaluation clears a negative code
    expectbothagree(1, s.totalcells);
    EXPECT_EQ(s.fluiderrorcode, 0);
    // A range that starts inside the chain, twice over the same state.
    expectbothagree(5, 40);
    expectbothagree(5, 40);
}

TEST_F(IdealUpdate, FlooredAndBrokenCellsAgreeToTheBit)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    s.conserved(1, 3) = 0.0;                   // density floor of the cell update
    s.conserved(1, 6) = 0.005 * s.cellarea(6); // below the fluid's density floor
    s.conserved(3, 9) = 0.0;                   // no energy: pressure and temperature floored
    s.conserved(3, 12) = -1e5;                 // negative energy
    s.conserved(3, 15) = nan;                  // energy not a number: replaced
    s.conserved(3, 18) = inf;                  // infinite energy
    s.conserved(3, 21) = -inf;
    s.conserved(2, 24) = nan;   // momentum not a number
    s.conserved(1, 27) = nan;   // mass not a number: floored
    s.conserved(2, 30) = 0.0;   // at rest
    s.conserved(1, 33) = 1e300; // enormous
    s.fluiderrorcode = 3;       // a floor sets code 1
    expectbothagree(1, s.totalcells);
    EXPECT_EQ(s.fluiderrorcode, 1);

    // The last cell broken: the current fluid state is the replaced one.
    s.conserved(3, s.totalcells) = nan;
    expectbothagree(1, s.totalcells);
}

} // namespace
} // namespace pelmora
