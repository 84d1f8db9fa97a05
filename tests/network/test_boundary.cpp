// Boundary values, wall data and the time-step limit.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "engine/errors.h"
#include "network/testnetwork.h"

namespace pelmora {
namespace {

using testing::loadpipes;
using testing::pipeofcells;

// Every per-pipe boundary array, flattened, to see what a call touched.
std::vector<double> boundarystore(const Store& s)
{
    std::vector<double> out;
    for (const Array1<double>* a :
         {&s.inletpressure, &s.outletpressure, &s.inlettemperature, &s.outlettemperature,
          &s.inletmassflow, &s.outletmassflow, &s.lastinletpressure, &s.lastoutletpressure,
          &s.lastinlettemperature, &s.lastoutlettemperature, &s.lastinletmassflow,
          &s.lastoutletmassflow})
        out.insert(out.end(), a->raw().begin(), a->raw().end());
    for (const Array1<std::int32_t>* a :
         {&s.inletpressurefixed, &s.outletpressurefixed, &s.inlettemperaturefixed,
          &s.outlettemperaturefixed, &s.inletmassflowfixed, &s.outletmassflowfixed})
        out.insert(out.end(), a->raw().begin(), a->raw().end());
    return out;
}

std::vector<double> networkends(const Store& s)
{
    std::vector<double> out;
    for (int end = 1; end <= 2; ++end)
        out.insert(out.end(), {double(s.bcloaded(end)), s.lastbcpressure(end),
                               s.lastbctemperature(end), s.lastbcmassflow(end)});
    return out;
}

class Boundary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(loadpipes(s, {pipeofcells(3), pipeofcells(4), pipeofcells(5)}));
    }
    Store s;
};

// ---------------------------------------------------------------------------
// loadbc
// ---------------------------------------------------------------------------

TEST_F(Boundary, TheFirstLoadbcTakesItsValuesAsPreviousValuesTooAndTheSecondRamps)
{
    loadbc(s, 1, 50e5, 300.0, 10.0, 1, 1, 0);
    EXPECT_EQ(s.inletpressure(1), 50e5);
    EXPECT_EQ(s.lastinletpressure(1), 50e5);
    EXPECT_EQ(s.lastinlettemperature(1), 300.0);
    EXPECT_EQ(s.lastinletmassflow(1), 10.0);
    EXPECT_EQ(s.lastbcpressure(1), 50e5);
    EXPECT_EQ(s.bcloaded(1), logicaltrue);
    EXPECT_EQ(s.bcloaded(2), logicalfalse);

    loadbc(s, 1, 49e5, 290.0, 12.0, 1, 1, 0);
    EXPECT_EQ(s.inletpressure(1), 49e5);
    EXPECT_EQ(s.inlettemperature(1), 290.0);
    EXPECT_EQ(s.inletmassflow(1), 12.0);
    EXPECT_EQ(s.lastinletpressure(1), 50e5);
    EXPECT_EQ(s.lastinlettemperature(1), 300.0);
    EXPECT_EQ(s.lastinletmassflow(1), 10.0);
    EXPECT_EQ(s.lastbcpressure(1), 50e5);
    EXPECT_EQ(s.lastbctemperature(1), 300.0);
    EXPECT_EQ(s.lastbcmassflow(1), 10.0);
    EXPECT_EQ(s.pipeerrorcode, 0);
}

TEST_F(Boundary, EndTwoActsOnTheOutletOfTheLastPipeOnly)
{
    const auto before = boundarystore(s);
    loadbc(s, 2, 40e5, 280.0, -3.0, 0, 1, -1);

    EXPECT_EQ(s.outletpressure(3), 40e5);
    EXPECT_EQ(s.lastoutletpressure(3), 40e5);
    EXPECT_EQ(s.outletmassflow(3), -3.0);
    EXPECT_EQ(s.outletpressurefixed(3), 0);
    EXPECT_EQ(s.outlettemperaturefixed(3), 1);
    EXPECT_EQ(s.outletmassflowfixed(3), -1);
    EXPECT_EQ(s.lastbcmassflow(2), -3.0);
    EXPECT_EQ(s.bcloaded(2), logicaltrue);
    EXPECT_EQ(s.bcloaded(1), logicalfalse);

    // Undo pipe 3's outlet; everything else must be as before.
    for (Array1<double>* a :
         {&s.outletpressure, &s.outlettemperature, &s.outletmassflow, &s.lastoutletpressure,
          &s.lastoutlettemperature, &s.lastoutletmassflow})
        (*a)(3) = 0.0;
    for (Array1<std::int32_t>* a :
         {&s.outletpressurefixed, &s.outlettemperaturefixed, &s.outletmassflowfixed})
        (*a)(3) = logicaltrue;
    EXPECT_EQ(boundarystore(s), before);
}

