// A host's view: the engine reached only through pelmora.h and the shared
// library. The library keeps one engine per process, so every test starts
// by loading its own network and clearing the error code.
#include <gtest/gtest.h>

#include <algorithm>
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

// The network-end state (what getbc* return, and the Mach number that gates
// an imposed pressure) outlives freepipememory, a new network and a new
// starting state. A host that wants a job to run exactly as in a fresh
// process zeroes it, as the header says, with a getphysparams and
// setphysparams round trip sized by getshape.
void clearnetworkends()
{
    int32_t nv = 0, nc = 0, nf = 0, np = 0;
    getshape(&nv, &nc, &nf, &np);
    const auto n = [](int32_t count, int per) { return static_cast<std::size_t>(count) * per; };
    int32_t pipes = 0, loaded[2] = {0, 0};
    double limit = 0, ends[20] = {}, moreends[28] = {};
    std::vector<int32_t> pipeflags(n(np, 9));
    std::vector<double> pipevalues(n(np, 18)), variables(n(nv, 2)), faces(n(nf, 3)),
        cells(n(nc, 22));
    int32_t* f = pipeflags.data();
    double *p = pipevalues.data(), *v = variables.data(), *x = faces.data(), *c = cells.data();
    double* e = ends;
    double* m = moreends;
    const std::size_t P = static_cast<std::size_t>(np), F = static_cast<std::size_t>(nf);
    const std::size_t C = static_cast<std::size_t>(nc), V = static_cast<std::size_t>(nv);
    // clang-format off
    getphysparams(&pipes, f, f + P, f + 2 * P, f + 3 * P, f + 4 * P, f + 5 * P, f + 6 * P,
        f + 7 * P, f + 8 * P, &limit, e, e + 1, e + 2, e + 3, e + 4, e + 5, e + 6, e + 7, e + 8,
        e + 9, e + 10, e + 11, e + 12, e + 13, e + 14, e + 15, e + 16, e + 17, e + 18, e + 19,
        p, p + P, p + 2 * P, p + 3 * P, p + 4 * P, p + 5 * P, p + 6 * P, p + 7 * P, p + 8 * P,
        p + 9 * P, p + 10 * P, p + 11 * P, p + 12 * P, p + 13 * P, p + 14 * P, p + 15 * P,
        p + 16 * P, p + 17 * P, v, v + V, x, x + F, x + 2 * F, c, c + C, c + 2 * C, c + 3 * C,
        c + 4 * C, c + 5 * C, c + 6 * C, c + 7 * C, c + 8 * C, c + 9 * C, c + 10 * C, c + 11 * C,
        c + 12 * C, c + 13 * C, c + 14 * C, c + 15 * C, c + 16 * C, c + 17 * C, c + 18 * C,
        c + 19 * C, c + 20 * C, c + 21 * C, m, m + 1, m + 2, m + 3, m + 4, m + 5, m + 6, m + 7,
        m + 8, m + 9, m + 10, m + 11, m + 12, m + 13, m + 14, m + 15, m + 16, m + 17, m + 18,
        m + 19, m + 20, m + 21, m + 22, m + 23, m + 24, m + 25, m + 26, m + 27, loaded,
        loaded + 1);
    // The network-end state, bcpressure1 .. bcmachnumber2, follows the ten
    // end values endtemperature1 .. endmachnumber2.
    std::fill(m + 10, m + 28, 0.0);
    setphysparams(&nv, &nf, &nc, &pipes, f, f + P, f + 2 * P, f + 3 * P, f + 4 * P, f + 5 * P,
        f + 6 * P, f + 7 * P, f + 8 * P, &limit, e, e + 1, e + 2, e + 3, e + 4, e + 5, e + 6,
        e + 7, e + 8, e + 9, e + 10, e + 11, e + 12, e + 13, e + 14, e + 15, e + 16, e + 17,
        e + 18, e + 19, p, p + P, p + 2 * P, p + 3 * P, p + 4 * P, p + 5 * P, p + 6 * P,
        p + 7 * P, p + 8 * P, p + 9 * P, p + 10 * P, p + 11 * P, p + 12 * P, p + 13 * P,
        p + 14 * P, p + 15 * P, p + 16 * P, p + 17 * P, v, v + V, x, x + F, x + 2 * F, c, c + C,
        c + 2 * C, c + 3 * C, c + 4 * C, c + 5 * C, c + 6 * C, c + 7 * C, c + 8 * C, c + 9 * C,
        c + 10 * C, c + 11 * C, c + 12 * C, c + 13 * C, c + 14 * C, c + 15 * C, c + 16 * C,
        c + 17 * C, c + 18 * C, c + 19 * C, c + 20 * C, c + 21 * C, m, m + 1, m + 2, m + 3,
        m + 4, m + 5, m + 6, m + 7, m + 8, m + 9, m + 10, m + 11, m + 12, m + 13, m + 14, m + 15,
        m + 16, m + 17, m + 18, m + 19, m + 20, m + 21, m + 22, m + 23, m + 24, m + 25, m + 26,
        m + 27, loaded, loaded + 1);
    // clang-format on
}

