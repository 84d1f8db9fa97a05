// The vector power and logarithm for AVX-512 (F and DQ): eight lanes.
// Compiled with -mavx512f -mavx512dq (cmake/vecmath.cmake); called only on
// processors that have both.
#include "vecmath/kernel.h"

#include <immintrin.h>

namespace pelmora::vecmath {

template <>
struct Instructions<avx512> : Vectors<avx512> {
    static V fma(V a, V b, V c) { return _mm512_fmadd_pd(a, b, c); }
    static V top12signed(I bits)
    {
        return __builtin_convertvector(__builtin_bit_cast(S, bits) >> 52, V);
    }

    // Lane masks live in mask registers: bit k for lane k.
    using M = unsigned;
    static M within(I i, long long lo, long long hi)
    {
        const __m512i s = __builtin_bit_cast(__m512i, i);
        return _mm512_cmpge_epi64_mask(s, _mm512_set1_epi64(lo)) &
               _mm512_cmplt_epi64_mask(s, _mm512_set1_epi64(hi));
    }
    static M equal(I i, unsigned long long c)
    {
        return _mm512_cmpeq_epi64_mask(__builtin_bit_cast(__m512i, i),
                                       _mm512_set1_epi64(static_cast<long long>(c)));
    }
    static V select(M m, V a, V b) { return _mm512_mask_blend_pd(static_cast<__mmask8>(m), b, a); }
    static unsigned lanebits(M m) { return m & 0xffU; }

    // Table rows: one load per lane, then a transpose hands out one vector
    // per field (quicker on current processors than a gather per field).
    // The first three fields of rows of four doubles:
    static void lookupfour(const double* rows, I index, V& f0, V& f1, V& f2)
    {
        const auto row = starts(index, 2);
        const V a = tworows(rows + row.at[0], rows + row.at[4]);
        const V b = tworows(rows + row.at[1], rows + row.at[5]);
        const V c = tworows(rows + row.at[2], rows + row.at[6]);
        const V d = tworows(rows + row.at[3], rows + row.at[7]);
        // Fields 0 and 2 of rows 0,1 | 4,5 and of rows 2,3 | 6,7, then 1 and 3.
        const V ab02 = __builtin_shufflevector(a, b, 0, 8, 2, 10, 4, 12, 6, 14);
        const V ab13 = __builtin_shufflevector(a, b, 1, 9, 3, 11, 5, 13, 7, 15);
        const V cd02 = __builtin_shufflevector(c, d, 0, 8, 2, 10, 4, 12, 6, 14);
        const V cd13 = __builtin_shufflevector(c, d, 1, 9, 3, 11, 5, 13, 7, 15);
        f0 = __builtin_shufflevector(ab02, cd02, 0, 1, 8, 9, 4, 5, 12, 13);
        f1 = __builtin_shufflevector(ab13, cd13, 0, 1, 8, 9, 4, 5, 12, 13);
        f2 = __builtin_shufflevector(ab02, cd02, 2, 3, 10, 11, 6, 7, 14, 15);
    }

    // Both fields of rows of two doubles.
    static void lookuptwo(const double* rows, I index, V& f0, V& f1)
    {
        const auto row = starts(index, 1);
        const V even =
            fourrows(rows + row.at[0], rows + row.at[2], rows + row.at[4], rows + row.at[6]);
        const V odd =
            fourrows(rows + row.at[1], rows + row.at[3], rows + row.at[5], rows + row.at[7]);
        f0 = __builtin_shufflevector(even, odd, 0, 8, 2, 10, 4, 12, 6, 14);
        f1 = __builtin_shufflevector(even, odd, 1, 9, 3, 11, 5, 13, 7, 15);
    }

    // Rows a and b of four doubles as the two halves of one vector (the
    // masked insertion names what the lanes it does not write hold, which
    // the plain one leaves undefined and GCC 12 then warns about).
    static V tworows(const double* a, const double* b)
    {
        const __m512d low = _mm512_castpd256_pd512(_mm256_load_pd(a));
        return _mm512_mask_insertf64x4(low, 0xff, low, _mm256_load_pd(b), 1);
    }

    // Rows a, b, c, d of two doubles as the four quarters of one vector.
    static V fourrows(const double* a, const double* b, const double* c, const double* d)
    {
        __m512d v = _mm512_castpd128_pd512(_mm_load_pd(a));
        v = _mm512_insertf64x2(v, _mm_load_pd(b), 1);
        v = _mm512_insertf64x2(v, _mm_load_pd(c), 2);
        return _mm512_insertf64x2(v, _mm_load_pd(d), 3);
    }
};

template void vectorpowers<avx512>(std::int32_t, const double*, double, double*);
template void vectorlog10s<avx512>(std::int32_t, const double*, double*);

} // namespace pelmora::vecmath
