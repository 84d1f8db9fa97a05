// The engine store: every scalar and array the engine keeps between calls.
//
// The engine holds one pipe network at a time. Pipes 1..numberofpipes lie in
// series; cells are numbered globally 1..totalcells, pipe p owning
// firstcell(p)..lastcell(p); face f lies between cells f-1 and f, so faces run
// 1..totalfaces = totalcells + 1 and the outlet face of pipe p is the inlet
// face of pipe p+1. End 1 is the upstream (inlet) end, end 2 the downstream
// (outlet) end; mass flow is positive from end 1 towards end 2.
//
// Internal routines take the store by reference, so tests can build a fresh
// store per case; only the exported C layer touches the process-wide one.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

#include "engine/array.h"
#include "engine/items.h"

namespace pelmora {

constexpr double largestdouble = std::numeric_limits<double>::max();

// Working face arrays of the steady march, sized when a network is loaded.
struct MarchFaces {
    Array1<double> pressure, temperature, density, energy, enthalpy, soundspeed, viscosity,
        velocity, machnumber;
};

// What an item holds in a fresh store: a scalar its start value (zero,
// false or null), an array nothing until a load allocates it.
template <class Element, Dimension D, class Start>
Holder<Element, D> startholder(Start start)
{
    if constexpr (D == Dimension::single)
        return Element(start);
    else
        return {};
}

struct Store {
    // Every item of engine/items.h, in the order of its rows.
#define PELMORA_DECLARE(C, name, element, dimension, lifetime, start, argument)                    \
  Holder<element, Dimension::dimension> name = startholder<element, Dimension::dimension>(start);
    PELMORA_STORE_ITEMS(PELMORA_DECLARE)
#undef PELMORA_DECLARE

    // ==== Working storage sized at load
    MarchFaces marchfaces;
    // The chain update's working window (solver/fct.cpp): a fixed size that
    // does not depend on the network, taken on the first update and kept.
    Array1<double> chainwindow;
};

// Calls visit(member, ItemAt<row>{}) for every item of the store, in the
// order of the registry's rows.
template <class Visit>
constexpr void foreachitem(Visit&& visit)
{
#define PELMORA_VISIT(C, name, ...) visit(&Store::name, ItemAt<ItemRow::name>{});
    PELMORA_STORE_ITEMS(PELMORA_VISIT)
#undef PELMORA_VISIT
}

// The conserved variables of the gas model (mass, momentum, energy per
// unit length): the count a load gives every per-variable array.
constexpr std::int32_t gasvariables = 3;

// The one store that the exported entry points work on.
Store& engine();

// Sizes the steady-march face arrays for the counts
// of the network just loaded (totalfaces).
void sizeworkingstorage(Store& s);

// Exchanges the working storage of two stores. A network load sizes it in
// the store it builds and swaps it in together with the new arrays, so a
// failed allocation leaves the loaded network untouched. Anything added to
// sizeworkingstorage belongs here as well.
void swapworkingstorage(Store& a, Store& b) noexcept;

// The cells every per-cell array, every per-face array (less the last face)
// and both conserved levels can hold: what the latest load allocated, or
// less than 1 after the network was released. (The first array of each
// group stands for the group: see firstofgroup.)
std::int64_t allocatedcells(const Store& s);

// True when every array of both groups holds what the scheme walks with the
// store's counts: numberofpipes elements per pipe, totalcells per cell,
// totalcells + 1 per face, the gas variables per variable and both conserved
// levels of totalcells cells. After a load this holds; the parameter
// exchange can store other counts, never ones beyond the allocation. Both
// cost the same whatever the size of the network.
bool arraysholdcounts(const Store& s);

// True when a network is loaded and p names one of its pipes.
inline bool haspipe(const Store& s, std::int64_t p)
{
    return s.networkloaded && p >= 1 && p <= s.numberofpipes && p <= s.firstcell.size();
}

// True when pipe p is loaded and its cell range firstcell(p)..lastcell(p)
// lies within a per-cell array of `ncells` elements. After a load this holds
// for every pipe; a host restoring a saved state could have stored any range.
inline bool haspipecells(const Store& s, std::int64_t p, std::int64_t ncells)
{
    if (!haspipe(s, p) || p > s.lastcell.size())
        return false;
    const std::int64_t first = s.firstcell(p);
    const std::int64_t last = s.lastcell(p);
    return first >= 1 && first <= last && last <= ncells;
}

// The boundary values of one end of one pipe (end 1 its inlet, end 2 its
// outlet): the latest ones a host loaded, the ones before them (the drivers
// ramp from those to the latest across a host step), and whether each is
// imposed. Real and Flag carry the constness of the store.
template <class Real, class Flag>
struct PipeEndOf {
    Real& pressure;
    Real& temperature;
    Real& massflow;
    Real& lastpressure;
    Real& lasttemperature;
    Real& lastmassflow;
    Flag& pressurefixed;
    Flag& temperaturefixed;
    Flag& massflowfixed;
};
using PipeEnd = PipeEndOf<double, std::int32_t>;
using ConstPipeEnd = PipeEndOf<const double, const std::int32_t>;

template <class S>
auto pipeend(S& s, std::int32_t pipe, std::int32_t end)
{
    using End = std::conditional_t<std::is_const_v<S>, ConstPipeEnd, PipeEnd>;
    if (end == 1)
        return End{
            s.inletpressure(pipe),      s.inlettemperature(pipe),      s.inletmassflow(pipe),
            s.lastinletpressure(pipe),  s.lastinlettemperature(pipe),  s.lastinletmassflow(pipe),
            s.inletpressurefixed(pipe), s.inlettemperaturefixed(pipe), s.inletmassflowfixed(pipe)};
    return End{
        s.outletpressure(pipe),      s.outlettemperature(pipe),      s.outletmassflow(pipe),
        s.lastoutletpressure(pipe),  s.lastoutlettemperature(pipe),  s.lastoutletmassflow(pipe),
        s.outletpressurefixed(pipe), s.outlettemperaturefixed(pipe), s.outletmassflowfixed(pipe)};
}

} // namespace pelmora
