// The state exchange and the queries, through the exported entry points on
// the engine's own store. Every item of the registry (engine/items.h) goes in
// through its set call and comes out of its get call in its own argument,
// touching nothing else; the queries read back what went in; refused calls
// change nothing, write nothing and set the code of their side.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "pelmora.h"
#include "support/exchange.h"
#include "support/gasnetwork.h"
#include "support/samestore.h"

using namespace pelmora;
using namespace pelmora::testing;

namespace {

// Two pipes of 3 and 4 cells; host buffers one longer than any array.
constexpr std::int32_t npipes = 2, ncells = 7, nfaces = 8, nvars = 3;
constexpr std::size_t room = nvars * ncells + 1;

// Host buffers of call C with a value of their own in every element (the
// variant shifts them all), but the counts and cell ranges as loaded, since
// they must stay valid: the number of pipes and the first and last cells of
// each pipe lead the physical state, the three counts the scheme parameters.
template <Call C>
HostArguments<C> tagged(int variant)
{
    HostArguments<C> h(room);
    for (std::size_t slot = 0; slot < h.count; ++slot)
        for (std::size_t k = 0; k < room; ++k) {
            const auto tag = 1000 * (100 * int(C) + slot) + k + 1000000 * std::size_t(variant);
            if (h.layout[slot].item->integer)
                h.integers[slot][k] = std::int32_t(tag);
            else
                h.reals[slot][k] = double(tag) + 0.25;
        }
    if constexpr (C == Call::phys)
        h.integers[0][0] = npipes, h.integers[2] = {1, 4}, h.integers[3] = {3, 7};
    if constexpr (C == Call::hyper)
        h.integers[0][0] = nvars, h.integers[1][0] = ncells, h.integers[2][0] = nfaces;
    return h;
}

// A loaded engine whose exchanged items hold variant 1, whose counts or cell
// ranges (those call C stores) differ from the loaded ones, and whose two
// codes are set: whatever a call should not write, or fails to, shows.
void loadscrambled(Call C = Call::none)
{
    Store& s = engine() = Store{};
    loadnaturalgas(s);
    loadline(s, {{30.0, 0.5}, {40.0, 0.3, 0.01, 3e-5}});
    callexported(::setphysparams, tagged<Call::phys>(1).pointers(), &nvars, &nfaces, &ncells);
    callexported(::sethyperparams, tagged<Call::hyper>(1).pointers());
    callexported(::setfluidparams, tagged<Call::fluid>(1).pointers());
    callexported(::setuhistory, tagged<Call::history>(1).pointers(), &nvars, &ncells);
    if (C == Call::phys)
        s.numberofpipes = 1, s.firstcell.raw() = {2, 5}, s.lastcell.raw() = {4, 6};
    if (C == Call::hyper)
        s.numberofvariables = 1, s.totalcells = 2, s.totalfaces = 3;
    s.fluiderrorcode = 1, s.pipeerrorcode = 2;
}

// Calls f(argument, element from 0, value) for every element of a stored
// item; the host's layout of a conserved level runs over the cells first.
template <class T, class F>
void elements(T& x, std::size_t slot, F f)
{
    if constexpr (std::is_same_v<T, Array2>)
        for (std::int64_t k = 1; k <= x.nrows(); ++k)
            for (std::int64_t i = 1; i <= x.ncols(); ++i)
                f(slot, std::size_t((k - 1) * x.ncols() + i - 1), x(k, i));
    else if constexpr (requires { x.size(); })
        for (std::int64_t j = 1; j <= x.size(); ++j)
            f(slot, std::size_t(j - 1), x(j));
    else if constexpr (requires { x(2); })
        f(slot, 0, x(1)), f(slot + 1, 0, x(2));
    else
        f(slot, 0, x);
}

template <Call C, class Get, class Set, class... Counts>
void roundtrip(Get get, Set set, const Counts*... counts)
{
    SCOPED_TRACE(static_cast<int>(C));
    loadscrambled(C);
    const Store before = engine();
    HostArguments<C> in = tagged<C>(0), out(room);
    callexported(set, in.pointers(), counts...);
    callexported(get, out.pointers());
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        if constexpr (ItemAt<R>::info.call == C)
            elements(engine().*item, argumentof(R), [&]<class T>(std::size_t slot, auto k, T v) {
                EXPECT_EQ(v, in.template at<T>(slot, k)) << "set, argument " << slot << ":" << k;
                EXPECT_EQ(v, out.template at<T>(slot, k)) << "get, argument " << slot << ":" << k;
            });
        else // every other item as it was, both error codes included
            expectsameitem(before.*item, engine().*item, ItemAt<R>::info.name);
    });
}

