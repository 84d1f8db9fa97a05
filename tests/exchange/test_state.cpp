// State exchange: every item travels in its own argument and comes back bit
// for bit without touching any other item, counts bound every copy, the host
// layout of the conserved levels is the transpose of the store's, and
// refused calls leave both the store and the host's buffers untouched.
//
// The round trips go through the exported entry points on the engine's own
// store, with the host's arguments laid out by the registry, so they check
// the C argument lists against the registry as well as the copies; the
// parameter lists of pelmora.h are read and held to the registry as well.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "engine/errors.h"
#include "exchange/state.h"
#include "network/network.h"
#include "pelmora.h"
#include "support/exchange.h"
#include "support/samestore.h"

using namespace pelmora;
using pelmora::testing::callexported;
using pelmora::testing::HostArguments;
using pelmora::testing::integersentinel;
using pelmora::testing::realsentinel;

namespace {

// ---- A two-pipe network as a load leaves it ----------------------------------------

constexpr std::int32_t pipes = 2;
constexpr std::int32_t cells = 7; // pipe 1 owns cells 1..3, pipe 2 cells 4..7
constexpr std::int32_t faces = 8;
constexpr std::int32_t variables = 3;
const std::vector<std::int32_t> firstcells = {1, 4};
const std::vector<std::int32_t> lastcells = {3, 7};
constexpr std::size_t room = 16; // host buffers: longer than any array here

void loadtwopipes(Store& s)
{
    const double length[] = {30.0, 40.0}, diameter[] = {0.5, 0.3}, zero[] = {0.0, 0.0},
                 roughness[] = {1e-5, 1e-5}, dx[] = {10.0, 10.0};
    ASSERT_TRUE(loadpipedata(s, pipes, length, diameter, diameter, zero, roughness, dx));
}

// The counts and cell ranges: they must stay valid, so they are not tagged
// and are checked on their own.
constexpr bool islayout(ItemRow row)
{
    return row == ItemRow::numberofpipes || row == ItemRow::firstcell || row == ItemRow::lastcell ||
           row == ItemRow::numberofvariables || row == ItemRow::totalcells ||
           row == ItemRow::totalfaces;
}

// The value element j of argument `slot` of a call holds in a variant:
// different for every call, argument, element and variant. Doubles get a
// fraction so that no double equals an integer tag.
template <class T>
T tag(Call call, std::size_t slot, std::int64_t j, int variant)
{
    const auto base =
        (static_cast<std::int64_t>(call) * 200 + static_cast<std::int64_t>(slot)) * 1000 + j +
        variant * 1000000;
    if constexpr (std::is_same_v<T, double>)
        return static_cast<double>(base) + 0.375;
    else
        return static_cast<T>(base);
}

// Writes (or expects) the tags of one variant in an item whose values start
// at argument `slot` of its call.
template <class T>
void tags(T& x, Call call, std::size_t slot, int variant, bool write)
{
    if (write)
        x = tag<T>(call, slot, 1, variant);
    else
        EXPECT_TRUE(pelmora::testing::samevalue(x, tag<T>(call, slot, 1, variant)))
            << "argument " << slot;
}
template <class T>
void tags(EndPair<T>& e, Call call, std::size_t slot, int variant, bool write)
{
    tags(e(1), call, slot, variant, write);
    tags(e(2), call, slot + 1, variant, write);
}
template <class T>
void tags(Array1<T>& a, Call call, std::size_t slot, int variant, bool write)
{
    for (std::int64_t j = 1; j <= a.size(); ++j) {
        if (write)
            a(j) = tag<T>(call, slot, j, variant);
        else
            EXPECT_TRUE(pelmora::testing::samevalue(a(j), tag<T>(call, slot, j, variant)))
                << "argument " << slot << " element " << j;
    }
}

// Writes (or expects) the tags of one variant in every item of the calls
// `which` accepts, the counts and cell ranges left out.
template <class Which>
void tagitems(Store& s, int variant, bool write, Which which)
{
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        constexpr Call call = ItemAt<R>::info.call;
        if constexpr (call != Call::history && call != Call::none && !islayout(R))
            if (which(call))
                tags(s.*item, call, argumentof(R), variant, write);
    });
}
void tagall(Store& s, int variant)
{
    tagitems(s, variant, true, [](Call) { return true; });
}

