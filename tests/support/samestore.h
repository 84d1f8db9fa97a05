// Bit-for-bit comparison of two whole stores: every item of the registry
// (engine/items.h). Only the working storage (the chain update's window, the
// steady march's face arrays) is left out; it carries nothing from one call
// to the next.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "engine/store.h"

namespace pelmora::testing {

// Two doubles with the same bits (NaN payloads included).
inline bool samebits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// One item: a single value, an end pair or an array; doubles by their bits
// (NaN payloads included).
template <class T>
void expectsameitem(const T& a, const T& b, std::string_view what)
{
    auto same = []<class U>(const U& x, const U& y) {
        if constexpr (std::is_same_v<U, double>)
            return samebits(x, y);
        else
            return x == y;
    };
    bool equal = false;
    if constexpr (requires { a.raw(); })
        equal = std::ranges::equal(a.raw(), b.raw(), same);
    else if constexpr (requires { a(2); })
        equal = same(a(1), b(1)) && same(a(2), b(2));
    else
        equal = same(a, b);
    if constexpr (requires { a.nrows(); })
        equal = equal && a.nrows() == b.nrows();
    EXPECT_TRUE(equal) << what;
}

inline void expectsamestore(const Store& a, const Store& b)
{
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        expectsameitem(a.*item, b.*item, ItemAt<R>::info.name);
    });
}

} // namespace pelmora::testing
