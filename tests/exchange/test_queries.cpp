// Result queries: counts, profiles along one pipe, network-end state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/errors.h"
#include "exchange/queries.h"
#include "network/testnetwork.h"
#include "pelmora.h"

namespace pelmora {
namespace {

using testing::loadpipes;
using testing::pipeofcells;

constexpr double untouched = -12345.0;

struct Shape {
    std::int32_t nvars = -1, ncells = -1, nfaces = -1, npipes = -1;
};

Shape shapeof(Store& s)
{
    Shape out;
    getshape(s, &out.nvars, &out.ncells, &out.nfaces, &out.npipes);
    return out;
}

// ---------------------------------------------------------------------------
// Counts
// ---------------------------------------------------------------------------

TEST(Counts, ZeroBeforeAnyLoadAndKeptAfterTheNetworkIsReleased)
{
    Store s;
    Shape before = shapeof(s);
    EXPECT_EQ(before.nvars, 0);
    EXPECT_EQ(before.ncells, 0);
    EXPECT_EQ(before.nfaces, 0);
    EXPECT_EQ(before.npipes, 0);

    ASSERT_TRUE(loadpipes(s, {pipeofcells(5), pipeofcells(7)}));
    Shape loaded = shapeof(s);
    EXPECT_EQ(loaded.nvars, 3);
    EXPECT_EQ(loaded.ncells, 12);
    EXPECT_EQ(loaded.nfaces, 13);
    EXPECT_EQ(loaded.npipes, 2);
    std::int32_t n = 0;
    getnumberofcells(s, 2, &n);
    EXPECT_EQ(n, 7);
    gettotalnumberofcells(s, &n);
    EXPECT_EQ(n, 12);

    freepipememory(s);
    Shape released = shapeof(s);
    EXPECT_EQ(released.ncells, 12);
    EXPECT_EQ(released.nfaces, 13);
    EXPECT_EQ(released.npipes, 2);
    EXPECT_EQ(s.pipeerrorcode, 0);

    // A pipe's cell count needs the network itself.
    n = -1;
    getnumberofcells(s, 1, &n);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
}

// ---------------------------------------------------------------------------
// Profiles
// ---------------------------------------------------------------------------

TEST(Profiles, APipesProfileIsExactlyItsOwnCells)
{
    Store s;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(5), pipeofcells(7)}));
    for (int c = 1; c <= 12; ++c)
        s.pressure(c) = 1000.0 * c;

    std::vector<double> values(9, untouched);
    getprofile(s, s.pressure, 2, values.data());
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(values[i], 1000.0 * (6 + i));
    EXPECT_EQ(values[7], untouched);
    EXPECT_EQ(values[8], untouched);

    values.assign(9, untouched);
    getprofile(s, s.pressure, 1, values.data());
    EXPECT_EQ(values[0], 1000.0);
    EXPECT_EQ(values[4], 5000.0);
    EXPECT_EQ(values[5], untouched);
}

TEST(Profiles, RefusedForAPipeOutOfRangeNoNetworkOrANullArray)
{
    Store s;
    std::vector<double> values(8, untouched);
    getprofile(s, s.pressure, 1, values.data());
    EXPECT_EQ(s.pipeerrorcode, coderefused);

    ASSERT_TRUE(loadpipes(s, {pipeofcells(3), pipeofcells(4)}));
    for (std::int32_t pipe : {0, 3, -1}) {
        s.pipeerrorcode = 0;
        getprofile(s, s.pressure, pipe, values.data());
        EXPECT_EQ(s.pipeerrorcode, coderefused) << pipe;
        std::int32_t n = -1;
        getnumberofcells(s, pipe, &n);
        EXPECT_EQ(n, -1);
    }
    s.pipeerrorcode = 0;
    getprofile(s, s.pressure, 1, nullptr);
    EXPECT_EQ(s.pipeerrorcode, coderefused);

    // A cell range that a host restored beyond the arrays is not read.
    s.pipeerrorcode = 0;
    s.lastcell(2) = 8;
    getprofile(s, s.pressure, 2, values.data());
    EXPECT_EQ(s.pipeerrorcode, coderefused);

    // A smaller cell count stored through the parameter exchange: the cell
    // count and the profile agree on what can be reported, so a host that
    // sizes its buffer from getnumberofcells is never overrun.
    s.lastcell(2) = 7;
    s.totalcells = 3;
    s.pipeerrorcode = 0;
    std::int32_t n = -1;
    getnumberofcells(s, 2, &n);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    s.pipeerrorcode = 0;
    getprofile(s, s.celldiameter, 2, values.data());
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    getnumberofcells(s, 1, &n);
    EXPECT_EQ(n, 3);
    s.totalcells = 7;

    freepipememory(s);
    s.pipeerrorcode = 0;
    getprofile(s, s.celldiameter, 1, values.data());
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    for (double v : values)
        EXPECT_EQ(v, untouched);
}