// Expects argument `slot` of the host's buffers to hold an item's tags
// (variant 0) over the item's length, and the sentinel after it.
template <Call C>
void expecthosttags(HostArguments<C>& h, std::size_t slot, std::int64_t length)
{
    for (std::int64_t j = 1; j <= length + 1; ++j) {
        const auto k = static_cast<std::size_t>(j - 1);
        const bool past = j > length;
        if (h.layout[slot].item->integer)
            EXPECT_EQ(h.integers[slot][k],
                      past ? integersentinel : tag<std::int32_t>(C, slot, j, 0))
                << "argument " << slot << " element " << j;
        else
            EXPECT_TRUE(pelmora::testing::samebits(
                h.reals[slot][k], past ? realsentinel : tag<double>(C, slot, j, 0)))
                << "argument " << slot << " element " << j;
    }
}

std::int64_t lengthof(Dimension dimension)
{
    switch (dimension) {
    case Dimension::pipe:
        return pipes;
    case Dimension::variable:
        return variables;
    case Dimension::cell:
        return cells;
    case Dimension::face:
        return faces;
    default:
        return 1;
    }
}

// The store the tests start from: the two-pipe network, a gas, every item
// tagged (variant 0) and both conserved levels filled with distinct values.
Store taggedstore()
{
    Store s;
    loadtwopipes(s);
    tagall(s, 0);
    s.fluidloaded = true;
    for (std::int64_t i = 1; i <= cells; ++i)
        for (std::int64_t k = 1; k <= variables; ++k) {
            s.conserved(k, i) = 10.0 * static_cast<double>(i) + static_cast<double>(k);
            s.previousconserved(k, i) = -s.conserved(k, i);
        }
    return s;
}

std::int32_t takecode(Store& s) { return geterrorcode(s); }

class StateExchange : public ::testing::Test {
protected:
    void SetUp() override { engine() = taggedstore(); }
    void TearDown() override { engine() = Store{}; }
};

// Gets every item of call C through the exported entry point, checks the
// host's buffers, overwrites the store, sets the items back through the
// exported entry point and checks that exactly the items of C came back.
template <Call C, class Get, class Set, class... Leading>
void roundtrip(Get get, Set set, Leading... leading)
{
    SCOPED_TRACE(::testing::Message() << "call " << static_cast<int>(C));
    engine() = taggedstore();
    Store& s = engine();
    HostArguments<C> h(room);
    callexported(get, h.pointers());
    ASSERT_EQ(takecode(s), 0);
    for (std::size_t slot = 0; slot < h.count; ++slot) {
        const ItemInfo& item = *h.layout[slot].item;
        if (!islayout(ItemRow(&item - iteminfo)))
            expecthosttags(h, slot, lengthof(item.dimension));
    }

    // Run on: every item changes, the counts and cell ranges to other valid
    // ones, and both sides hold a code; then restore from the same buffers.
    tagall(s, 1);
    s.numberofpipes = 1;
    s.firstcell.raw() = {2, 5};
    s.lastcell.raw() = {4, 6};
    s.numberofvariables = 1;
    s.totalcells = 2;
    s.totalfaces = 3;
    s.pipeerrorcode = codefluidfloor;
    s.fluiderrorcode = codefluidfloor;
    const Store before = s;
    callexported(set, h.pointers(), &leading...);

    tagitems(s, 0, false, [](Call call) { return call == C; });
    tagitems(s, 1, false, [](Call call) { return call != C; });
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        if constexpr (ItemAt<R>::info.call != C)
            pelmora::testing::expectsameitem(before.*item, s.*item, ItemAt<R>::info.name);
    });
    if (C == Call::phys) {
        EXPECT_EQ(s.numberofpipes, pipes);
        EXPECT_EQ(s.firstcell.raw(), firstcells);
        EXPECT_EQ(s.lastcell.raw(), lastcells);
    }
    if (C == Call::hyper) {
        EXPECT_EQ(s.numberofvariables, variables);
        EXPECT_EQ(s.totalcells, cells);
        EXPECT_EQ(s.totalfaces, faces);
    }
}

