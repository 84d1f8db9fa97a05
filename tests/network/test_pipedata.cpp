// Loading and releasing the pipe network: cell division, numbering, geometry
// of cells and faces, reloads, release, and refused loads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/errors.h"
#include "network/testnetwork.h"

namespace pelmora {
namespace {

using testing::loadpipes;
using testing::Pipe;
using testing::pipeofcells;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

Pipe pipe(double length, double din, double dout, double celllength)
{
    Pipe p;
    p.length = length;
    p.inletdiameter = din;
    p.outletdiameter = dout;
    p.celllength = celllength;
    return p;
}

// ---------------------------------------------------------------------------
// Cell division
// ---------------------------------------------------------------------------

TEST(CellCount, RoundsLengthOverTargetHalfAwayFromZeroWithAtLeastThreeCells)
{
    struct Case {
        double length, celllength;
        std::int32_t cells;
    };
    const Case cases[] = {
        {100.0, 10.0, 10}, // exact
        {7.0, 2.0, 4},     // 3.5 rounds up
        {6.98, 2.0, 3},    // 3.49 rounds down
        {9.0, 2.0, 5},     // 4.5 rounds up, not to even
        {1.0, 10.0, 3},    // 0.1 would give no cell at all
        {5.0, 2.0, 3},     // 2.5 -> 3
        {4.0, 2.0, 3},     // 2 is raised to the minimum
        {1000.0, 3.0, 333},
    };
    for (const Case& c : cases) {
        Store s;
        ASSERT_TRUE(loadpipes(s, {pipe(c.length, 0.5, 0.5, c.celllength)}));
        EXPECT_EQ(s.totalcells, c.cells) << "L=" << c.length << " s=" << c.celllength;
        EXPECT_EQ(s.totalfaces, c.cells + 1);
        EXPECT_DOUBLE_EQ(s.celllength(1), c.length / c.cells);
    }
}

TEST(CellCount, ATaperAddsCellsSoTheDiameterChangesLittlePerCell)
{
    // r2 = |0.1 - 0.3| * 2 / (0.1 * 10) = 0.4 per m, far above 1/s = 0.01.
    Store s;
    ASSERT_TRUE(loadpipes(s, {pipe(10.0, 0.1, 0.3, 100.0)}));
    ASSERT_EQ(s.totalcells, 4);

    const double faces[] = {0.1, 0.15, 0.2, 0.25, 0.3};
    for (int f = 1; f <= 5; ++f)
        EXPECT_DOUBLE_EQ(s.facediameter(f), faces[f - 1]) << "face " << f;
    EXPECT_DOUBLE_EQ(s.celldiameter(1), 0.125);
    EXPECT_DOUBLE_EQ(s.areagradient(1), 0.32); // 0.05 * 2 / (0.125 * 2.5)
    EXPECT_DOUBLE_EQ(s.celldiameter(4), 0.275);

    // The same taper the other way round gets as many cells and a negative
    // area gradient.
    Store narrowing;
    ASSERT_TRUE(loadpipes(narrowing, {pipe(10.0, 0.3, 0.1, 100.0)}));
    ASSERT_EQ(narrowing.totalcells, 4);
    EXPECT_DOUBLE_EQ(narrowing.areagradient(4), -0.32);
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

TEST(Geometry, UniformPipe)
{
    Store s;
    Pipe p = pipe(100.0, 0.5, 0.5, 10.0);
    p.inclination = -0.25;
    p.roughness = 4.5e-5;
    ASSERT_TRUE(loadpipes(s, {p}));

    EXPECT_EQ(s.numberofpipes, 1);
    EXPECT_EQ(s.numberofvariables, 3);
    EXPECT_EQ(s.firstcell(1), 1);
    EXPECT_EQ(s.lastcell(1), 10);
    EXPECT_EQ(s.totalfaces, 11);
    EXPECT_DOUBLE_EQ(s.celllength(1), 10.0);
    EXPECT_DOUBLE_EQ(s.inversecelllength(1), 0.1);
    EXPECT_DOUBLE_EQ(s.cellcentre(1), 5.0);
    EXPECT_DOUBLE_EQ(s.cellcentre(10), 95.0);
    EXPECT_DOUBLE_EQ(s.faceposition(1), 0.0);
    EXPECT_DOUBLE_EQ(s.faceposition(11), 100.0);
    for (int c = 1; c <= 10; ++c) {
        EXPECT_EQ(s.areagradient(c), 0.0);
        EXPECT_EQ(s.cellinclination(c), -0.25);
        EXPECT_DOUBLE_EQ(s.relativeroughness(c), 9.0e-5);
    }
    for (int f = 1; f <= 11; ++f) {
        EXPECT_EQ(s.faceinclination(f), -0.25);
        EXPECT_DOUBLE_EQ(s.facelength(f), 10.0);
    }

    // The area factor is 0.785398175, not pi/4 to full precision: the two
    // differ in the eighth digit, which a careful comparison sees.
    const double area = 0.19634954375; // 0.25 * 0.785398175
    EXPECT_NEAR(s.cellarea(1), area, 1e-15);
    EXPECT_NEAR(s.facearea(11), area, 1e-15);
}

TEST(Geometry, TheSharedFaceTakesTheDownstreamPipesValues)
{
    // Pipe 1: 3 cells of 1 m, tapering 0.2 -> 0.3, uphill.
    // Pipe 2: 3 cells of 2 m, diameter 0.5, downhill.
    Pipe first = pipe(3.0, 0.2, 0.3, 1.0);
    first.inclination = 0.1;
    Pipe second = pipe(6.0, 0.5, 0.5, 2.0);
    second.inclination = -0.2;
    Store s;
    ASSERT_TRUE(loadpipes(s, {first, second}));

    ASSERT_EQ(s.totalcells, 6);
    EXPECT_EQ(s.firstcell(2), 4);
    EXPECT_EQ(s.lastcell(2), 6);

    // Face 4 ends pipe 1 and starts pipe 2; it holds pipe 2's values.
    EXPECT_DOUBLE_EQ(s.facediameter(4), 0.5);
    EXPECT_NEAR(s.facearea(4), 0.25 * 0.785398175, 1e-15);
    EXPECT_EQ(s.faceinclination(4), -0.2);
    EXPECT_DOUBLE_EQ(s.facelength(4), 2.0);
    EXPECT_DOUBLE_EQ(s.inversefacelength(4), 0.5);
    EXPECT_EQ(s.faceposition(4), 0.0);
    EXPECT_DOUBLE_EQ(s.faceposition(7), 6.0);
    EXPECT_DOUBLE_EQ(s.cellcentre(4), 1.0);
    EXPECT_DOUBLE_EQ(s.cellcentre(6), 5.0);

    // Pipe 1's last cell was computed before pipe 2 overwrote the face, so
    // it still ends at pipe 1's outlet diameter.
    // Faces of pipe 1: 0.2, 0.7/3, 0.8/3, 0.3.
    EXPECT_NEAR(s.celldiameter(3), 0.85 / 3.0, 1e-15);
    EXPECT_NEAR(s.areagradient(3), 0.2 / 0.85, 1e-14);
    EXPECT_DOUBLE_EQ(s.celldiameter(4), 0.5);
    EXPECT_EQ(s.areagradient(4), 0.0);
    EXPECT_EQ(s.cellinclination(3), 0.1);
    EXPECT_EQ(s.cellinclination(4), -0.2);
}

TEST(Geometry, LoadSetsFlagsWeightsLimitAndResetsThePipeCode)
{
    Store s;
    s.pipeerrorcode = codereynoldscapped;
    s.fluiderrorcode = codefluidfloor;
    s.maximumtimestep = 0.5;
    s.bcloaded(1) = logicaltrue;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(3), pipeofcells(4)}));

