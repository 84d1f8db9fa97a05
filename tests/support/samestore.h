// Bit-for-bit comparison of two whole stores: every item of the registry
// (engine/items.h). Only the working storage (the chain update's window, the
// steady march's face arrays) is left out; it carries nothing from one call
// to the next.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engine/store.h"

namespace pelmora::testing {

inline bool samebits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Doubles by their bits (NaN payloads included), anything else by value.
template <class T>
bool samevalue(const T& a, const T& b)
{
    if constexpr (std::is_same_v<T, double>)
        return samebits(a, b);
    else
        return a == b;
}

template <class T>
void expectsameitems(const std::vector<T>& a, const std::vector<T>& b, std::string_view what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!samevalue(a[i], b[i])) {
            ADD_FAILURE() << what << " differs at element " << i + 1 << ": " << a[i] << " against "
                          << b[i];
            return;
        }
}

template <class T>
void expectsameitem(const T& a, const T& b, std::string_view what)
{
    EXPECT_TRUE(samevalue(a, b)) << what;
}
template <class T>
void expectsameitem(const EndPair<T>& a, const EndPair<T>& b, std::string_view what)
{
    for (int end = 1; end <= 2; ++end)
        EXPECT_TRUE(samevalue(a(end), b(end))) << what << ", end " << end;
}
template <class T>
void expectsameitem(const Array1<T>& a, const Array1<T>& b, std::string_view what)
{
    expectsameitems(a.raw(), b.raw(), what);
}
inline void expectsameitem(const Array2& a, const Array2& b, std::string_view what)
{
    EXPECT_EQ(a.nrows(), b.nrows()) << what;
    expectsameitems(a.raw(), b.raw(), what);
}

inline void expectsamestore(const Store& a, const Store& b)
{
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        expectsameitem(a.*item, b.*item, ItemAt<R>::info.name);
    });
}

} // namespace pelmora::testing