TEST_F(Boundary, TheLoadedFlagCountsByItsLowestBit)
{
    // A host restoring its state may have stored 1 or 2 instead of -1 and 0.
    s.inletpressure(1) = 7.0;
    s.bcloaded(1) = 1; // true: the values before the call become the previous ones
    loadbc(s, 1, 9.0, 300.0, 0.0, 1, 1, 1);
    EXPECT_EQ(s.lastinletpressure(1), 7.0);

    s.bcloaded(1) = 2; // false: first-call rule
    loadbc(s, 1, 11.0, 300.0, 0.0, 1, 1, 1);
    EXPECT_EQ(s.lastinletpressure(1), 11.0);
}

TEST_F(Boundary, FlagsAreStoredAsGiven)
{
    loadbc(s, 1, 1.0, 2.0, 3.0, 1, 2, 0);
    EXPECT_EQ(s.inletpressurefixed(1), 1);
    EXPECT_EQ(s.inlettemperaturefixed(1), 2);
    EXPECT_EQ(s.inletmassflowfixed(1), 0);
    EXPECT_TRUE(istrue(s.inletpressurefixed(1)));
    EXPECT_FALSE(istrue(s.inlettemperaturefixed(1)));
    EXPECT_FALSE(istrue(s.inletmassflowfixed(1)));
    EXPECT_TRUE(istrue(-1));
}

// ---------------------------------------------------------------------------
// loadbcpipe
// ---------------------------------------------------------------------------

TEST_F(Boundary, LoadbcpipeKeepsThePreviousValueAndLeavesTheNetworkEndsAlone)
{
    loadbc(s, 1, 50e5, 300.0, 10.0, 1, 1, 1);
    const auto ends = networkends(s);

    // No first-call rule: the previous value is what was there (unset: 0).
    loadbcpipe(s, 2, 1, 45e5, 295.0, 9.0, 0, 1, 1);
    EXPECT_EQ(s.inletpressure(2), 45e5);
    EXPECT_EQ(s.lastinletpressure(2), 0.0);
    EXPECT_EQ(s.inletpressurefixed(2), 0);

    loadbcpipe(s, 2, 1, 44e5, 294.0, 8.0, 1, 1, 1);
    EXPECT_EQ(s.inletpressure(2), 44e5);
    EXPECT_EQ(s.lastinletpressure(2), 45e5);
    EXPECT_EQ(s.lastinlettemperature(2), 295.0);
    EXPECT_EQ(s.lastinletmassflow(2), 9.0);
    EXPECT_EQ(networkends(s), ends);

    // Its outlet end, and pipe 1's arrays, are untouched.
    EXPECT_EQ(s.outletpressure(2), 0.0);
    EXPECT_EQ(s.inletpressure(1), 50e5);
    EXPECT_EQ(s.lastinletpressure(1), 50e5);

    loadbcpipe(s, 1, 2, 47e5, 290.0, 10.0, 1, 0, 0);
    EXPECT_EQ(s.outletpressure(1), 47e5);
    EXPECT_EQ(s.outlettemperaturefixed(1), 0);
    EXPECT_EQ(s.inletpressure(2), 44e5);
    EXPECT_EQ(s.pipeerrorcode, 0);
}

// ---------------------------------------------------------------------------
// Ignored and refused calls
// ---------------------------------------------------------------------------

TEST_F(Boundary, AnEndOtherThanOneOrTwoIsIgnoredWithoutACode)
{
    const auto before = boundarystore(s);
    const auto ends = networkends(s);
    loadbc(s, 3, 1.0, 2.0, 3.0, 0, 0, 0);
    loadbc(s, 0, 1.0, 2.0, 3.0, 0, 0, 0);
    loadbcpipe(s, 2, 0, 1.0, 2.0, 3.0, 0, 0, 0);
    loadbcpipe(s, 2, -1, 1.0, 2.0, 3.0, 0, 0, 0);
    EXPECT_EQ(boundarystore(s), before);
    EXPECT_EQ(networkends(s), ends);
    EXPECT_EQ(s.pipeerrorcode, 0);
}

TEST_F(Boundary, APipeOutOfRangeOrNoNetworkIsRefused)
{
    const auto before = boundarystore(s);
    for (std::int32_t pipe : {0, 4, -1, std::numeric_limits<std::int32_t>::max()}) {
        s.pipeerrorcode = 0;
        loadbcpipe(s, pipe, 1, 1.0, 2.0, 3.0, 0, 0, 0);
        EXPECT_EQ(s.pipeerrorcode, coderefused) << pipe;
    }
    EXPECT_EQ(boundarystore(s), before);

    freepipememory(s);
    s.pipeerrorcode = 0;
    loadbc(s, 1, 1.0, 2.0, 3.0, 0, 0, 0);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    EXPECT_EQ(s.bcloaded(1), logicalfalse);
}