// A call with host buffers tagged<C>(0) after the edits (element j of an
// item's argument set to a value; j = 0: the pointer NULL); true when the
// call left the buffers as they were.
using Edit = std::tuple<ItemRow, std::int64_t, std::int32_t>;
template <Call C, class F, class... Count>
std::function<bool()> call(F f, std::vector<Edit> edits, Count... counts)
{
    return [=] {
        HostArguments<C> h = tagged<C>(0);
        auto p = h.pointers();
        for (const auto& [row, j, value] : edits)
            if (j == 0)
                p[argumentof(row)] = nullptr;
            else
                h.integers[argumentof(row)][std::size_t(j - 1)] = value;
        const HostArguments<C> given = h;
        callexported(f, p, &counts...);
        return h.reals == given.reals && h.integers == given.integers;
    };
}

} // namespace

TEST(Exchange, EveryItemGoesInAndComesOutInItsOwnArgumentAndNothingElseChanges)
{
    roundtrip<Call::phys>(::getphysparams, ::setphysparams, &nvars, &nfaces, &ncells);
    roundtrip<Call::hyper>(::gethyperparams, ::sethyperparams);
    roundtrip<Call::fluid>(::getfluidparams, ::setfluidparams);
    roundtrip<Call::history>(::getuhistory, ::setuhistory, &nvars, &ncells);

    // A description with gamma 1 (cv would divide by zero) defines no gas.
    HostArguments<Call::fluid> gas = tagged<Call::fluid>(0);
    gas.reals[argumentof(ItemRow::gamma)][0] = 1.0;
    callexported(::setfluidparams, gas.pointers());
    EXPECT_FALSE(engine().fluidloaded);
}

TEST(Exchange, RefusedCallsChangeNothingWriteNothingAndSetTheCodeOfTheirSide)
{
    enum { loaded, released, fresh };
    // clang-format off
    auto phys = [](std::vector<Edit> e, std::int32_t v = 3, std::int32_t f = 8, std::int32_t c = 7) {
        return call<Call::phys>(::setphysparams, e, v, f, c); };
    const std::tuple<const char*, int, std::function<bool()>, bool> cases[] = {
        {"phys: an eighth cell", loaded, phys({}, 3, 8, 8), false},
        {"phys: a ninth face", loaded, phys({}, 3, 9, 7), false},
        {"phys: counts in getshape's order", loaded, phys({}, 3, 7, 8), false},
        {"phys: a third pipe", loaded, phys({{ItemRow::numberofpipes, 1, 3}}), false},
        {"phys: pipe 2 past the cells", loaded, phys({{ItemRow::lastcell, 2, 8}}), false},
        {"phys: pipe 1 from cell 0", loaded, phys({{ItemRow::firstcell, 1, 0}}), false},
        {"phys: pipe 2 backwards", loaded, phys({{ItemRow::firstcell, 2, 5}, {ItemRow::lastcell, 2, 4}}), false},
        {"phys: a NULL single", loaded, phys({{ItemRow::maximumtimestep, 0, 0}}), false},
        {"phys: after release", released, phys({}), false},
        {"phys: before any load", fresh, phys({}), false},
        {"hyper: an eighth cell", loaded, call<Call::hyper>(::sethyperparams, {{ItemRow::totalcells, 1, 8}}), false},
        {"history: an eighth cell", loaded, call<Call::history>(::setuhistory, {}, 3, 8), false},
        {"history: a NULL level", loaded, call<Call::history>(::setuhistory, {{ItemRow::conserved, 0, 0}}, 3, 7), false},
        {"get history after release", released, call<Call::history>(::getuhistory, {}), false},
        {"get phys after release", released, call<Call::phys>(::getphysparams, {}), false},
        {"get phys: a NULL array", loaded, call<Call::phys>(::getphysparams, {{ItemRow::pressure, 0, 0}}), false},
        {"get fluid: a NULL single", loaded, call<Call::fluid>(::getfluidparams, {{ItemRow::cv, 0, 0}}), true},
        {"set fluid: a NULL single", loaded, call<Call::fluid>(::setfluidparams, {{ItemRow::cv, 0, 0}}), true},
    };
    // clang-format on
    for (const auto& [what, setup, run, fluidside] : cases) {
        SCOPED_TRACE(what);
        loadscrambled();
        if (setup != loaded)
            setup == released ? ::freepipememory() : void(engine() = Store{});
        const Store before = engine();
        EXPECT_TRUE(run()) << "a refused get writes nothing";
        EXPECT_EQ(std::exchange(engine().fluiderrorcode, before.fluiderrorcode),
                  fluidside ? 3 : before.fluiderrorcode);
        EXPECT_EQ(std::exchange(engine().pipeerrorcode, before.pipeerrorcode),
                  fluidside ? before.pipeerrorcode : 3);
        expectsamestore(before, engine());
    }

    // A group whose count is 0 is skipped and its pointers are not read.
    loadscrambled();
    std::vector<Edit> nullarrays = {{ItemRow::numberofpipes, 1, 0}};
    for (const ArgumentInfo& a : HostArguments<Call::phys>::layout)
        if (a.item->isarray())
            nullarrays.emplace_back(ItemRow(a.item - iteminfo), 0, 0);
    EXPECT_TRUE(phys(nullarrays, 0, 0, 0)() && engine().pipeerrorcode == 2) << "accepted";
}

