// A host's view: the engine reached only through pelmora.h and the shared
// library. The library keeps one engine per process, so every test starts
// by loading its own network and clearing the error code.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pelmora.h"

namespace {

constexpr double untouched = -12345.0;

int32_t errorcode()
{
    int32_t code = -1;
    geterrorcode(&code);
    return code;
}

// Pipe 1: 10 m tapering from 0.2 to 0.3 m, 2 m cells -> 5 cells.
// Pipe 2: 6 m at 0.4 m, 2 m cells -> 3 cells.
void loadtwopipes()
{
    const int32_t npipes = 2;
    const double length[] = {10.0, 6.0};
    const double inletdiameter[] = {0.2, 0.4};
    const double outletdiameter[] = {0.3, 0.4};
    const double inclination[] = {0.0, 0.05};
    const double roughness[] = {4.5e-5, 4.5e-5};
    const double celllength[] = {2.0, 2.0};
    loadpipedata(&npipes, length, inletdiameter, outletdiameter, inclination, roughness,
                 celllength);
}

struct Shape {
    int32_t nvars = -1, ncells = -1, nfaces = -1, npipes = -1;
};

Shape shape()
{
    Shape s;
    getshape(&s.nvars, &s.ncells, &s.nfaces, &s.npipes);
    return s;
}

std::vector<double> diameters(int32_t pipe, std::size_t room)
{
    std::vector<double> values(room, untouched);
    getdiameter(pipe, values.data());
    return values;
}

TEST(Host, LoadsATwoPipeNetworkAndReadsItsShapeAndDiameters)
{
    loadtwopipes();
    EXPECT_EQ(errorcode(), 0);

    const Shape s = shape();
    EXPECT_EQ(s.nvars, 3);
    EXPECT_EQ(s.ncells, 8);
    EXPECT_EQ(s.nfaces, 9);
    EXPECT_EQ(s.npipes, 2);

    int32_t n = 0;
    gettotalnumberofcells(&n);
    EXPECT_EQ(n, 8);
    getnumberofcells(1, &n);
    EXPECT_EQ(n, 5);
    getnumberofcells(2, &n);
    EXPECT_EQ(n, 3);

    // Faces of pipe 1 at 0.2, 0.22, ..., 0.3; each cell takes the mean.
    const std::vector<double> first = diameters(1, 6);
    const double expected[] = {0.21, 0.23, 0.25, 0.27, 0.29};
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(first[i], expected[i], 1e-15) << "cell " << i + 1;
    EXPECT_EQ(first[5], untouched);

    const std::vector<double> second = diameters(2, 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(second[i], 0.4, 1e-15);
    EXPECT_EQ(second[3], untouched);
    EXPECT_EQ(errorcode(), 0);
}

TEST(Host, RefusedCallsChangeNothingAndReportCodeThree)
{
    loadtwopipes();
    EXPECT_EQ(errorcode(), 0);

    // A pipe of negative length: the two-pipe network stays.
    const int32_t one = 1;
    const double bad = -1.0, good = 1.0;
    loadpipedata(&one, &bad, &good, &good, &good, &good, &good);
    EXPECT_EQ(errorcode(), 3);
    EXPECT_EQ(shape().ncells, 8);
    EXPECT_NEAR(diameters(1, 5)[0], 0.21, 1e-15);

    // A pipe out of range writes nothing.
    const std::vector<double> none = diameters(3, 4);
    EXPECT_EQ(errorcode(), 3);
    for (double v : none)
        EXPECT_EQ(v, untouched);

    maxtimestep(nullptr);
    EXPECT_EQ(errorcode(), 3);
    const double zero = 0.0;
    maxtimestep(&zero);
    EXPECT_EQ(errorcode(), 3);
    loadpipedata(nullptr, &good, &good, &good, &good, &good, &good);
    EXPECT_EQ(errorcode(), 3);
    EXPECT_EQ(shape().npipes, 2);

    // An end other than 1 or 2 is ignored, without a code.
    loadbc(3, 1.0e5, 300.0, 1.0, 1, 1, 0);
    double value = untouched;
    getbcpressure(0, &value);
    EXPECT_EQ(value, untouched);
    EXPECT_EQ(errorcode(), 0);
}

TEST(Host, AReleasedNetworkKeepsItsCountsButNotItsProfiles)
{
    loadtwopipes();
    freepipememory();
    freepipememory();
    EXPECT_EQ(errorcode(), 0);

    const Shape s = shape();
    EXPECT_EQ(s.ncells, 8);
    EXPECT_EQ(s.nfaces, 9);
    EXPECT_EQ(s.npipes, 2);

    int32_t n = -1;
    getnumberofcells(1, &n);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(errorcode(), 3);
    EXPECT_EQ(diameters(1, 5)[0], untouched);
    EXPECT_EQ(errorcode(), 3);

    // Boundary and wall data need a network.
    loadbc(1, 1.0e5, 300.0, 1.0, 1, 1, 0);
    EXPECT_EQ(errorcode(), 3);
    const double wall[] = {280.0, 280.0};
    loadwalldata(wall, wall);
    EXPECT_EQ(errorcode(), 3);

    loadtwopipes();
    EXPECT_NEAR(diameters(2, 3)[2], 0.4, 1e-15);
    EXPECT_EQ(errorcode(), 0);
}

} // namespace