// A line of 5 km, 0.4 m at 40 bar with its outlet held at 39.5 bar; 20 s.
// Returns the outlet flow after each 2 s step.
std::vector<double> outletjob(bool clean)
{
    const int32_t npipes = 1;
    const double length = 5000, d = 0.4, incl = 0, rough = 2e-5, cell = 100;
    loadpipedata(&npipes, &length, &d, &d, &incl, &rough, &cell);
    const double ambient = 288.15, u = 0, p0 = 40e5, t0 = 288.15, m0 = 20;
    loadwalldata(&ambient, &u);
    loadinitialconditions(&p0, &t0, &m0);
    if (clean)
        clearnetworkends();
    std::vector<double> flows;
    double inflow = m0, outflow = m0;
    for (int step = 0; step < 10; ++step) {
        loadbc(1, p0, t0, inflow, 1, 1, 0);
        loadbc(2, 39.5e5, t0, outflow, 1, 1, 0);
        const double dt = 2;
        transientpipes(&dt);
        getbcmassflowrate(1, &inflow);
        getbcmassflowrate(2, &outflow);
        flows.push_back(outflow);
    }
    EXPECT_EQ(errorcode(), 0);
    return flows;
}

TEST(Host, AJobStartedCleanRunsAsInAFreshProcess)
{
    const double molweight = 18, gamma = 1.3, viscosity = 1.1e-5, z = 0.9;
    const int32_t model = 1;
    loadfluid(nullptr, nullptr, nullptr, nullptr, &molweight, &gamma, &viscosity, &z, &model);
    const std::vector<double> first = outletjob(true);
    // Other work: the outlet of a 2 km line at 60 bar opened to 1 atm.
    const int32_t npipes = 1;
    const double length = 2000, d = 0.3, incl = 0, rough = 4.5e-5, cell = 100;
    loadpipedata(&npipes, &length, &d, &d, &incl, &rough, &cell);
    const double ambient = 288.15, u = 0, p0 = 60e5, t0 = 288.15, m0 = 0, dt = 1;
    loadwalldata(&ambient, &u);
    loadinitialconditions(&p0, &t0, &m0);
    loadbc(1, p0, t0, m0, 1, 1, 0);
    for (double p : {48.2e5, 36.4e5, 24.6e5}) {
        loadbc(2, p, t0, m0, 1, 1, 0);
        transientpipes(&dt);
    }
    double mach = 0;
    getbcmachnumber(2, &mach);
    EXPECT_GT(mach, 0.3);
    freepipememory();
    EXPECT_EQ(errorcode(), 0);

    // The same job again: bit for bit when started clean; the stale end
    // state of the vent changes it otherwise.
    EXPECT_EQ(outletjob(true), first);
    EXPECT_NE(outletjob(false).front(), first.front());
    freepipememory();
}

} // namespace
