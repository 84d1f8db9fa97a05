// State exchange: every item travels in its own argument slot and comes back
// bit for bit, the host layout of the conserved levels is the transpose of
// the store's, and refused calls leave both the store and the host's buffers
// untouched.
//
// The ordering tests go through the exported entry points on the engine's
// own store, so they check the C argument lists as well as the copies.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/errors.h"
#include "exchange/state.h"
#include "network/network.h"
#include "pelmora.h"

using namespace pelmora;

namespace {

// ---- A two-pipe network as a load leaves it -------------------------------------

constexpr std::int64_t pipes = 2;
constexpr std::int64_t cells = 7; // pipe 1 owns cells 1..3, pipe 2 cells 4..7
constexpr std::int64_t faces = 8;
constexpr std::int64_t variables = 3;
const std::vector<std::int32_t> firstcells = {1, 4};
const std::vector<std::int32_t> lastcells = {3, 7};

// Visits every item of the physical state with its argument number in
// getphysparams; an end pair comes with the number of its end-1 argument.
// The number of pipes (argument 1) is a count, and the cell ranges
// (arguments 3 and 4) must stay valid; both are checked on their own.
template <class Visit>
void visitphysicalstate(Store& s, Visit&& visit)
{
    visit(s.pipepassflag, 2);
    visit(s.inletpressurefixed, 5);
    visit(s.outletpressurefixed, 6);
    visit(s.inlettemperaturefixed, 7);
    visit(s.outlettemperaturefixed, 8);
    visit(s.inletmassflowfixed, 9);
    visit(s.outletmassflowfixed, 10);
    visit(s.maximumtimestep, 11);
    visit(s.endpressure, 12);
    visit(s.enddensity, 14);
    visit(s.endvelocity, 16);
    visit(s.endenthalpy, 18);
    visit(s.midbcpressure, 20);
    visit(s.midbctemperature, 22);
    visit(s.midbcmassflow, 24);
    visit(s.lastbcpressure, 26);
    visit(s.lastbctemperature, 28);
    visit(s.lastbcmassflow, 30);
    visit(s.lastinletpressure, 32);
    visit(s.lastoutletpressure, 33);
    visit(s.inletpressure, 34);
    visit(s.outletpressure, 35);
    visit(s.lastinlettemperature, 36);
    visit(s.lastoutlettemperature, 37);
    visit(s.inlettemperature, 38);
    visit(s.outlettemperature, 39);
    visit(s.lastinletmassflow, 40);
    visit(s.lastoutletmassflow, 41);
    visit(s.inletmassflow, 42);
    visit(s.outletmassflow, 43);
    visit(s.midinletpressure, 44);
    visit(s.midoutletpressure, 45);
    visit(s.midinlettemperature, 46);
    visit(s.midoutlettemperature, 47);
    visit(s.midinletmassflow, 48);
    visit(s.midoutletmassflow, 49);
    visit(s.inletghost, 50);
    visit(s.outletghost, 51);
    visit(s.facediameter, 52);
    visit(s.facearea, 53);
    visit(s.faceinclination, 54);
    visit(s.celldiameter, 55);
    visit(s.cellarea, 56);
    visit(s.areagradient, 57);
    visit(s.cellinclination, 58);
    visit(s.relativeroughness, 59);
    visit(s.pressure, 60);
    visit(s.temperature, 61);
    visit(s.soundspeed, 62);
    visit(s.density, 63);
    visit(s.viscosity, 64);
    visit(s.internalenergy, 65);
    visit(s.totalenergy, 66);
    visit(s.enthalpy, 67);
    visit(s.totalenthalpy, 68);
    visit(s.velocity, 69);
    visit(s.massflowrate, 70);
    visit(s.machnumber, 71);
    visit(s.ambienttemperature, 72);
    visit(s.heattransfercoefficient, 73);
    visit(s.densitychange, 74);
    visit(s.temperaturechange, 75);
    visit(s.massflowdeviation, 76);
    visit(s.endtemperature, 77);
    visit(s.endmassflow, 79);
    visit(s.endenergy, 81);
    visit(s.endsoundspeed, 83);
    visit(s.endmachnumber, 85);
    visit(s.bcpressure, 87);
    visit(s.bcdensity, 89);
    visit(s.bcvelocity, 91);
    visit(s.bcenthalpy, 93);
    visit(s.bctemperature, 95);
    visit(s.bcmassflowrate, 97);
    visit(s.bcinternalenergy, 99);
    visit(s.bcsoundspeed, 101);
    visit(s.bcmachnumber, 103);
    visit(s.bcloaded, 105);
}

// The same for the scheme parameters (gethyperparams argument numbers); the
// three counts (arguments 1 to 3) are left out.
template <class Visit>
void visitschemestate(Store& s, Visit&& visit)
{
    visit(s.currentcell, 4);
    visit(s.currentface, 5);
    visit(s.atinletface, 6);
    visit(s.atoutletface, 7);
    visit(s.simulationtime, 8);
    visit(s.inletbcgradient, 9);
    visit(s.inletbcvalue, 10);
    visit(s.inletbcweight, 11);
    visit(s.outletbcgradient, 12);
    visit(s.outletbcvalue, 13);
    visit(s.outletbcweight, 14);
    visit(s.faceposition, 15);
    visit(s.facelength, 16);
    visit(s.inversefacelength, 17);
    visit(s.cellcentre, 18);
    visit(s.celllength, 19);
    visit(s.inversecelllength, 20);
}

// The value element j of argument `arg` holds; `variant` gives a second,
// different set of values. Doubles get a fraction so no double tag equals
// an integer tag, and every tag differs from every other.
template <class Item>
Item tag(int arg, std::int64_t j, int variant)
{
    if constexpr (std::is_same_v<Item, double>)
        return arg * 1000.0 + static_cast<double>(j) + 0.375 + variant * 1.0e6;
    else
        return static_cast<Item>(arg * 1000 + j + variant * 1000000);
}

bool samebits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
bool samebits(std::int32_t a, std::int32_t b) { return a == b; }

// Writes the tags of one variant into every visited item.
struct Tag {
    int variant;
    template <class Item>
    void operator()(Item& x, int arg) const
    {
        x = tag<Item>(arg, 1, variant);
    }
    template <class Item>
    void operator()(Array1<Item>& a, int arg) const
    {
        for (std::int64_t j = 1; j <= a.size(); ++j)
            a(j) = tag<Item>(arg, j, variant);
    }
    template <class Item>
    void operator()(EndPair<Item>& e, int arg) const
    {
        e(1) = tag<Item>(arg, 1, variant);
        e(2) = tag<Item>(arg + 1, 1, variant);
    }
};

// Expects every visited item to hold the tags of one variant, bit for bit.
struct ExpectTagged {
    int variant;
    template <class Item>
    void operator()(const Item& x, int arg) const
    {
        EXPECT_TRUE(samebits(x, tag<Item>(arg, 1, variant))) << "argument " << arg;
    }
    template <class Item>
    void operator()(const Array1<Item>& a, int arg) const
    {
        for (std::int64_t j = 1; j <= a.size(); ++j)
            EXPECT_TRUE(samebits(a(j), tag<Item>(arg, j, variant)))
                << "argument " << arg << " element " << j;
    }
    template <class Item>
    void operator()(const EndPair<Item>& e, int arg) const
    {
        EXPECT_TRUE(samebits(e(1), tag<Item>(arg, 1, variant))) << "argument " << arg;
        EXPECT_TRUE(samebits(e(2), tag<Item>(arg + 1, 1, variant))) << "argument " << arg + 1;
    }
};

// One buffer per argument number, longer than any array of the test network
// and filled with a sentinel, so a copy that runs past its count shows.
struct HostBuffers {
    static constexpr double realsentinel = -123.5;
    static constexpr std::int32_t integersentinel = -123;
    std::vector<std::vector<double>> reals =
        std::vector<std::vector<double>>(110, std::vector<double>(16, realsentinel));
    std::vector<std::vector<std::int32_t>> integers =
        std::vector<std::vector<std::int32_t>>(110, std::vector<std::int32_t>(16, integersentinel));
    double* r(int n) { return reals[static_cast<std::size_t>(n)].data(); }
    std::int32_t* i(int n) { return integers[static_cast<std::size_t>(n)].data(); }
    template <class Item>
    Item* buffer(int n)
    {
        if constexpr (std::is_same_v<Item, double>)
            return r(n);
        else
            return i(n);
    }
};

// Expects each argument's buffer to hold the tags of its item (variant 0)
// over the item's length and the sentinel after it.
struct ExpectHostTagged {
    HostBuffers& h;
    template <class Item>
    void expectbuffer(int arg, std::int64_t n) const
    {
        const Item* b = h.buffer<Item>(arg);
        for (std::int64_t j = 1; j <= n; ++j)
            EXPECT_TRUE(samebits(b[j - 1], tag<Item>(arg, j, 0)))
                << "argument " << arg << " element " << j;
        const Item sentinel = std::is_same_v<Item, double> ? Item(HostBuffers::realsentinel)
                                                           : Item(HostBuffers::integersentinel);
        EXPECT_TRUE(samebits(b[n], sentinel)) << "argument " << arg << " written past its end";
    }
    template <class Item>
    void operator()(const Item&, int arg) const
    {
        expectbuffer<Item>(arg, 1);
    }
    template <class Item>
    void operator()(const Array1<Item>& a, int arg) const
    {
        expectbuffer<Item>(arg, a.size());
    }
    template <class Item>
    void operator()(const EndPair<Item>&, int arg) const
    {
        expectbuffer<Item>(arg, 1);
        expectbuffer<Item>(arg + 1, 1);
    }
};

// Sizes every array of the store as a load of the two-pipe network would.
struct Allocate {
    template <class Item>
    void operator()(Item&, int) const
    {}
    template <class Item>
    void operator()(EndPair<Item>&, int) const
    {}
    template <class Item>
    void operator()(Array1<Item>& a, int arg) const
    {
        if (arg <= 10 || (arg >= 32 && arg <= 49))
            a.assign(pipes, Item{});
        else if (arg <= 51)
            a.assign(variables, Item{});
        else if (arg <= 54)
            a.assign(faces, Item{});
        else
            a.assign(cells, Item{});
    }
};

// A store holding the two-pipe network with every exchanged item tagged
// (variant 0) and both conserved levels filled with distinct values.
Store taggedstore()
{
    Store s;
    s.numberofpipes = pipes;
    s.numberofvariables = variables;
    s.totalcells = cells;
    s.totalfaces = faces;
    s.networkloaded = true;
    s.geometryloaded = true;
    visitphysicalstate(s, Allocate{});
    s.firstcell.raw() = firstcells;
    s.lastcell.raw() = lastcells;
    for (auto* a : {&s.inletbcgradient, &s.inletbcvalue, &s.inletbcweight, &s.outletbcgradient,
                    &s.outletbcvalue, &s.outletbcweight})
        a->assign(variables, 0.0);
    for (auto* a : {&s.faceposition, &s.facelength, &s.inversefacelength})
        a->assign(faces, 0.0);
    for (auto* a : {&s.cellcentre, &s.celllength, &s.inversecelllength})
        a->assign(cells, 0.0);
    s.conserved.assign(variables, cells, 0.0);
    s.previousconserved.assign(variables, cells, 0.0);
    for (std::int64_t i = 1; i <= cells; ++i)
        for (std::int64_t k = 1; k <= variables; ++k) {
            s.conserved(k, i) = 10.0 * static_cast<double>(i) + static_cast<double>(k);
            s.previousconserved(k, i) = -s.conserved(k, i);
        }
    visitphysicalstate(s, Tag{0});
    visitschemestate(s, Tag{0});
    return s;
}

void callgetphysparams(HostBuffers& h)
{
    ::getphysparams(h.i(1), h.i(2), h.i(3), h.i(4), h.i(5), h.i(6), h.i(7), h.i(8), h.i(9), h.i(10),
                    h.r(11), h.r(12), h.r(13), h.r(14), h.r(15), h.r(16), h.r(17), h.r(18), h.r(19),
                    h.r(20), h.r(21), h.r(22), h.r(23), h.r(24), h.r(25), h.r(26), h.r(27), h.r(28),
                    h.r(29), h.r(30), h.r(31), h.r(32), h.r(33), h.r(34), h.r(35), h.r(36), h.r(37),
                    h.r(38), h.r(39), h.r(40), h.r(41), h.r(42), h.r(43), h.r(44), h.r(45), h.r(46),
                    h.r(47), h.r(48), h.r(49), h.r(50), h.r(51), h.r(52), h.r(53), h.r(54), h.r(55),
                    h.r(56), h.r(57), h.r(58), h.r(59), h.r(60), h.r(61), h.r(62), h.r(63), h.r(64),
                    h.r(65), h.r(66), h.r(67), h.r(68), h.r(69), h.r(70), h.r(71), h.r(72), h.r(73),
                    h.r(74), h.r(75), h.r(76), h.r(77), h.r(78), h.r(79), h.r(80), h.r(81), h.r(82),
                    h.r(83), h.r(84), h.r(85), h.r(86), h.r(87), h.r(88), h.r(89), h.r(90), h.r(91),
                    h.r(92), h.r(93), h.r(94), h.r(95), h.r(96), h.r(97), h.r(98), h.r(99),
                    h.r(100), h.r(101), h.r(102), h.r(103), h.r(104), h.i(105), h.i(106));
}

// setphysparams takes the three copy counts, then the same 106 buffers.
void callsetphysparams(HostBuffers& h, std::int32_t nvars, std::int32_t nfaces, std::int32_t ncells)
{
    ::setphysparams(
        &nvars, &nfaces, &ncells, h.i(1), h.i(2), h.i(3), h.i(4), h.i(5), h.i(6), h.i(7), h.i(8),
        h.i(9), h.i(10), h.r(11), h.r(12), h.r(13), h.r(14), h.r(15), h.r(16), h.r(17), h.r(18),
        h.r(19), h.r(20), h.r(21), h.r(22), h.r(23), h.r(24), h.r(25), h.r(26), h.r(27), h.r(28),
        h.r(29), h.r(30), h.r(31), h.r(32), h.r(33), h.r(34), h.r(35), h.r(36), h.r(37), h.r(38),
        h.r(39), h.r(40), h.r(41), h.r(42), h.r(43), h.r(44), h.r(45), h.r(46), h.r(47), h.r(48),
        h.r(49), h.r(50), h.r(51), h.r(52), h.r(53), h.r(54), h.r(55), h.r(56), h.r(57), h.r(58),
        h.r(59), h.r(60), h.r(61), h.r(62), h.r(63), h.r(64), h.r(65), h.r(66), h.r(67), h.r(68),
        h.r(69), h.r(70), h.r(71), h.r(72), h.r(73), h.r(74), h.r(75), h.r(76), h.r(77), h.r(78),
        h.r(79), h.r(80), h.r(81), h.r(82), h.r(83), h.r(84), h.r(85), h.r(86), h.r(87), h.r(88),
        h.r(89), h.r(90), h.r(91), h.r(92), h.r(93), h.r(94), h.r(95), h.r(96), h.r(97), h.r(98),
        h.r(99), h.r(100), h.r(101), h.r(102), h.r(103), h.r(104), h.i(105), h.i(106));
}

void callgethyperparams(HostBuffers& h)
{
    ::gethyperparams(h.i(1), h.i(2), h.i(3), h.i(4), h.i(5), h.i(6), h.i(7), h.r(8), h.r(9),
                     h.r(10), h.r(11), h.r(12), h.r(13), h.r(14), h.r(15), h.r(16), h.r(17),
                     h.r(18), h.r(19), h.r(20));
}

void callsethyperparams(HostBuffers& h)
{
    ::sethyperparams(h.i(1), h.i(2), h.i(3), h.i(4), h.i(5), h.i(6), h.i(7), h.r(8), h.r(9),
                     h.r(10), h.r(11), h.r(12), h.r(13), h.r(14), h.r(15), h.r(16), h.r(17),
                     h.r(18), h.r(19), h.r(20));
}

// Buffers of the internal routines pointing at a HostBuffers, argument by
// argument, for the refusal tests that poke single pointers.
HyperParamsIn hyperin(HostBuffers& h)
{
    return {h.i(1),
            h.i(2),
            h.i(3),
            h.i(4),
            h.i(5),
            h.i(6),
            h.i(7),
            h.r(8),
            {h.r(9), h.r(10), h.r(11), h.r(12), h.r(13), h.r(14)},
            {h.r(15), h.r(16), h.r(17)},
            {h.r(18), h.r(19), h.r(20)}};
}

template <class Real, class Integer>
PhysicalStateBuffers<Real, Integer> physicalbuffers(HostBuffers& h)
{
    PhysicalStateBuffers<Real, Integer> b{};
    auto fill = [](auto& slots, int firstarg, auto buffer) {
        for (std::size_t j = 0; j < slots.size(); ++j)
            slots[j] = buffer(firstarg + static_cast<int>(j));
    };
    auto real = [&h](int n) { return h.r(n); };
    auto integer = [&h](int n) { return h.i(n); };
    b.numberofpipes = h.i(1);
    fill(b.pipeintegers, 2, integer);
    b.maximumtimestep = h.r(11);
    fill(b.leadingpairs, 12, real);
    fill(b.pipereals, 32, real);
    fill(b.variablereals, 50, real);
    fill(b.facereals, 52, real);
    fill(b.cellreals, 55, real);
    fill(b.trailingpairs, 77, real);
    fill(b.bcloaded, 105, integer);
    return b;
}

std::int32_t takecode(Store& s) { return geterrorcode(s); }

class StateExchange : public ::testing::Test {
protected:
    void SetUp() override { engine() = taggedstore(); }
    void TearDown() override { engine() = Store{}; }
};

} // namespace