// Calls the exported get routine of C with argument `slot` NULL and expects
// a refusal on the call's side that writes nothing.
template <Call C, class Get>
void expectnullrefused(Get get, std::size_t slot)
{
    Store& s = engine();
    const Store before = s;
    HostArguments<C> h(room);
    std::array<void*, HostArguments<C>::count> a = h.pointers();
    a[slot] = nullptr;
    callexported(get, a);
    EXPECT_EQ(C == Call::fluid ? s.fluiderrorcode : s.pipeerrorcode, coderefused)
        << "argument " << slot;
    takecode(s);
    pelmora::testing::expectsamestore(before, s);
    for (std::size_t k = 0; k < h.count; ++k)
        EXPECT_EQ(h.layout[k].item->integer ? h.integers[k][0] : h.reals[k][0],
                  h.layout[k].item->integer ? integersentinel : realsentinel)
            << "argument " << k << " written by a refused call";
}

} // namespace

// ---- Every call ----------------------------------------------------------------------

TEST_F(StateExchange, EveryItemTravelsInItsOwnArgumentAndComesBackBitForBit)
{
    roundtrip<Call::phys>(::getphysparams, ::setphysparams, variables, faces, cells);
    roundtrip<Call::hyper>(::gethyperparams, ::sethyperparams);
    roundtrip<Call::fluid>(::getfluidparams, ::setfluidparams);
}

TEST_F(StateExchange, ANullArgumentRefusesTheCallAndWritesNothing)
{
    for (std::size_t slot = 0; slot < argumentcount(Call::phys); ++slot)
        expectnullrefused<Call::phys>(::getphysparams, slot);
    for (std::size_t slot = 0; slot < argumentcount(Call::hyper); ++slot)
        expectnullrefused<Call::hyper>(::gethyperparams, slot);
    for (std::size_t slot = 0; slot < argumentcount(Call::fluid); ++slot)
        expectnullrefused<Call::fluid>(::getfluidparams, slot);
}

TEST_F(StateExchange, ArraysOfASkippedGroupMayBeNullButSinglesMayNot)
{
    Store& s = engine();
    const std::int32_t zero = 0;
    for (std::size_t slot = 0; slot < argumentcount(Call::phys); ++slot) {
        HostArguments<Call::phys> h(room);
        callexported(::getphysparams, h.pointers());
        h.integer(ItemRow::numberofpipes) = 0;
        Inputs<Call::phys> in = h.inputs();
        in[slot] = nullptr;
        const bool single = !h.layout[slot].item->isarray();
        EXPECT_EQ(setphysparams(s, &zero, &zero, &zero, in), !single) << "argument " << slot;
        EXPECT_EQ(takecode(s), single ? coderefused : 0) << "argument " << slot;
    }
    for (std::size_t slot = 0; slot < argumentcount(Call::hyper); ++slot) {
        HostArguments<Call::hyper> h(room);
        callexported(::gethyperparams, h.pointers());
        for (ItemRow count : {ItemRow::numberofvariables, ItemRow::totalcells, ItemRow::totalfaces})
            h.integer(count) = 0;
        Inputs<Call::hyper> in = h.inputs();
        in[slot] = nullptr;
        const bool single = !h.layout[slot].item->isarray();
        EXPECT_EQ(sethyperparams(s, in), !single) << "argument " << slot;
        EXPECT_EQ(takecode(s), single ? coderefused : 0) << "argument " << slot;
    }
    // A refused set stores nothing.
    engine() = taggedstore();
    const Store before = engine();
    HostArguments<Call::fluid> h(room);
    Inputs<Call::fluid> in = h.inputs();
    in[argumentof(ItemRow::curenergy)] = nullptr;
    EXPECT_FALSE(setfluidparams(engine(), in));
    EXPECT_EQ(engine().fluiderrorcode, coderefused);
    EXPECT_EQ(engine().pipeerrorcode, 0);
    takecode(engine());
    pelmora::testing::expectsamestore(before, engine());
}

