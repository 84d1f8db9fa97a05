// The host's side of an exchange call, laid out by the store's registry
// (engine/items.h): one buffer per argument, in argument order, and a call of
// the exported entry point with them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
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
            integers[slot].assign(layout[slot].item->integer ? room : 0, integersentinel);
            reals[slot].assign(layout[slot].item->integer ? 0 : room, realsentinel);
        }
    }

    // Element k (from 0) of the buffer of argument `slot` (from 0).
    template <class T>
    T& at(std::size_t slot, std::size_t k = 0)
    {
        if constexpr (std::is_same_v<T, double>)
            return reals[slot][k];
        else
            return integers[slot][k];
    }
    std::array<void*, count> pointers()
    {
        std::array<void*, count> p{};
        for (std::size_t slot = 0; slot < count; ++slot)
            p[slot] = layout[slot].item->integer ? static_cast<void*>(integers[slot].data())
                                                 : static_cast<void*>(reals[slot].data());
        return p;
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