// ---- Fluid parameters ------------------------------------------------------------

TEST(FluidParams, TravelInArgumentOrderAndStoreCpCvAsGiven)
{
    engine() = Store{};
    Store& s = engine();
    s.molweight = 1.5;
    s.gamma = 2.5;
    s.curviscosity = 3.5;
    s.idealviscosity = 99.0; // not exchanged: the current state's viscosity is
    s.cp = 4.5;
    s.cv = 5.5;
    s.curdensity = 6.5;
    s.curenergy = 7.5;
    s.curenthalpy = 8.5;
    s.curpressure = 9.5;
    s.curtemperature = 10.5;
    s.cursoundspeed = 11.5;
    s.fluidmodel = 12;
    s.fluidextra1 = 13.5;
    s.fluidextra2 = 14.5;

    double v[15] = {};
    std::int32_t model = 0;
    ::getfluidparams(&v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11],
                     &model, &v[13], &v[14]);
    for (int n = 1; n <= 14; ++n) {
        if (n == 12)
            continue; // the model, an integer
        EXPECT_EQ(v[n], n + 0.5) << "argument " << n;
    }
    EXPECT_EQ(model, 12);

    // Back in with other values: air's gamma with cp and cv that do not match
    // it. All three are kept as given.
    s.compressibility = 0.9;
    s.fluiderrorcode = 1;
    const double in[15] = {0,     28.97, 1.4,   1.8e-5, 1200.0, 700.0, 1.2, 2.0e5,
                           2.8e5, 1.0e5, 290.0, 340.0,  0,      -1.0,  -2.0};
    const std::int32_t inmodel = 1;
    ::setfluidparams(&in[1], &in[2], &in[3], &in[4], &in[5], &in[6], &in[7], &in[8], &in[9],
                     &in[10], &in[11], &inmodel, &in[13], &in[14]);
    EXPECT_EQ(s.molweight, 28.97);
    EXPECT_EQ(s.gamma, 1.4);
    EXPECT_EQ(s.curviscosity, 1.8e-5);
    EXPECT_EQ(s.cp, 1200.0);
    EXPECT_EQ(s.cv, 700.0);
    EXPECT_EQ(s.curdensity, 1.2);
    EXPECT_EQ(s.curenergy, 2.0e5);
    EXPECT_EQ(s.curenthalpy, 2.8e5);
    EXPECT_EQ(s.curpressure, 1.0e5);
    EXPECT_EQ(s.curtemperature, 290.0);
    EXPECT_EQ(s.cursoundspeed, 340.0);
    EXPECT_EQ(s.fluidmodel, 1);
    EXPECT_EQ(s.fluidextra1, -1.0);
    EXPECT_EQ(s.fluidextra2, -2.0);
    // Not exchanged, so untouched.
    EXPECT_EQ(s.idealviscosity, 99.0);
    EXPECT_EQ(s.compressibility, 0.9);
    EXPECT_EQ(s.fluiderrorcode, 1);
    engine() = Store{};
}