// ---------------------------------------------------------------------------
// The exported queries, each reading its own quantity
// ---------------------------------------------------------------------------

class Exported : public ::testing::Test {
protected:
    void SetUp() override
    {
        s.pipeerrorcode = 0;
        s.fluiderrorcode = 0;
        ASSERT_TRUE(loadpipes(s, {pipeofcells(3), pipeofcells(4)}));
    }
    Store& s = engine();
};

TEST_F(Exported, EveryProfileCopiesItsOwnArray)
{
    struct Query {
        const char* name;
        void (*query)(int32_t, double*);
        Array1<double>& quantity;
    };
    const Query queries[] = {
        {"getdiameter", getdiameter, s.celldiameter},
        {"getdensity", getdensity, s.density},
        {"getenthalpy", getenthalpy, s.enthalpy},
        {"getinternalenergy", getinternalenergy, s.internalenergy},
        {"getmachnumber", getmachnumber, s.machnumber},
        {"getmassflowrate", getmassflowrate, s.massflowrate},
        {"getpressure", getpressure, s.pressure},
        {"getsoundspeed", getsoundspeed, s.soundspeed},
        {"gettemperature", gettemperature, s.temperature},
        {"getvelocity", getvelocity, s.velocity},
    };
    // Distinct values in every array, so a query reading the wrong one shows.
    double tag = 1.0;
    for (const Query& q : queries) {
        for (int c = 1; c <= 7; ++c)
            q.quantity(c) = tag * 100.0 + c;
        tag += 1.0;
    }
    tag = 1.0;
    for (const Query& q : queries) {
        double values[5] = {untouched, untouched, untouched, untouched, untouched};
        q.query(2, values);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(values[i], tag * 100.0 + 4 + i) << q.name;
        EXPECT_EQ(values[4], untouched) << q.name;
        tag += 1.0;
    }

    std::int32_t n = 0;
    ::getnumberofcells(2, &n);
    EXPECT_EQ(n, 4);
    ::gettotalnumberofcells(&n);
    EXPECT_EQ(n, 7);
    std::int32_t code = -1;
    ::geterrorcode(&code);
    EXPECT_EQ(code, 0);
}

TEST_F(Exported, EveryNetworkEndQueryCopiesItsOwnPairAndIgnoresOtherEnds)
{
    struct Query {
        const char* name;
        void (*query)(int32_t, double*);
        EndPair<double>& quantity;
    };
    const Query queries[] = {
        {"getbcdensity", getbcdensity, s.bcdensity},
        {"getbcenthalpy", getbcenthalpy, s.bcenthalpy},
        {"getbcinternalenergy", getbcinternalenergy, s.bcinternalenergy},
        {"getbcmachnumber", getbcmachnumber, s.bcmachnumber},
        {"getbcmassflowrate", getbcmassflowrate, s.bcmassflowrate},
        {"getbcpressure", getbcpressure, s.bcpressure},
        {"getbcsoundspeed", getbcsoundspeed, s.bcsoundspeed},
        {"getbctemperature", getbctemperature, s.bctemperature},
        {"getbcvelocity", getbcvelocity, s.bcvelocity},
    };
    double tag = 1.0;
    for (const Query& q : queries) {
        q.quantity(1) = tag + 0.25;
        q.quantity(2) = tag + 0.5;
        tag += 1.0;
    }
    tag = 1.0;
    for (const Query& q : queries) {
        double inlet = untouched, outlet = untouched, other = untouched;
        q.query(1, &inlet);
        q.query(2, &outlet);
        q.query(0, &other);
        q.query(3, &other);
        EXPECT_EQ(inlet, tag + 0.25) << q.name;
        EXPECT_EQ(outlet, tag + 0.5) << q.name;
        EXPECT_EQ(other, untouched) << q.name;
        tag += 1.0;
    }
    EXPECT_EQ(s.pipeerrorcode, 0);
}

TEST_F(Exported, CountsWithANullAddressAreRefused)
{
    std::int32_t n = -1;
    ::getshape(&n, &n, nullptr, &n);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    s.pipeerrorcode = 0;
    ::gettotalnumberofcells(nullptr);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    s.pipeerrorcode = 0;
    ::getnumberofcells(1, nullptr);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
}

} // namespace
} // namespace pelmora
