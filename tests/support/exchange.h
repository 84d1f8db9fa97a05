// The host's side of an exchange call, laid out by the store's registry
// (engine/items.h): one buffer per argument, in argument order, and a call of
// the exported entry point with them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/items.h"

namespace pelmora::testing {

constexpr double realsentinel = -123.5;
constexpr std::int32_t integersentinel = -123;

// One buffer per argument of call C, each `room` elements long and filled
// with the sentinel of its type.
template <Call C>
struct HostArguments {
    static constexpr std::size_t count = argumentcount(C);
    static constexpr std::array<ArgumentInfo, count> layout = argumentsof<C>();

    explicit HostArguments(std::size_t room)
    {
        for (std::size_t slot = 0; slot < count; ++slot) {
            if (layout[slot].item->integer)
                integers[slot].assign(room, integersentinel);
            else
                reals[slot].assign(room, realsentinel);
        }
    }

    // The buffer of argument `slot` (from 0).
    void* buffer(std::size_t slot)
    {
        return layout[slot].item->integer ? static_cast<void*>(integers[slot].data())
                                          : static_cast<void*>(reals[slot].data());
    }
    std::array<void*, count> pointers()
    {
        std::array<void*, count> p{};
        for (std::size_t slot = 0; slot < count; ++slot)
            p[slot] = buffer(slot);
        return p;
    }
    std::array<const void*, count> inputs()
    {
        std::array<const void*, count> p{};
        for (std::size_t slot = 0; slot < count; ++slot)
            p[slot] = buffer(slot);
        return p;
    }
    // Element j (from 1) of the buffer of item `row`'s argument (`end` for
    // the second argument of an end item).
    double& real(ItemRow row, std::int64_t j = 1, int end = 1)
    {
        return reals[argumentof(row) + static_cast<std::size_t>(end - 1)]
                    [static_cast<std::size_t>(j - 1)];
    }
    std::int32_t& integer(ItemRow row, std::int64_t j = 1, int end = 1)
    {
        return integers[argumentof(row) + static_cast<std::size_t>(end - 1)]
                       [static_cast<std::size_t>(j - 1)];
    }

    std::array<std::vector<double>, count> reals;
    std::array<std::vector<std::int32_t>, count> integers;
};

// Calls an exported entry point with the leading arguments and then
// argument i from a[i], each cast to the type of its parameter.
template <class... Parameter, std::size_t N, class... Leading>
void callexported(void (*function)(Parameter...), const std::array<void*, N>& a, Leading... leading)
{
    using Parameters = std::tuple<Parameter...>;
    constexpr std::size_t first = sizeof...(Leading);
    static_assert(first + N == sizeof...(Parameter));
    [&]<std::size_t... I>(std::index_sequence<I...>)
    {
        function(leading..., static_cast<std::tuple_element_t<first + I, Parameters>>(a[I])...);
    }
    (std::make_index_sequence<N>{});
}

} // namespace pelmora::testing