TEST(FluidParams, GasIsUsableOnlyWhenTheDescriptionDefinesOne)
{
    auto setgas = [](Store& s, double molweight, double gamma, double cp, double cv,
                     std::int32_t model) {
        const double z = 0.0;
        return setfluidparams(
            s, {&molweight, &gamma, &z, &cp, &cv, &z, &z, &z, &z, &z, &z, &model, &z, &z});
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

TEST(FluidParams, NullPointerIsRefusedOnTheFluidSide)
{
    Store s;
    s.molweight = 16.04;
    double v[14] = {};
    std::int32_t model = 0;
    FluidParamsOut out{&v[0], &v[1], &v[2], &v[3],  &v[4],  &v[5],  &v[6],
                       &v[7], &v[8], &v[9], &v[10], &model, &v[12], nullptr};
    EXPECT_FALSE(getfluidparams(s, out));
    EXPECT_EQ(v[0], 0.0) << "nothing written";
    EXPECT_EQ(s.fluiderrorcode, coderefused);
    EXPECT_EQ(s.pipeerrorcode, 0);

    s.fluiderrorcode = 0;
    const double one = 1.0;
    FluidParamsIn in{&one, &one, &one, &one, &one,   &one, nullptr,
                     &one, &one, &one, &one, &model, &one, &one};
    EXPECT_FALSE(setfluidparams(s, in));
    EXPECT_EQ(s.molweight, 16.04) << "nothing stored";
    EXPECT_EQ(s.fluiderrorcode, coderefused);
}

// ---- Scheme parameters -------------------------------------------------------------

TEST_F(StateExchange, HyperParamsTravelInArgumentOrderAndComeBackBitForBit)
{
    HostBuffers h;
    callgethyperparams(h);
    EXPECT_EQ(h.i(1)[0], variables);
    EXPECT_EQ(h.i(2)[0], cells);
    EXPECT_EQ(h.i(3)[0], faces);
    visitschemestate(engine(), ExpectHostTagged{h});

    // Overwrite everything, then restore from the same buffers.
    visitschemestate(engine(), Tag{1});
    engine().numberofvariables = 1;
    callsethyperparams(h);
    visitschemestate(engine(), ExpectTagged{0});
    EXPECT_EQ(engine().numberofvariables, variables);
    EXPECT_EQ(takecode(engine()), 0);
}

TEST_F(StateExchange, SetHyperParamsStoresNewCountsAndCopiesWithThem)
{
    Store& s = engine();
    HostBuffers h;
    callgethyperparams(h);
    visitschemestate(s, Tag{1});

    // No variables, two cells, a negative face count: the counts are stored
    // as given, only the first two cell spacings are copied.
    h.i(1)[0] = 0;
    h.i(2)[0] = 2;
    h.i(3)[0] = -4;
    EXPECT_TRUE(sethyperparams(s, hyperin(h)));
    EXPECT_EQ(s.numberofvariables, 0);
    EXPECT_EQ(s.totalcells, 2);
    EXPECT_EQ(s.totalfaces, -4);
    EXPECT_EQ(s.inletbcgradient(1), tag<double>(9, 1, 1)) << "no coefficient copied";
    EXPECT_EQ(s.faceposition(1), tag<double>(15, 1, 1)) << "no face copied";
    EXPECT_EQ(s.celllength(2), tag<double>(19, 2, 0));
    EXPECT_EQ(s.celllength(3), tag<double>(19, 3, 1)) << "copy stops at the new count";
    EXPECT_EQ(s.currentcell, tag<std::int32_t>(4, 1, 0)) << "scalars stored";

    // A later get copies with the stored counts.
    HostBuffers back;
    EXPECT_TRUE(
        gethyperparams(s, {back.i(1),
                           back.i(2),
                           back.i(3),
                           back.i(4),
                           back.i(5),
                           back.i(6),
                           back.i(7),
                           back.r(8),
                           {back.r(9), back.r(10), back.r(11), back.r(12), back.r(13), back.r(14)},
                           {back.r(15), back.r(16), back.r(17)},
                           {back.r(18), back.r(19), back.r(20)}}));
    EXPECT_EQ(back.r(9)[0], HostBuffers::realsentinel);
    EXPECT_EQ(back.r(19)[1], tag<double>(19, 2, 0));
    EXPECT_EQ(back.r(19)[2], HostBuffers::realsentinel);
}

TEST_F(StateExchange, SetHyperParamsRefusesCountsBeyondTheAllocationAndNulls)
{
    Store& s = engine();
    HostBuffers h;
    callgethyperparams(h);
    visitschemestate(s, Tag{1});

    struct Case {
        const char* what;
        int arg;
        std::int32_t count;
    };
    for (const Case c : {Case{"four variables", 1, 4}, Case{"one cell too many", 2, 8},
                         Case{"one face too many", 3, 9}}) {
        HostBuffers bad = h;
        bad.i(c.arg)[0] = c.count;
        EXPECT_FALSE(sethyperparams(s, hyperin(bad))) << c.what;
        EXPECT_EQ(takecode(s), coderefused) << c.what;
        EXPECT_EQ(s.numberofvariables, variables) << c.what << ": counts not stored";
        EXPECT_EQ(s.totalcells, cells) << c.what;
        EXPECT_EQ(s.totalfaces, faces) << c.what;
        visitschemestate(s, ExpectTagged{1});
    }

    // A NULL array is refused only when its group is copied.
    HyperParamsIn in = hyperin(h);
    in.cellreals[2] = nullptr;
    EXPECT_FALSE(sethyperparams(s, in));
    EXPECT_EQ(takecode(s), coderefused);
    visitschemestate(s, ExpectTagged{1});
    h.i(2)[0] = 0;
    in = hyperin(h);
    in.cellreals[2] = nullptr;
    EXPECT_TRUE(sethyperparams(s, in));
    EXPECT_EQ(takecode(s), 0);
}

TEST(HyperParams, GeometryGroupStaysReadableAfterTheNetworkIsReleased)
{
    Store s;
    const std::int32_t n = 2;
    const double length[] = {100.0, 60.0}, diameter[] = {0.5, 0.3}, zero[] = {0.0, 0.0},
                 roughness[] = {1e-5, 1e-5}, dx[] = {25.0, 20.0};
    ASSERT_TRUE(loadpipedata(s, n, length, diameter, diameter, zero, roughness, dx));
    freepipememory(s);
    ASSERT_FALSE(s.networkloaded);

    HostBuffers h;
    EXPECT_TRUE(gethyperparams(s, {h.i(1),
                                   h.i(2),
                                   h.i(3),
                                   h.i(4),
                                   h.i(5),
                                   h.i(6),
                                   h.i(7),
                                   h.r(8),
                                   {h.r(9), h.r(10), h.r(11), h.r(12), h.r(13), h.r(14)},
                                   {h.r(15), h.r(16), h.r(17)},
                                   {h.r(18), h.r(19), h.r(20)}}));
    EXPECT_EQ(h.i(2)[0], 7);
    EXPECT_EQ(h.r(19)[0], 25.0) << "first cell length of pipe 1";
    EXPECT_EQ(h.r(19)[6], 20.0) << "last cell length of pipe 2";
    EXPECT_EQ(h.r(15)[4], 0.0) << "the shared face starts pipe 2 at position 0";
    EXPECT_EQ(takecode(s), 0);
}

// ---- Solution history ---------------------------------------------------------------

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
    s.conserved.release();
    s.previousconserved.release();
    std::vector<double> previous(21, -1.0), current(21, -1.0);
    EXPECT_FALSE(getuhistory(s, previous.data(), current.data()));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_EQ(current[0], -1.0) << "nothing written";
}

// ---- Physical state ------------------------------------------------------------------

TEST_F(StateExchange, PhysParamsTravelInArgumentOrder)
{
    HostBuffers h;
    callgetphysparams(h);
    EXPECT_EQ(takecode(engine()), 0);
    EXPECT_EQ(h.i(1)[0], pipes);
    EXPECT_EQ(h.i(3)[0], 1);
    EXPECT_EQ(h.i(3)[1], 4);
    EXPECT_EQ(h.i(4)[0], 3);
    EXPECT_EQ(h.i(4)[1], 7);
    visitphysicalstate(engine(), ExpectHostTagged{h});
}

TEST_F(StateExchange, PhysParamsComeBackBitForBit)
{
    Store& s = engine();
    HostBuffers h;
    callgetphysparams(h);

    // Run on: every item changes, the cell ranges to other valid ones.
    visitphysicalstate(s, Tag{1});
    s.firstcell.raw() = {2, 5};
    s.lastcell.raw() = {4, 6};
    s.numberofpipes = 1;

    callsetphysparams(h, variables, faces, cells);
    EXPECT_EQ(takecode(s), 0);
    visitphysicalstate(s, ExpectTagged{0});
    EXPECT_EQ(s.firstcell.raw(), firstcells);
    EXPECT_EQ(s.lastcell.raw(), lastcells);
    EXPECT_EQ(s.numberofpipes, pipes);
}

TEST_F(StateExchange, PhysParamsWithoutCellsStillStoreEverythingElse)
{
    Store& s = engine();
    HostBuffers h;
    callgetphysparams(h);
    visitphysicalstate(s, Tag{1});
    callsetphysparams(h, variables, faces, 0);
    EXPECT_EQ(takecode(s), 0);
    visitphysicalstate(s, [](auto& item, int arg) {
        const int variant = (arg >= 55 && arg <= 76) ? 1 : 0;
        ExpectTagged{variant}(item, arg);
    });
}

TEST_F(StateExchange, SetPhysParamsRefusesWhatDoesNotFitAndChangesNothing)
{
    Store& s = engine();
    HostBuffers h;
    callgetphysparams(h);
    visitphysicalstate(s, Tag{1});

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
        HostBuffers bad = h;
        bad.i(1)[0] = c.npipes;
        std::copy(c.first.begin(), c.first.end(), bad.i(3));
        std::copy(c.last.begin(), c.last.end(), bad.i(4));
        callsetphysparams(bad, c.nvars, c.nfaces, c.ncells);
        EXPECT_EQ(takecode(s), coderefused) << c.what;
        visitphysicalstate(s, ExpectTagged{1});
        EXPECT_EQ(s.numberofpipes, pipes) << c.what;
        EXPECT_EQ(s.firstcell.raw(), firstcells) << c.what;
        EXPECT_EQ(s.lastcell.raw(), lastcells) << c.what;
    }

    // A NULL scalar buffer is refused whatever the counts.
    const std::int32_t zero = 0;
    PhysicalStateIn in = physicalbuffers<const double, const std::int32_t>(h);
    in.bcloaded[1] = nullptr;
    EXPECT_FALSE(setphysparams(s, &zero, &zero, &zero, in));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_EQ(s.numberofpipes, pipes);

    // With every count 0 the arrays' NULLs are fine: only the scalars and
    // pairs are stored, and the number of pipes becomes 0.
    in = physicalbuffers<const double, const std::int32_t>(h);
    in.numberofpipes = &zero;
    in.pipeintegers.fill(nullptr);
    in.pipereals.fill(nullptr);
    in.variablereals.fill(nullptr);
    in.facereals.fill(nullptr);
    in.cellreals.fill(nullptr);
    EXPECT_TRUE(setphysparams(s, &zero, &zero, &zero, in));
    EXPECT_EQ(takecode(s), 0);
    EXPECT_EQ(s.numberofpipes, 0);
    EXPECT_EQ(s.endpressure(2), tag<double>(13, 1, 0));
    EXPECT_EQ(s.bcloaded(2), tag<std::int32_t>(106, 1, 0));
    EXPECT_EQ(s.pressure(1), tag<double>(60, 1, 1)) << "cells untouched";
}

TEST(PhysParams, NothingCanBeCopiedOutOfAReleasedNetwork)
{
    Store s;
    const std::int32_t n = 2;
    const double length[] = {100.0, 60.0}, diameter[] = {0.5, 0.3}, zero[] = {0.0, 0.0},
                 roughness[] = {1e-5, 1e-5}, dx[] = {25.0, 20.0};
    ASSERT_TRUE(loadpipedata(s, n, length, diameter, diameter, zero, roughness, dx));
    freepipememory(s);

    HostBuffers h;
    EXPECT_FALSE(getphysparams(s, physicalbuffers<double, std::int32_t>(h)));
    EXPECT_EQ(takecode(s), coderefused);
    EXPECT_EQ(h.i(1)[0], HostBuffers::integersentinel) << "nothing written";
    EXPECT_EQ(h.r(11)[0], HostBuffers::realsentinel);
}