    EXPECT_EQ(s.pipeerrorcode, 0);
    EXPECT_EQ(s.maximumtimestep, std::numeric_limits<double>::max());
    // What survives a load.
    EXPECT_EQ(s.fluiderrorcode, codefluidfloor);
    EXPECT_EQ(s.bcloaded(1), logicaltrue);

    for (std::int32_t p = 1; p <= 2; ++p) {
        for (const Array1<std::int32_t>* flag :
             {&s.inletpressurefixed, &s.outletpressurefixed, &s.inlettemperaturefixed,
              &s.outlettemperaturefixed, &s.inletmassflowfixed, &s.outletmassflowfixed})
            EXPECT_EQ((*flag)(p), -1);
        EXPECT_EQ(s.pipepassflag(p), 0);
    }
    for (std::int32_t k = 1; k <= 3; ++k) {
        EXPECT_EQ(s.inletbcweight(k), 1.0);
        EXPECT_EQ(s.outletbcweight(k), 1.0);
    }
    EXPECT_EQ(s.conserved.nrows(), 3);
    EXPECT_EQ(s.conserved.ncols(), 7);
    EXPECT_EQ(s.inletghost.size(), 3);
    EXPECT_EQ(s.marchfaces.pressure.size(), 8); // working storage sized for the faces
}