// What loadscrambled stored through setphysparams, read back by every query.
TEST(Exchange, EveryQueryReadsItsOwnItem)
{
    loadscrambled();
    HostArguments<Call::phys> in = tagged<Call::phys>(1);
    using Query = std::pair<void (*)(std::int32_t, double*), ItemRow>;
    // clang-format off
#define PROFILE(q, item) Query{::get##q, ItemRow::item}
#define END(q) Query{::getbc##q, ItemRow::bc##q}
    const Query queries[] = {
        PROFILE(diameter, celldiameter), PROFILE(density, density), PROFILE(enthalpy, enthalpy),
        PROFILE(internalenergy, internalenergy), PROFILE(machnumber, machnumber),
        PROFILE(massflowrate, massflowrate), PROFILE(pressure, pressure),
        PROFILE(soundspeed, soundspeed), PROFILE(temperature, temperature),
        PROFILE(velocity, velocity), END(density), END(enthalpy), END(internalenergy),
        END(machnumber), END(massflowrate), END(pressure), END(soundspeed), END(temperature),
        END(velocity)};
#undef PROFILE
#undef END
    // clang-format on
    for (const Query& q : queries)
        for (std::int32_t at = 0; at <= 3; ++at) { // an end or a pipe; 0 and 3 are neither
            const bool end = iteminfo[std::size_t(q.second)].dimension == Dimension::end,
                       given = at == 1 || at == 2;
            const std::size_t n = end ? 1 : at == 1 ? 3 : 4, first = at == 1 ? 0 : 3;
            std::vector<double> v(room, realsentinel);
            q.first(at, v.data());
            EXPECT_EQ(std::exchange(engine().pipeerrorcode, 2), given || end ? 2 : 3) << at;
            for (std::size_t i = 0; i <= n; ++i)
                EXPECT_EQ(v[i], i == n || !given ? realsentinel
                                : end            ? in.at<double>(argumentof(q.second) + at - 1)
                                                 : in.at<double>(argumentof(q.second), first + i))
                    << iteminfo[std::size_t(q.second)].name << " " << at << ", element " << i;
        }
    std::int32_t shape[4] = {}, n = -1;
    ::getnumberofcells(2, &n);
    EXPECT_EQ(n, 4);

    // The counts and the network-end state outlive the network, the
    // profiles do not.
    ::freepipememory();
    ::getshape(&shape[0], &shape[1], &shape[2], &shape[3]);
    EXPECT_EQ(std::vector<std::int32_t>(shape, shape + 4),
              (std::vector<std::int32_t>{nvars, ncells, nfaces, npipes}));
    double v[2] = {realsentinel, realsentinel};
    ::getbcvelocity(2, &v[0]);
    ::getpressure(1, &v[1]);
    EXPECT_EQ(v[0], in.at<double>(argumentof(ItemRow::bcvelocity) + 1));
    EXPECT_EQ(v[1], realsentinel);
    EXPECT_EQ(engine().pipeerrorcode, 3);
}
