// The drivers take no heap memory once a network is loaded: working storage
// is sized at load, and the chain update takes its window on the first call.
//
// This file replaces the global allocation functions of the test_drivers
// binary with counting ones. They count only while a test has switched the
// counter on and otherwise behave like the standard ones, so every other
// test of the binary is unaffected.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "drivers/drivers.h"
#include "support/gasnetwork.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void* allocatealigned(std::size_t size, std::align_val_t alignment)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
}

} // namespace

// Memory from these operators is released by std::free, as they take it
// from std::malloc; GCC cannot see that pairing through the operators.
#if defined(__GNUC__) && !defined(__clang__)
#  pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment)
{
    if (void* p = allocatealigned(size, alignment))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    if (void* p = allocatealigned(size, alignment))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace pelmora {
namespace {

using testing::Line;

// Heap allocations made while `run` executes.
template <class Run>
long allocationsduring(Run run)
{
    allocations = 0;
    counting = true;
    run();
    counting = false;
    return allocations.load();
}

// A flowing three-pipe line (tapered, inclined, wall heat) on the ideal gas
// and on host routines, both ends driven, every driver called once first.
class NoAllocation : public ::testing::TestWithParam<bool> {
protected:
    Store s;
    void SetUp() override
    {
        const bool host = GetParam();
        if (host)
            ASSERT_TRUE(loadfluid(s, nullptr, hostpt, hostrhoe, hostph, 17.0, 1.3, 1.1e-5, 1.0, 2));
        else
            ASSERT_TRUE(testing::loadnaturalgas(s));
        Line a, b, c;
        a.length = 3000.0;
        a.cellsize = 50.0;
        a.inclination = 0.01;
        a.htc = 3.0;
        b = a;
        b.diameter = 0.45;
        b.inclination = -0.02;
        c = a;
        c.length = 20000.0; // several kernel blocks
        ASSERT_TRUE(testing::loadline(s, {a, b, c}));
        testing::startuniform(s, {60e5, 59e5, 58e5}, {288.0, 288.0, 288.0}, {80.0, 80.0, 80.0});
        loadbc(s, 1, 60e5, 290.0, 0.0, 1, 1, 0);
        loadbc(s, 2, 0.0, 0.0, 90.0, 0, 0, 1);
        double elapsed = 0.0;
        transientpipes(s, 1.0);
        transientpipe(s, 2, 1.0);
        steadypipes(s, 1.0, elapsed);
        steadypipe(s, 2, 1.0, elapsed);
    }

    // The ideal gas of loadnaturalgas, through host routines.
    static constexpr double R = 8314.3 / 17.0, cv = 8314.3 / (0.3 * 17.0);
    static void hostpt(void*, double pkpa, double tc, double* rho, double* e, double* h, double* mu,
                       double* c)
    {
        const double T = tc + 273.15;
        *rho = pkpa * 1000.0 / (R * T);
        *e = cv * T / 1000.0;
        *h = (cv + R) * T / 1000.0;
        *mu = 0.011;
        *c = 0.0;
    }
    static void hostrhoe(void*, double rho, double e, double* pkpa, double* tc, double* h,
                         double* mu, double* c)
    {
        const double T = e * 1000.0 / cv;
        *pkpa = rho * R * T / 1000.0;
        *tc = T - 273.15;
        *h = (cv + R) * T / 1000.0;
        *mu = 0.011;
        *c = 0.0;
    }
    static void hostph(void*, double, double, double*, double*, double*, double*, double*) {}
};

TEST_P(NoAllocation, InAnyDriverCallAfterTheFirst)
{
    // The counter works.
    EXPECT_EQ(allocationsduring(
                  [] { std::vector<double>(16).swap(*std::make_unique<std::vector<double>>()); }),
              2);

    double elapsed = 0.0;
    EXPECT_EQ(allocationsduring([&] {
                  for (int step = 0; step < 5; ++step) {
                      loadbc(s, 1, 60e5 + 1e4 * step, 290.0, 0.0, 1, 1, 0);
                      transientpipes(s, 2.0);
                  }
              }),
              0)
        << "transientpipes";
    EXPECT_EQ(allocationsduring([&] { transientpipe(s, 3, 2.0); }), 0) << "transientpipe";
    EXPECT_EQ(allocationsduring([&] { steadypipes(s, 10.0, elapsed); }), 0) << "steadypipes";
    EXPECT_EQ(allocationsduring([&] { steadypipe(s, 1, 10.0, elapsed); }), 0) << "steadypipe";
    EXPECT_GT(elapsed, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, NoAllocation, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& gas) {
                             return gas.param ? "HostGas" : "IdealGas";
                         });

} // namespace
} // namespace pelmora