TEST(Geometry, FewerThanOnePipeGivesTheEmptyNetwork)
{
    for (std::int32_t npipes : {0, -2}) {
        Store s;
        const double one = 1.0;
        ASSERT_TRUE(loadpipedata(s, npipes, &one, &one, &one, &one, &one, &one));
        EXPECT_TRUE(s.networkloaded);
        EXPECT_EQ(s.numberofpipes, npipes);
        EXPECT_EQ(s.totalcells, 0);
        EXPECT_EQ(s.totalfaces, 1);
        EXPECT_EQ(s.firstcell.size(), 0);
        EXPECT_EQ(s.inletpressure.size(), 0);
        ASSERT_EQ(s.faceposition.size(), 1);
        EXPECT_EQ(s.faceposition(1), 0.0);
        EXPECT_FALSE(haspipe(s, 1));
    }
}

// ---------------------------------------------------------------------------
// Reload and release
// ---------------------------------------------------------------------------

TEST(Lifecycle, AReloadSizesEverythingForTheNewNetworkOnly)
{
    Store s;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(5), pipeofcells(6), pipeofcells(7)}));
    s.maximumtimestep = 0.5;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(4, 0.3)}));

    EXPECT_EQ(s.numberofpipes, 1);
    EXPECT_EQ(s.totalcells, 4);
    EXPECT_EQ(s.firstcell.size(), 1);
    EXPECT_EQ(s.outletmassflowfixed.size(), 1);
    EXPECT_EQ(s.pressure.size(), 4);
    EXPECT_EQ(s.celllength.size(), 4);
    EXPECT_EQ(s.facediameter.size(), 5);
    EXPECT_EQ(s.faceposition.size(), 5);
    EXPECT_EQ(s.conserved.ncols(), 4);
    EXPECT_DOUBLE_EQ(s.celldiameter(4), 0.3);
    EXPECT_EQ(s.maximumtimestep, std::numeric_limits<double>::max());
}

TEST(Lifecycle, FreeReleasesTheNetworkGroupAndKeepsCountsAndGeometryGroup)
{
    Store s;
    freepipememory(s); // before any load: nothing to do
    EXPECT_FALSE(s.networkloaded);
    EXPECT_EQ(s.totalcells, 0);

    ASSERT_TRUE(loadpipes(s, {pipeofcells(5), pipeofcells(7)}));
    s.pipeerrorcode = codereynoldscapped;
    freepipememory(s);
    freepipememory(s); // twice: the second does nothing

    EXPECT_FALSE(s.networkloaded);
    for (const Array1<double>* a : {&s.celldiameter, &s.pressure, &s.facediameter, &s.inletpressure,
                                    &s.massflowdeviation, &s.outletghost})
        EXPECT_TRUE(a->empty());
    EXPECT_TRUE(s.firstcell.empty());
    EXPECT_TRUE(s.conserved.empty());
    EXPECT_FALSE(haspipe(s, 1));

    // Counts, codes and the geometry-and-coefficient group stay.
    EXPECT_EQ(s.numberofpipes, 2);
    EXPECT_EQ(s.totalcells, 12);
    EXPECT_EQ(s.totalfaces, 13);
    EXPECT_EQ(s.pipeerrorcode, codereynoldscapped);
    ASSERT_EQ(s.cellcentre.size(), 12);
    EXPECT_DOUBLE_EQ(s.cellcentre(6), 0.5);
    EXPECT_DOUBLE_EQ(s.faceposition(13), 7.0);
    EXPECT_EQ(s.outletbcweight(3), 1.0);

    // A new load makes the engine usable again.
    ASSERT_TRUE(loadpipes(s, {pipeofcells(3)}));
    EXPECT_TRUE(haspipe(s, 1));
}

