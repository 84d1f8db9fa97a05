// The vector power and logarithm for AVX-512 (F and DQ): eight lanes.
#include "solver/vectorise.h" // first: no contraction, as in every solver file

#include "vecmath/tables.h"
#include "vecmath/arch.h"

#include <cmath>
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#  include <immintrin.h>

// Everything from here on is compiled for AVX-512; the standard headers are
// all included above, so none of their functions is.
#  if defined(__clang__)
#    pragma clang attribute push(__attribute__((target("avx512f,avx512dq"))), apply_to = function)
#  else
#    pragma GCC push_options
#    pragma GCC target("avx512f,avx512dq")
// GCC's AVX-512 intrinsics start some results from a deliberately undefined
// vector, which GCC 12 then reports as (maybe) uninitialised.
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wuninitialized"
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif

namespace pelmora::vecmath::avx512 {

using namespace tables;

using V = __m512d;
using I = __m512i;
using M = __mmask8;
constexpr std::int32_t width = 8;

inline V constant(double c) { return _mm512_set1_pd(c); }
inline I integer(std::int64_t c) { return _mm512_set1_epi64(c); }
inline V asdouble(I i) { return _mm512_castsi512_pd(i); }
inline I asbits(V v) { return _mm512_castpd_si512(v); }
inline V load(const double* p) { return _mm512_loadu_pd(p); }
inline void store(double* p, V v) { _mm512_storeu_pd(p, v); }

inline V add(V a, V b) { return _mm512_add_pd(a, b); }
inline V sub(V a, V b) { return _mm512_sub_pd(a, b); }
inline V mul(V a, V b) { return _mm512_mul_pd(a, b); }
inline V fma(V a, V b, V c) { return _mm512_fmadd_pd(a, b, c); }
inline V fms(V a, V b, V c) { return _mm512_fmsub_pd(a, b, c); }
inline V fnma(V a, V b, V c) { return _mm512_fnmadd_pd(a, b, c); }

inline I iadd(I a, I b) { return _mm512_add_epi64(a, b); }
inline I isub(I a, I b) { return _mm512_sub_epi64(a, b); }
inline I iand(I a, I b) { return _mm512_and_si512(a, b); }
inline I ior(I a, I b) { return _mm512_or_si512(a, b); }
inline I srl(I a, unsigned n) { return _mm512_srli_epi64(a, n); }
inline I sll(I a, unsigned n) { return _mm512_slli_epi64(a, n); }

inline M within(I i, std::int64_t lo, std::int64_t hi)
{
    return static_cast<M>(_mm512_cmpge_epi64_mask(i, integer(lo)) &
                          _mm512_cmplt_epi64_mask(i, integer(hi)));
}
inline M equal(I i, std::int64_t c) { return _mm512_cmpeq_epi64_mask(i, integer(c)); }
inline unsigned lanebits(M m) { return m; }
inline bool anylane(M m) { return m != 0; }
inline M masknot(M m) { return static_cast<M>(~m); }
inline M maskor(M a, M b) { return static_cast<M>(a | b); }
inline V select(M m, V a, V b) { return _mm512_mask_blend_pd(m, b, a); }

// The signed integer in the top 12 bits of each lane, as a double (exact).
inline V top12signed(I bits) { return _mm512_cvtepi64_pd(_mm512_srai_epi64(bits, 52)); }

// Table rows: one load per lane, then a transpose hands out one vector per
// field (quicker on current processors than a gather per field).
struct Lanes {
    alignas(64) std::int64_t at[8];
};
inline Lanes lanes(I index)
{
    Lanes out;
    _mm512_store_si512(out.at, index);
    return out;
}

// Rows a and b of four doubles as the two halves of one vector.
inline V tworows(const double* a, const double* b)
{
    return _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_load_pd(a)), _mm256_load_pd(b), 1);
}

// The first three fields of rows of four doubles.
inline void lookupfour(const double* rows, I index, V& f0, V& f1, V& f2)
{
    const Lanes row = lanes(sll(index, 2));
    const V a = tworows(rows + row.at[0], rows + row.at[4]);
    const V b = tworows(rows + row.at[1], rows + row.at[5]);
    const V c = tworows(rows + row.at[2], rows + row.at[6]);
    const V d = tworows(rows + row.at[3], rows + row.at[7]);
    const V ab02 = _mm512_unpacklo_pd(a, b); // fields 0 and 2 of rows 0,1 | 4,5
    const V ab13 = _mm512_unpackhi_pd(a, b);
    const V cd02 = _mm512_unpacklo_pd(c, d); // fields 0 and 2 of rows 2,3 | 6,7
    const V cd13 = _mm512_unpackhi_pd(c, d);
    const I first = _mm512_setr_epi64(0, 1, 8, 9, 4, 5, 12, 13);
    const I second = _mm512_setr_epi64(2, 3, 10, 11, 6, 7, 14, 15);
    f0 = _mm512_permutex2var_pd(ab02, first, cd02);
    f1 = _mm512_permutex2var_pd(ab13, first, cd13);
    f2 = _mm512_permutex2var_pd(ab02, second, cd02);
}

// Rows a, b, c, d of two doubles as the four quarters of one vector.
inline V fourrows(const double* a, const double* b, const double* c, const double* d)
{
    V v = _mm512_castpd128_pd512(_mm_load_pd(a));
    v = _mm512_insertf64x2(v, _mm_load_pd(b), 1);
    v = _mm512_insertf64x2(v, _mm_load_pd(c), 2);
    return _mm512_insertf64x2(v, _mm_load_pd(d), 3);
}

// Both fields of rows of two doubles.
inline void lookuptwo(const double* rows, I index, V& f0, V& f1)
{
    const Lanes row = lanes(sll(index, 1));
    const V even = fourrows(rows + row.at[0], rows + row.at[2], rows + row.at[4], rows + row.at[6]);
    const V odd = fourrows(rows + row.at[1], rows + row.at[3], rows + row.at[5], rows + row.at[7]);
    f0 = _mm512_unpacklo_pd(even, odd);
    f1 = _mm512_unpackhi_pd(even, odd);
}

#  include "vecmath/kernel.h"

} // namespace pelmora::vecmath::avx512

#  if defined(__clang__)
#    pragma clang attribute pop
#  else
#    pragma GCC diagnostic pop
#    pragma GCC pop_options
#  endif

#endif