TEST(ExportedSignatures, HeaderListsTheArgumentsInRegistryOrder)
{
    std::ifstream file(std::filesystem::path(__FILE__).parent_path() / "../../include/pelmora.h");
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    const std::string header = text.str();
    // The parameter list of an entry point as the header declares it, up to
    // the first parenthesis outside a comment.
    auto parameters = [&header](const std::string& function) {
        const std::size_t open = header.find("PELMORA_API void " + function + "(");
        EXPECT_NE(open, std::string::npos) << function;
        std::size_t last = header.find('(', open) + 1;
        for (std::size_t comment = header.find("/*", last);
             header.find(')', last) > comment && comment != std::string::npos;
             comment = header.find("/*", last))
            last = header.find("*/", comment) + 2;
        const std::size_t first = header.find('(', open) + 1;
        return header.substr(first, header.find(')', last) - first);
    };
    EXPECT_TRUE(followsregistry(Call::phys, true, "", parameters("getphysparams")));
    EXPECT_TRUE(followsregistry(Call::phys, false, "nvariables nfaces ncells",
                                parameters("setphysparams")));
    EXPECT_TRUE(followsregistry(Call::hyper, true, "", parameters("gethyperparams")));
    EXPECT_TRUE(followsregistry(Call::hyper, false, "", parameters("sethyperparams")));
    EXPECT_TRUE(followsregistry(Call::fluid, true, "", parameters("getfluidparams")));
    EXPECT_TRUE(followsregistry(Call::fluid, false, "", parameters("setfluidparams")));
    // The check itself tells a swapped pair and a missing const.
    EXPECT_FALSE(followsregistry(Call::fluid, true, "",
                                 "double *gamma, double *molweight, double *viscosity, double *cp, "
                                 "double *cv, double *density, double *energy, double *enthalpy, "
                                 "double *pressure, double *temperature, double *soundspeed, "
                                 "int32_t *model, double *extra1, double *extra2"));
    EXPECT_FALSE(followsregistry(Call::fluid, false, "", parameters("getfluidparams")));
}

// ---- Fluid parameters ----------------------------------------------------------------

TEST(FluidParams, GasIsUsableOnlyWhenTheDescriptionDefinesOne)
{
    auto setgas = [](Store& s, double molweight, double gamma, double cp, double cv,
                     std::int32_t model) {
        const double z = 0.0;
        Inputs<Call::fluid> in;
        in.fill(&z);
        in[argumentof(ItemRow::molweight)] = &molweight;
        in[argumentof(ItemRow::gamma)] = &gamma;
        in[argumentof(ItemRow::cp)] = &cp;
        in[argumentof(ItemRow::cv)] = &cv;
        in[argumentof(ItemRow::fluidmodel)] = &model;
        return setfluidparams(s, in);
    };
    Store s;
    ASSERT_TRUE(setgas(s, 28.97, 1.4, 1004.5, 717.5, 0));
    EXPECT_TRUE(s.fluidloaded) << "a saved ideal gas restores before any loadfluid";
    EXPECT_EQ(s.fluiderrorcode, 0);

    // gamma 1 or a zero cv would divide by zero; the host model needs its
    // routines, which the exchange never carries.
    setgas(s, 28.97, 1.0, 1004.5, 717.5, 0);
    EXPECT_FALSE(s.fluidloaded);
    setgas(s, 28.97, 1.4, 1004.5, 0.0, 0);
    EXPECT_FALSE(s.fluidloaded);
    setgas(s, std::numeric_limits<double>::quiet_NaN(), 1.4, 1004.5, 717.5, 0);
    EXPECT_FALSE(s.fluidloaded);
    setgas(s, 28.97, 1.4, 1004.5, 717.5, 2);
    EXPECT_FALSE(s.fluidloaded) << "host model without routines";
    // A blank description (a fresh engine's) unloads the gas again.
    setgas(s, 28.97, 1.4, 1004.5, 717.5, 0);
    ASSERT_TRUE(s.fluidloaded);
    setgas(s, 0.0, 0.0, 0.0, 0.0, 0);
    EXPECT_FALSE(s.fluidloaded);
    EXPECT_EQ(s.fluiderrorcode, 0) << "storing a description is never an error";
}