// ---------------------------------------------------------------------------
// Refused loads
// ---------------------------------------------------------------------------

// Every array and count of both groups, byte for byte.
std::vector<std::string> snapshot(const Store& s)
{
    std::vector<std::string> out;
    auto bytes = [&](const auto& v) {
        out.emplace_back(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(v[0]));
    };
    for (const Array1<std::int32_t>* a :
         {&s.firstcell, &s.lastcell, &s.pipepassflag, &s.inletpressurefixed, &s.outletpressurefixed,
          &s.inlettemperaturefixed, &s.outlettemperaturefixed, &s.inletmassflowfixed,
          &s.outletmassflowfixed})
        bytes(a->raw());
    for (const Array1<double>* a : {&s.inletpressure,
                                    &s.outletpressure,
                                    &s.inlettemperature,
                                    &s.outlettemperature,
                                    &s.inletmassflow,
                                    &s.outletmassflow,
                                    &s.lastinletpressure,
                                    &s.lastoutletpressure,
                                    &s.lastinlettemperature,
                                    &s.lastoutlettemperature,
                                    &s.lastinletmassflow,
                                    &s.lastoutletmassflow,
                                    &s.midinletpressure,
                                    &s.midoutletpressure,
                                    &s.midinlettemperature,
                                    &s.midoutlettemperature,
                                    &s.midinletmassflow,
                                    &s.midoutletmassflow,
                                    &s.inletghost,
                                    &s.outletghost,
                                    &s.celldiameter,
                                    &s.cellarea,
                                    &s.areagradient,
                                    &s.cellinclination,
                                    &s.relativeroughness,
                                    &s.ambienttemperature,
                                    &s.heattransfercoefficient,
                                    &s.density,
                                    &s.pressure,
                                    &s.temperature,
                                    &s.viscosity,
                                    &s.soundspeed,
                                    &s.internalenergy,
                                    &s.totalenergy,
                                    &s.enthalpy,
                                    &s.totalenthalpy,
                                    &s.velocity,
                                    &s.massflowrate,
                                    &s.machnumber,
                                    &s.massflowdeviation,
                                    &s.temperaturechange,
                                    &s.densitychange,
                                    &s.facediameter,
                                    &s.facearea,
                                    &s.faceinclination,
                                    &s.celllength,
                                    &s.inversecelllength,
                                    &s.cellcentre,
                                    &s.facelength,
                                    &s.inversefacelength,
                                    &s.faceposition,
                                    &s.inletbcgradient,
                                    &s.inletbcvalue,
                                    &s.inletbcweight,
                                    &s.outletbcgradient,
                                    &s.outletbcvalue,
                                    &s.outletbcweight})
        bytes(a->raw());
    bytes(s.conserved.raw());
    bytes(s.previousconserved.raw());
    bytes(s.marchfaces.pressure.raw());
    const std::int32_t counts[] = {s.numberofpipes, s.numberofvariables, s.totalcells, s.totalfaces,
                                   s.networkloaded ? 1 : 0};
    out.emplace_back(reinterpret_cast<const char*>(counts), sizeof counts);
    out.emplace_back(reinterpret_cast<const char*>(&s.maximumtimestep), sizeof(double));
    return out;
}

