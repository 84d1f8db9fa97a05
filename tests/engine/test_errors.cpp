// The two error codes and how the host reads them.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <utility>

#include "engine/capi.h"
#include "engine/errors.h"
#include "engine/store.h"

using namespace pelmora;

TEST(ErrorCode, ReportsTheLargerCodeNeverBelowZeroAndReadingClearsBoth)
{
    const std::int32_t cases[][3] = {{0, 0, 0}, {1, 2, 2},  {3, 1, 3},   {1, 0, 1},
                                     {0, 4, 4}, {-5, 0, 0}, {-1, -2, 0}, {-7, 2, 2}};
    Store s;
    for (const auto& [fluid, pipe, read] : cases) {
        s.fluiderrorcode = fluid, s.pipeerrorcode = pipe;
        EXPECT_EQ(geterrorcode(s), read) << fluid << " " << pipe;
        EXPECT_EQ(geterrorcode(s), 0) << fluid << " " << pipe;
    }
}

TEST(ErrorCode, AnExceptionInsideAnEntryPointBecomesARefusalOnItsSide)
{
    Store& s = engine() = Store{};
    guarded(Side::pipe, [](Store&) { throw std::bad_alloc(); });
    EXPECT_EQ(std::pair(s.fluiderrorcode, s.pipeerrorcode), std::pair(0, 3));
    s.pipeerrorcode = 0;
    guarded(Side::fluid, [](Store&) { throw std::runtime_error("anything"); });
    EXPECT_EQ(std::pair(s.fluiderrorcode, s.pipeerrorcode), std::pair(3, 0));
}
