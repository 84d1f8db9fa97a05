// The vector power and logarithm for AVX2 and FMA: four lanes.
#include "solver/vectorise.h" // first: no contraction, as in every solver file

#include "vecmath/tables.h"
#include "vecmath/arch.h"

#include <cmath>
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#  include <immintrin.h>

// Everything from here on is compiled for AVX2 and FMA; the standard
// headers are all included above, so none of their functions is.
#  if defined(__clang__)
#    pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#  else
#    pragma GCC push_options
#    pragma GCC target("avx2,fma")
#  endif

namespace pelmora::vecmath::avx2 {

using namespace tables;

using V = __m256d;
using I = __m256i;
using M = __m256i; // all ones in the lanes that are set
constexpr std::int32_t width = 4;

inline V constant(double c) { return _mm256_set1_pd(c); }
inline I integer(std::int64_t c) { return _mm256_set1_epi64x(c); }
inline V asdouble(I i) { return _mm256_castsi256_pd(i); }
inline I asbits(V v) { return _mm256_castpd_si256(v); }
inline V load(const double* p) { return _mm256_loadu_pd(p); }
inline void store(double* p, V v) { _mm256_storeu_pd(p, v); }

inline V add(V a, V b) { return _mm256_add_pd(a, b); }
inline V sub(V a, V b) { return _mm256_sub_pd(a, b); }
inline V mul(V a, V b) { return _mm256_mul_pd(a, b); }
inline V fma(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
inline V fms(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
inline V fnma(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }

inline I iadd(I a, I b) { return _mm256_add_epi64(a, b); }
inline I isub(I a, I b) { return _mm256_sub_epi64(a, b); }
inline I iand(I a, I b) { return _mm256_and_si256(a, b); }
inline I ior(I a, I b) { return _mm256_or_si256(a, b); }
inline I srl(I a, int n) { return _mm256_srli_epi64(a, n); }
inline I sll(I a, int n) { return _mm256_slli_epi64(a, n); }

inline M within(I i, std::int64_t lo, std::int64_t hi)
{
    return _mm256_and_si256(_mm256_cmpgt_epi64(i, integer(lo - 1)),
                            _mm256_cmpgt_epi64(integer(hi), i));
}
inline M equal(I i, std::int64_t c) { return _mm256_cmpeq_epi64(i, integer(c)); }
inline unsigned lanebits(M m) { return static_cast<unsigned>(_mm256_movemask_pd(asdouble(m))); }
inline bool anylane(M m) { return lanebits(m) != 0; }
inline M masknot(M m) { return _mm256_xor_si256(m, integer(-1)); }
inline M maskor(M a, M b) { return _mm256_or_si256(a, b); }
inline V select(M m, V a, V b) { return _mm256_blendv_pd(b, a, asdouble(m)); }

// The signed integer in the top 12 bits of each lane (an arithmetic shift
// by 52, which AVX2 lacks), as a double, through the bits of 1.5 * 2^52 + k.
// Exact: it is a small integer.
inline V top12signed(I bits)
{
    const I k = isub(_mm256_xor_si256(srl(bits, 52), integer(0x800)), integer(0x800));
    const V magic = constant(0x1.8p52);
    return sub(asdouble(iadd(k, asbits(magic))), magic);
}

// Table rows: one load per lane, then a transpose hands out one vector per
// field (quicker on current processors than a gather per field).
struct Lanes {
    alignas(32) std::int64_t at[4];
};
inline Lanes lanes(I index)
{
    Lanes out;
    _mm256_store_si256(reinterpret_cast<I*>(out.at), index);
    return out;
}

// The first three fields of rows of four doubles.
inline void lookupfour(const double* rows, I index, V& f0, V& f1, V& f2)
{
    const Lanes row = lanes(sll(index, 2));
    const V a = _mm256_load_pd(rows + row.at[0]);
    const V b = _mm256_load_pd(rows + row.at[1]);
    const V c = _mm256_load_pd(rows + row.at[2]);
    const V d = _mm256_load_pd(rows + row.at[3]);
    const V ab02 = _mm256_unpacklo_pd(a, b);
    const V ab13 = _mm256_unpackhi_pd(a, b);
    const V cd02 = _mm256_unpacklo_pd(c, d);
    const V cd13 = _mm256_unpackhi_pd(c, d);
    f0 = _mm256_permute2f128_pd(ab02, cd02, 0x20);
    f1 = _mm256_permute2f128_pd(ab13, cd13, 0x20);
    f2 = _mm256_permute2f128_pd(ab02, cd02, 0x31);
}

// Both fields of rows of two doubles.
inline void lookuptwo(const double* rows, I index, V& f0, V& f1)
{
    const Lanes row = lanes(sll(index, 1));
    const V ac = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(rows + row.at[0])),
                                      _mm_load_pd(rows + row.at[2]), 1);
    const V bd = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(rows + row.at[1])),
                                      _mm_load_pd(rows + row.at[3]), 1);
    f0 = _mm256_unpacklo_pd(ac, bd);
    f1 = _mm256_unpackhi_pd(ac, bd);
}

#  include "vecmath/kernel.h"

} // namespace pelmora::vecmath::avx2

#  if defined(__clang__)
#    pragma clang attribute pop
#  else
#    pragma GCC pop_options
#  endif

#endif
