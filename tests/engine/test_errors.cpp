// The two error codes and how the host reads them.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "engine/capi.h"
#include "engine/errors.h"
#include "engine/store.h"

namespace pelmora {
namespace {

std::int32_t read(Store& s, std::int32_t fluid, std::int32_t pipe)
{
    s.fluiderrorcode = fluid;
    s.pipeerrorcode = pipe;
    return geterrorcode(s);
}

TEST(ErrorCode, ReportsTheLargerCodeAndClearsBoth)
{
    Store s;
    EXPECT_EQ(read(s, 0, 0), 0);
    EXPECT_EQ(read(s, 1, 2), 2); // a Reynolds cap hides a fluid floor
    EXPECT_EQ(s.fluiderrorcode, 0);
    EXPECT_EQ(s.pipeerrorcode, 0);
    EXPECT_EQ(geterrorcode(s), 0); // reading cleared it
    EXPECT_EQ(read(s, 3, 1), 3);
    EXPECT_EQ(read(s, 1, 0), 1);
    EXPECT_EQ(read(s, 0, 4), 4);
}

TEST(ErrorCode, NegativeCodesReadAsZeroAndAreCleared)
{
    Store s;
    EXPECT_EQ(read(s, -5, 0), 0);
    EXPECT_EQ(read(s, -1, -2), 0);
    EXPECT_EQ(read(s, -7, 2), 2);
    EXPECT_EQ(s.fluiderrorcode, 0);
    EXPECT_EQ(s.pipeerrorcode, 0);
}

TEST(ErrorCode, AnExceptionInsideAnEntryPointBecomesARefusalOnItsSide)
{
    Store& s = engine();
    s.pipeerrorcode = 0;
    s.fluiderrorcode = 0;
    guarded(Side::pipe, [](Store&) { throw std::bad_alloc(); });
    EXPECT_EQ(s.pipeerrorcode, coderefused);
    EXPECT_EQ(s.fluiderrorcode, 0);

    s.pipeerrorcode = 0;
    guarded(Side::fluid, [](Store&) { throw std::runtime_error("anything"); });
    EXPECT_EQ(s.fluiderrorcode, coderefused);
    EXPECT_EQ(s.pipeerrorcode, 0);
    EXPECT_EQ(geterrorcode(s), 3);
}

} // namespace
} // namespace pelmora
