// Square roots of an array, several per instruction.
//
// A compiler vectorises std::sqrt only when it may skip setting errno for a
// negative argument, which takes a command-line option. The square root
// instructions round exactly like std::sqrt, so they are called directly:
// eight at a time where the processor has AVX-512, four with AVX, two
// otherwise (every x86-64 processor has SSE2). The Windows build keeps to
// SSE2, because its compiler does not align the stack for the wider
// registers.
#include "solver/roots.h"

#include <cmath>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define PELMORA_X86 1
#endif

namespace pelmora {

namespace {

void scalarroots(const double* in, double* out, std::int32_t from, std::int32_t n)
{
    for (std::int32_t i = from; i < n; ++i)
        out[i] = std::sqrt(in[i]);
}

#if defined(PELMORA_X86)

void sse2roots(const double* in, double* out, std::int32_t n)
{
    std::int32_t i = 0;
    for (; i + 2 <= n; i += 2)
        _mm_storeu_pd(out + i, _mm_sqrt_pd(_mm_loadu_pd(in + i)));
    scalarroots(in, out, i, n);
}

#if defined(__GNUC__) && !defined(_WIN32)
#define PELMORA_WIDEROOTS 1

__attribute__((target("avx"))) void avxroots(const double* in, double* out, std::int32_t n)
{
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4)
        _mm256_storeu_pd(out + i, _mm256_sqrt_pd(_mm256_loadu_pd(in + i)));
    scalarroots(in, out, i, n);
}

// (The zero-masked form of the instruction: GCC 12 warns that the plain
// intrinsic reads an undefined register.)
__attribute__((target("avx512f"))) void avx512roots(const double* in, double* out,
                                                    std::int32_t n)
{
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm512_storeu_pd(out + i, _mm512_maskz_sqrt_pd(0xff, _mm512_loadu_pd(in + i)));
    scalarroots(in, out, i, n);
}

// The widest of the three that the processor and the operating system
// support, decided once.
int rootwidth()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f"))
        return 8;
    if (__builtin_cpu_supports("avx"))
        return 4;
    return 2;
}
#endif

#endif

} // namespace

void squareroots(const double* in, double* out, std::int32_t n)
{
#if defined(PELMORA_WIDEROOTS)
    static const int width = rootwidth();
    if (width == 8)
        avx512roots(in, out, n);
    else if (width == 4)
        avxroots(in, out, n);
    else
        sse2roots(in, out, n);
#elif defined(PELMORA_X86)
    sse2roots(in, out, n);
#else
    scalarroots(in, out, 0, n);
#endif
}

} // namespace pelmora