// ---- Scheme parameters -----------------------------------------------------------------

TEST_F(StateExchange, SetHyperParamsStoresNewCountsAndCopiesWithThem)
{
    Store& s = engine();
    HostArguments<Call::hyper> h(room);
    callexported(::gethyperparams, h.pointers());
    tagall(s, 1);

    // No variables, two cells, a negative face count: the counts are stored
    // as given, only the first two cell spacings are copied.
    h.integer(ItemRow::numberofvariables) = 0;
    h.integer(ItemRow::totalcells) = 2;
    h.integer(ItemRow::totalfaces) = -4;
    EXPECT_TRUE(sethyperparams(s, h.inputs()));
    EXPECT_EQ(s.numberofvariables, 0);
    EXPECT_EQ(s.totalcells, 2);
    EXPECT_EQ(s.totalfaces, -4);
    const std::size_t celllength = argumentof(ItemRow::celllength);
    EXPECT_EQ(s.inletbcgradient(1),
              tag<double>(Call::hyper, argumentof(ItemRow::inletbcgradient), 1, 1))
        << "no coefficient copied";
    EXPECT_EQ(s.faceposition(1), tag<double>(Call::hyper, argumentof(ItemRow::faceposition), 1, 1))
        << "no face copied";
    EXPECT_EQ(s.celllength(2), tag<double>(Call::hyper, celllength, 2, 0));
    EXPECT_EQ(s.celllength(3), tag<double>(Call::hyper, celllength, 3, 1))
        << "copy stops at the new count";
    EXPECT_EQ(s.currentcell, tag<std::int32_t>(Call::hyper, argumentof(ItemRow::currentcell), 1, 0))
        << "scalars stored";

    // A later get copies with the stored counts.
    HostArguments<Call::hyper> back(room);
    EXPECT_TRUE(gethyperparams(s, back.pointers()));
    EXPECT_EQ(back.real(ItemRow::inletbcgradient), realsentinel);
    EXPECT_EQ(back.real(ItemRow::celllength, 2), tag<double>(Call::hyper, celllength, 2, 0));
    EXPECT_EQ(back.real(ItemRow::celllength, 3), realsentinel);
}

TEST_F(StateExchange, SetHyperParamsRefusesCountsBeyondTheAllocation)
{
    Store& s = engine();
    HostArguments<Call::hyper> h(room);
    callexported(::gethyperparams, h.pointers());
    tagall(s, 1);
    const Store before = s;

    struct Case {
        const char* what;
        ItemRow count;
        std::int32_t value;
    };
    for (const Case c : {Case{"four variables", ItemRow::numberofvariables, 4},
                         Case{"one cell too many", ItemRow::totalcells, 8},
                         Case{"one face too many", ItemRow::totalfaces, 9}}) {
        HostArguments<Call::hyper> bad = h;
        bad.integer(c.count) = c.value;
        EXPECT_FALSE(sethyperparams(s, bad.inputs())) << c.what;
        EXPECT_EQ(takecode(s), coderefused) << c.what;
        pelmora::testing::expectsamestore(before, s);
    }
}