TEST_F(Boundary, AValueThatIsNotFiniteIsRefusedAndNothingIsStored)
{
    // One good call first, so that a refusal that stored anything would show
    // in the previous values and the carried-over pairs as well.
    loadbc(s, 1, 50e5, 300.0, 10.0, 1, 1, 0);
    loadbc(s, 2, 40e5, 290.0, 10.0, 0, 0, 1);
    const auto before = boundarystore(s);
    const auto ends = networkends(s);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // A bad value refuses the call whether or not its quantity is imposed.
    const double bad[][3] = {{nan, 300.0, 1.0}, {49e5, inf, 1.0}, {49e5, 300.0, -inf}};
    for (const auto& v : bad) {
        for (std::int32_t end : {1, 2}) {
            s.pipeerrorcode = 0;
            loadbc(s, end, v[0], v[1], v[2], 1, 0, 0);
            EXPECT_EQ(s.pipeerrorcode, coderefused) << v[0] << ' ' << v[1] << ' ' << v[2];
            s.pipeerrorcode = 0;
            loadbcpipe(s, 2, end, v[0], v[1], v[2], 0, 0, 1);
            EXPECT_EQ(s.pipeerrorcode, coderefused);
        }
    }
    EXPECT_EQ(boundarystore(s), before);
    EXPECT_EQ(networkends(s), ends);
    // An end other than 1 or 2 is still ignored without a code.
    s.pipeerrorcode = 0;
    loadbc(s, 3, nan, nan, nan, 0, 0, 0);
    EXPECT_EQ(s.pipeerrorcode, 0);
}

TEST(BoundaryRefusal, LoadbcBeforeAnyLoadAndOnTheEmptyNetworkIsRefused)
{
    Store s;
    loadbc(s, 2, 1.0, 2.0, 3.0, 0, 0, 0);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    EXPECT_EQ(s.bcloaded(2), logicalfalse);
    EXPECT_EQ(s.lastbcpressure(2), 0.0);

    ASSERT_TRUE(loadpipes(s, {}));
    loadbc(s, 1, 1.0, 2.0, 3.0, 0, 0, 0);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    EXPECT_EQ(s.bcloaded(1), logicalfalse);
}

// ---------------------------------------------------------------------------
// Wall data and time-step limit
// ---------------------------------------------------------------------------

TEST(Wall, EveryCellTakesItsPipesValues)
{
    Store s;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(4), pipeofcells(6)}));
    const double ambient[] = {280.0, 290.0};
    const double coefficient[] = {5.0, 0.0};
    loadwalldata(s, ambient, coefficient);

    for (int c = 1; c <= 4; ++c) {
        EXPECT_EQ(s.ambienttemperature(c), 280.0);
        EXPECT_EQ(s.heattransfercoefficient(c), 5.0);
    }
    for (int c = 5; c <= 10; ++c) {
        EXPECT_EQ(s.ambienttemperature(c), 290.0);
        EXPECT_EQ(s.heattransfercoefficient(c), 0.0);
    }
    EXPECT_EQ(s.pipeerrorcode, 0);
}

TEST(Wall, NoNetworkOrNullArraysAreRefused)
{
    const double values[] = {280.0, 290.0};
    Store s;
    loadwalldata(s, values, values);
    EXPECT_EQ(s.pipeerrorcode, coderefused);

    ASSERT_TRUE(loadpipes(s, {pipeofcells(3)}));
    loadwalldata(s, nullptr, values);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    loadwalldata(s, values, nullptr);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    EXPECT_EQ(s.ambienttemperature(1), 0.0);

    // A restored cell range beyond the arrays: nothing written.
    s.pipeerrorcode = 0;
    s.lastcell(1) = 4;
    loadwalldata(s, values, values);
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    EXPECT_EQ(s.ambienttemperature(1), 0.0);

    // The empty network has no cells to fill: nothing to refuse.
    Store empty;
    ASSERT_TRUE(loadpipes(empty, {}));
    loadwalldata(empty, values, values);
    EXPECT_EQ(empty.pipeerrorcode, 0);
}

TEST(TimeStepLimit, StoredUntilTheNextLoadAndOnlyWhenPositive)
{
    Store s;
    ASSERT_TRUE(loadpipes(s, {pipeofcells(3)}));
    maxtimestep(s, 0.5);
    EXPECT_EQ(s.maximumtimestep, 0.5);

    for (double bad : {0.0, -0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                       -std::numeric_limits<double>::infinity()}) {
        s.pipeerrorcode = 0;
        maxtimestep(s, bad);
        EXPECT_EQ(s.maximumtimestep, 0.5) << bad;
        EXPECT_EQ(s.pipeerrorcode, coderefused) << bad;
    }

    s.pipeerrorcode = 0;
    maxtimestep(s, std::numeric_limits<double>::infinity());
    EXPECT_EQ(s.maximumtimestep, std::numeric_limits<double>::infinity());
    EXPECT_EQ(s.pipeerrorcode, 0);

    maxtimestep(s, 0.5);
    ASSERT_TRUE(loadpipes(s, {pipeofcells(3)}));
    EXPECT_EQ(s.maximumtimestep, std::numeric_limits<double>::max());
}

} // namespace
} // namespace pelmora