TEST(Refusal, InvalidPipeDataLeavesThePreviousNetworkBitForBit)
{
    std::vector<Pipe> bad;
    auto withone = [&](auto change) {
        Pipe p = pipeofcells(4);
        change(p);
        bad.push_back(p);
    };
    for (double v : {0.0, -1.0, nan, inf}) {
        withone([&](Pipe& p) { p.length = v; });
        withone([&](Pipe& p) { p.inletdiameter = v; });
        withone([&](Pipe& p) { p.outletdiameter = v; });
        withone([&](Pipe& p) { p.celllength = v; });
    }
    for (double v : {-1e-6, nan, inf})
        withone([&](Pipe& p) { p.roughness = v; });
    for (double v : {nan, inf, -inf})
        withone([&](Pipe& p) { p.inclination = v; });
    // A cell count beyond 32-bit numbering, and a target cell length so
    // small that 1/s overflows.
    withone([&](Pipe& p) {
        p.length = 1e7;
        p.celllength = 1e-3;
    });
    withone([&](Pipe& p) { p.celllength = 1e-310; });

    Store s;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(5), pipeofcells(7)}));
    s.pressure(3) = 42.0;
    s.maximumtimestep = 0.25;
    const auto before = snapshot(s);

    for (std::size_t i = 0; i < bad.size(); ++i) {
        s.pipeerrorcode = 0;
        // The bad pipe second, so the first one has been looked at already.
        EXPECT_FALSE(loadpipes(s, {pipeofcells(3), bad[i]})) << "case " << i;
        EXPECT_EQ(s.pipeerrorcode, coderefused) << "case " << i;
        EXPECT_TRUE(snapshot(s) == before) << "case " << i;
    }
}

TEST(Refusal, CountsBeyondTheNumberingAndNullArraysAreRefused)
{
    Store s;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(5)}));
    const auto before = snapshot(s);

    // Two pipes that fit 32 bits each but not together.
    Pipe big = pipe(1.2e9, 0.5, 0.5, 1.0);
    EXPECT_FALSE(loadpipes(s, {big, big}));
    EXPECT_EQ(s.pipeerrorcode, coderefused);

    // A pipe count that cannot fit (3 cells each) is refused before any
    // array element is read: these arrays have one element only.
    const double one = 1.0;
    s.pipeerrorcode = 0;
    EXPECT_FALSE(loadpipedata(s, 1000000000, &one, &one, &one, &one, &one, &one));
    EXPECT_EQ(s.pipeerrorcode, coderefused);

    const double* arrays[6] = {&one, &one, &one, &one, &one, &one};
    for (int k = 0; k < 6; ++k) {
        const double* a[6] = {arrays[0], arrays[1], arrays[2], arrays[3], arrays[4], arrays[5]};
        a[k] = nullptr;
        s.pipeerrorcode = 0;
        EXPECT_FALSE(loadpipedata(s, 1, a[0], a[1], a[2], a[3], a[4], a[5])) << k;
        EXPECT_EQ(s.pipeerrorcode, coderefused);
    }
    EXPECT_TRUE(snapshot(s) == before);
}

TEST(Refusal, ARefusedFirstLoadLeavesTheStoreUnloaded)
{
    Store s;
    EXPECT_FALSE(loadpipes(s, {pipe(-1.0, 0.5, 0.5, 1.0)}));
    EXPECT_FALSE(s.networkloaded);
    EXPECT_EQ(s.totalcells, 0);
    EXPECT_EQ(s.numberofpipes, 0);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
}

TEST(Refusal, ZeroRoughnessAndNegativeInclinationAreOrdinaryPipes)
{
    Pipe p = pipeofcells(3);
    p.roughness = 0.0;
    p.inclination = -1.5;
    Store s;
    EXPECT_TRUE(loadpipes(s, {p}));
    EXPECT_EQ(s.pipeerrorcode, 0);
    EXPECT_EQ(s.relativeroughness(2), 0.0);
}

} // namespace
} // namespace pelmora