TEST(HyperParams, GeometryGroupStaysReadableAfterTheNetworkIsReleased)
{
    Store s;
    loadtwopipes(s);
    freepipememory(s);
    ASSERT_FALSE(s.networkloaded);

    HostArguments<Call::hyper> h(room);
    EXPECT_TRUE(gethyperparams(s, h.pointers()));
    EXPECT_EQ(h.integer(ItemRow::totalcells), 7);
    EXPECT_EQ(h.real(ItemRow::celllength, 1), 10.0) << "first cell length of pipe 1";
    EXPECT_EQ(h.real(ItemRow::celllength, 7), 10.0) << "last cell length of pipe 2";
    EXPECT_EQ(h.real(ItemRow::faceposition, 4), 0.0) << "the shared face starts pipe 2 at 0";
    EXPECT_EQ(h.real(ItemRow::faceposition, 8), 40.0);
    EXPECT_EQ(takecode(s), 0);
}

// ---- Solution history -------------------------------------------------------------------

TEST(History, HostLayoutRunsOverCellsFirst)
{
    Store s;
    s.numberofvariables = 3;
    s.totalcells = 4;
    s.conserved.assign(3, 4, 0.0);
    s.previousconserved.assign(3, 4, 0.0);
    for (int i = 1; i <= 4; ++i)
        for (int k = 1; k <= 3; ++k) {
            s.conserved(k, i) = 10.0 * k + i;
            s.previousconserved(k, i) = -(10.0 * k + i);
        }
    std::vector<double> previous(12), current(12);
    ASSERT_TRUE(getuhistory(s, previous.data(), current.data()));
    EXPECT_EQ(current[6], 23.0) << "conserved(2, 3) sits at (2-1)*4 + (3-1)";
    EXPECT_EQ(previous[6], -23.0) << "the first argument receives the previous level";
    EXPECT_EQ(current[3], 14.0);
    EXPECT_EQ(current[4], 21.0);
    EXPECT_EQ(current[11], 34.0);

    // Back in, transposed again, after the store was overwritten.
    s.conserved.assign(3, 4, 0.0);
    s.previousconserved.assign(3, 4, 0.0);
    const std::int32_t m = 3, n = 4;
    ASSERT_TRUE(setuhistory(s, &m, &n, previous.data(), current.data()));
    for (int i = 1; i <= 4; ++i)
        for (int k = 1; k <= 3; ++k) {
            EXPECT_EQ(s.conserved(k, i), 10.0 * k + i);
            EXPECT_EQ(s.previousconserved(k, i), -(10.0 * k + i));
        }
}

