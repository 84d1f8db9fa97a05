// The vector power and logarithm for AVX2 and FMA: four lanes. Compiled
// with -mavx2 -mfma (cmake/vecmath.cmake); called only on processors that
// have both.
#include "vecmath/kernel.h"

#include <immintrin.h>

namespace pelmora::vecmath {

template <>
struct Instructions<avx2> : Vectors<avx2> {
    static V fma(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
    static unsigned lanebits(M m)
    {
        return static_cast<unsigned>(_mm256_movemask_pd(__builtin_bit_cast(V, m)));
    }

    // AVX2 shifts 64-bit lanes only logically and converts none to double:
    // the top 12 bits are sign-extended by an exclusive or and a
    // subtraction, and k becomes a double through the bits of 1.5 * 2^52 + k
    // (exact: a small integer).
    static V top12signed(I bits)
    {
        const I k = ((bits >> 52) ^ 0x800) - 0x800;
        const V magic = constant(0x1.8p52);
        return asdouble(k + asbits(magic)) - magic;
    }

    // Table rows: one load per lane, then a transpose hands out one vector
    // per field (quicker on current processors than a gather per field).
    // The first three fields of rows of four doubles.
    static void lookupfour(const double* rows, I index, V& f0, V& f1, V& f2)
    {
        const auto row = starts(index, 2);
        const __m256d a = _mm256_load_pd(rows + row.at[0]);
        const __m256d b = _mm256_load_pd(rows + row.at[1]);
        const __m256d c = _mm256_load_pd(rows + row.at[2]);
        const __m256d d = _mm256_load_pd(rows + row.at[3]);
        const __m256d ab02 = _mm256_unpacklo_pd(a, b);
        const __m256d ab13 = _mm256_unpackhi_pd(a, b);
        const __m256d cd02 = _mm256_unpacklo_pd(c, d);
        const __m256d cd13 = _mm256_unpackhi_pd(c, d);
        f0 = _mm256_permute2f128_pd(ab02, cd02, 0x20);
        f1 = _mm256_permute2f128_pd(ab13, cd13, 0x20);
        f2 = _mm256_permute2f128_pd(ab02, cd02, 0x31);
    }

    // Both fields of rows of two doubles.
    static void lookuptwo(const double* rows, I index, V& f0, V& f1)
    {
        const auto row = starts(index, 1);
        const __m256d ac =
            _mm256_set_m128d(_mm_load_pd(rows + row.at[2]), _mm_load_pd(rows + row.at[0]));
        const __m256d bd =
            _mm256_set_m128d(_mm_load_pd(rows + row.at[3]), _mm_load_pd(rows + row.at[1]));
        f0 = _mm256_unpacklo_pd(ac, bd);
        f1 = _mm256_unpackhi_pd(ac, bd);
    }
};

template void vectorpowers<avx2>(std::int32_t, const double*, double, double*);
template void vectorlog10s<avx2>(std::int32_t, const double*, double*);

} // namespace pelmora::vecmath
