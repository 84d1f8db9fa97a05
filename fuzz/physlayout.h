// The arguments of the exchange calls as the store's registry
// (engine/items.h) lays them out, with the kind and the count of each, so
// the harness can size every buffer as the contract asks: a per-pipe item
// has numberofpipes elements, a per-cell item totalcells, and so on.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>

#include "engine/items.h"
#include "pelmora.h"

namespace pelmorafuzz {

using pelmora::argumentof;
using pelmora::Call;
using pelmora::ItemRow;

enum class Kind { integer, real };
enum class Group { scalar, pipe, variable, face, cell };

struct Argument {
    Kind kind;
    Group group;
};

constexpr Group groupof(pelmora::Dimension dimension)
{
    switch (dimension) {
    case pelmora::Dimension::pipe:
        return Group::pipe;
    case pelmora::Dimension::variable:
        return Group::variable;
    case pelmora::Dimension::face:
        return Group::face;
    case pelmora::Dimension::cell:
        return Group::cell;
    default:
        return Group::scalar;
    }
}

// The arguments of one exchange call, in argument order.
template <Call C>
constexpr std::array<Argument, pelmora::argumentcount(C)> argumentsof()
{
    std::array<Argument, pelmora::argumentcount(C)> arguments{};
    const auto layout = pelmora::argumentsof<C>();
    for (std::size_t slot = 0; slot < layout.size(); ++slot)
        arguments[slot] = {layout[slot].item->integer ? Kind::integer : Kind::real,
                           groupof(layout[slot].item->dimension)};
    return arguments;
}

// getphysparams's arguments; setphysparams takes three copy counts first.
constexpr int physitemcount = static_cast<int>(pelmora::argumentcount(Call::phys));
constexpr std::array<Argument, physitemcount> physitems = argumentsof<Call::phys>();

// Calls an exported entry point with argument i from a[i], each cast to the
// type of its parameter.
template <class... Parameter>
void callwith(void (*function)(Parameter...), void* const* a)
{
    using Parameters = std::tuple<Parameter...>;
    [&]<std::size_t... I>(std::index_sequence<I...>)
    {
        function(static_cast<std::tuple_element_t<I, Parameters>>(a[I])...);
    }
    (std::index_sequence_for<Parameter...>{});
}

// getphysparams with item i at a[i].
inline void callgetphysparams(void* const* a) { callwith(::getphysparams, a); }

// setphysparams with the three copy counts (per variable, per face, per cell)
// at counts[0..2], then item i at a[i] (item 0, the number of pipes, is the
// fourth argument).
inline void callsetphysparams(void* const* counts, void* const* a)
{
    std::array<void*, 3 + physitemcount> all{counts[0], counts[1], counts[2]};
    std::copy(a, a + physitemcount, all.begin() + 3);
    callwith(::setphysparams, all.data());
}

} // namespace pelmorafuzz