TEST(History, SetUsesTheGivenCellCountAsStrideAndStoresNoCounts)
{
    Store s = taggedstore();
    const std::int32_t m = 2, n = 3;
    const std::vector<double> previous = {1, 2, 3, 4, 5, 6}, current = {7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(setuhistory(s, &m, &n, previous.data(), current.data()));
    EXPECT_EQ(s.conserved(2, 1), 10.0) << "variable 2 of cell 1 is element (2-1)*3";
    EXPECT_EQ(s.conserved(1, 3), 9.0);
    EXPECT_EQ(s.previousconserved(2, 3), 6.0);
    EXPECT_EQ(s.conserved(3, 1), 13.0) << "variable 3 not copied";
    EXPECT_EQ(s.conserved(1, 4), 41.0) << "cell 4 not copied";
    EXPECT_EQ(s.numberofvariables, variables);
    EXPECT_EQ(s.totalcells, cells);

    // No variables: nothing copied, and the buffers are not even looked at.
    const std::int32_t none = 0;
    EXPECT_TRUE(setuhistory(s, &none, &n, nullptr, nullptr));
    EXPECT_EQ(takecode(s), 0);
}

TEST(History, RefusesCountsBeyondTheAllocationAndReleasedLevels)
{
    Store s = taggedstore();
    const Store before = s;
    std::vector<double> big(64, 1.0);
    const std::int32_t three = 3, eight = 8, four = 4, seven = 7;
    EXPECT_FALSE(setuhistory(s, &three, &eight, big.data(), big.data()));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_FALSE(setuhistory(s, &four, &seven, big.data(), big.data()));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_FALSE(setuhistory(s, &three, &seven, big.data(), nullptr));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_EQ(s.conserved.raw(), before.conserved.raw());
    EXPECT_EQ(s.previousconserved.raw(), before.previousconserved.raw());

    // After the network is released the counts remain but the levels are
    // gone: nothing can be copied out.
    freepipememory(s);
    std::vector<double> previous(21, -1.0), current(21, -1.0);
    EXPECT_FALSE(getuhistory(s, previous.data(), current.data()));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_EQ(current[0], -1.0) << "nothing written";
}

// ---- Physical state ------------------------------------------------------------------------

TEST_F(StateExchange, PhysParamsWithoutCellsStillStoreEverythingElse)
{
    Store& s = engine();
    HostArguments<Call::phys> h(room);
    callexported(::getphysparams, h.pointers());
    tagall(s, 1);
    const std::int32_t none = 0;
    EXPECT_TRUE(setphysparams(s, &variables, &faces, &none, h.inputs()));
    EXPECT_EQ(takecode(s), 0);
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        constexpr ItemInfo info = ItemAt<R>::info;
        if constexpr (info.call == Call::phys && !islayout(R))
            tags(s.*item, info.call, argumentof(R), info.dimension == Dimension::cell ? 1 : 0,
                 false);
    });
}

TEST_F(StateExchange, SetPhysParamsRefusesWhatDoesNotFitAndChangesNothing)
{
    Store& s = engine();
    HostArguments<Call::phys> h(room);
    callexported(::getphysparams, h.pointers());
    tagall(s, 1);
    const Store before = s;

    struct Case {
        const char* what;
        std::int32_t nvars, nfaces, ncells, npipes;
        std::vector<std::int32_t> first, last;
    };
    const std::vector<Case> cases = {
        {"a fourth variable", 4, 8, 7, 2, firstcells, lastcells},
        {"a ninth face", 3, 9, 7, 2, firstcells, lastcells},
        {"an eighth cell", 3, 8, 8, 2, firstcells, lastcells},
        {"a third pipe", 3, 8, 7, 3, {1, 4, 6}, {3, 5, 7}},
        {"a pipe past the last cell", 3, 8, 7, 2, {1, 4}, {3, 8}},
        {"a pipe starting at cell 0", 3, 8, 7, 2, {0, 4}, {3, 7}},
        {"a pipe running backwards", 3, 8, 7, 2, {1, 5}, {3, 4}},
    };
    for (const Case& c : cases) {
        HostArguments<Call::phys> bad = h;
        bad.integer(ItemRow::numberofpipes) = c.npipes;
        for (std::size_t p = 0; p < c.first.size(); ++p) {
            bad.integer(ItemRow::firstcell, static_cast<std::int64_t>(p + 1)) = c.first[p];
            bad.integer(ItemRow::lastcell, static_cast<std::int64_t>(p + 1)) = c.last[p];
        }
        callexported(::setphysparams, bad.pointers(), &c.nvars, &c.nfaces, &c.ncells);
        EXPECT_EQ(takecode(s), coderefused) << c.what;
        pelmora::testing::expectsamestore(before, s);
    }
}

TEST(PhysParams, NothingCanBeCopiedOutOfAReleasedNetwork)
{
    Store s;
    loadtwopipes(s);
    freepipememory(s);

    HostArguments<Call::phys> h(room);
    EXPECT_FALSE(getphysparams(s, h.pointers()));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_EQ(h.integer(ItemRow::numberofpipes), integersentinel) << "nothing written";
    EXPECT_EQ(h.real(ItemRow::maximumtimestep), realsentinel);
}
