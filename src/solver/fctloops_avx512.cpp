// The chain update's transport and limiter loops for AVX-512 F: eight
// lanes, each array loaded once per eight elements, neighbours formed by
// shifting lanes (see fctloops.h). The operations are those of the portable
// loops in fctloops.cpp, in the same order.
//
// The first and last vector of a loop load only the lanes that lie within
// the range the loop may read (masked loads touch no other memory), and
// store only the lanes of the range it writes.
#include "solver/vectorise.h"

#include "solver/fctloops.h"

#include <cstdint>

#if PELMORA_FCTLOOPS_AVX512
#  include <immintrin.h>

// Everything from here on is compiled for AVX-512; the standard headers are
// all included above, so none of their functions is.
#  if defined(__clang__)
#    pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#  else
#    pragma GCC push_options
#    pragma GCC target("avx512f")
// GCC's AVX-512 intrinsics start some results from a deliberately undefined
// vector, which GCC 12 then reports as (maybe) uninitialised.
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wuninitialized"
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif

namespace pelmora::fctloops::avx512 {

namespace {

using V = __m512d;
using M = __mmask8;
constexpr std::int32_t width = 8;

inline V constant(double c) { return _mm512_set1_pd(c); }
inline V add(V a, V b) { return _mm512_add_pd(a, b); }
inline V sub(V a, V b) { return _mm512_sub_pd(a, b); }
inline V mul(V a, V b) { return _mm512_mul_pd(a, b); }

// The lanes of elements j..j+7 that lie within lo..hi.
inline M lanesin(std::int32_t j, std::int32_t lo, std::int32_t hi)
{
    const __m512i lane = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
    const __m512i index = _mm512_add_epi64(_mm512_set1_epi64(j), lane);
    return static_cast<M>(_mm512_cmpge_epi64_mask(index, _mm512_set1_epi64(lo)) &
                          _mm512_cmple_epi64_mask(index, _mm512_set1_epi64(hi)));
}

// x[j..j+7]; lanes outside lo..hi are zero and their memory is not read.
inline V loadwithin(const double* x, std::int32_t j, std::int32_t lo, std::int32_t hi)
{
    return _mm512_maskz_loadu_pd(lanesin(j, lo, hi), x + j);
}

// x[j..j+7] = v for the lanes within lo..hi.
inline void storewithin(double* x, std::int32_t j, std::int32_t lo, std::int32_t hi, V v)
{
    _mm512_mask_storeu_pd(x + j, lanesin(j, lo, hi), v);
}

// Neighbours of x[j..j+7] from the vectors before, at and after it.
inline V behindone(V at, V before)
{
    return _mm512_castsi512_pd(
        _mm512_alignr_epi64(_mm512_castpd_si512(at), _mm512_castpd_si512(before), 7));
}
inline V behindtwo(V at, V before)
{
    return _mm512_castsi512_pd(
        _mm512_alignr_epi64(_mm512_castpd_si512(at), _mm512_castpd_si512(before), 6));
}
inline V aheadone(V after, V at)
{
    return _mm512_castsi512_pd(
        _mm512_alignr_epi64(_mm512_castpd_si512(after), _mm512_castpd_si512(at), 1));
}

// |x|, sign(x) as -1 where x < 0 and +1 otherwise.
inline V magnitude(V x)
{
    return _mm512_castsi512_pd(
        _mm512_and_epi64(_mm512_castpd_si512(x), _mm512_set1_epi64(0x7fffffffffffffff)));
}
inline V signof(V x)
{
    const M negative = _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_LT_OQ);
    return _mm512_mask_blend_pd(negative, constant(1.0), constant(-1.0));
}

// sign max(0, min(min(|a|, rightbound), leftbound)), each minimum and the
// maximum taking the same operand as std::min and std::max where the two
// compare equal or one is not a number.
inline V limited(V a, V sign, V leftbound, V rightbound)
{
    const V smaller = _mm512_min_pd(rightbound, magnitude(a));
    const V smallest = _mm512_min_pd(leftbound, smaller);
    return mul(sign, _mm512_max_pd(smallest, _mm512_setzero_pd()));
}

// Transport: the state carried from one group of eight cells to the next.
struct TransportLanes {
    V basebefore, baseat, fluxat, lengthat;
};

// Cells j..j+7, given the vectors that follow them; returns t and wd.
inline void transportstep(TransportLanes& lanes, V baseafter, V fluxafter, V lengthafter, V rj,
                          V sourcej, double dt, V& tj, V& wj)
{
    const V eighth = constant(0.125);
    // Diffusive fluxes through the cells' left and right faces.
    const V baseleft = behindone(lanes.baseat, lanes.basebefore);
    const V dleft = mul(mul(eighth, lanes.lengthat), sub(lanes.baseat, baseleft));
    const V dright = mul(mul(eighth, aheadone(lengthafter, lanes.lengthat)),
                         sub(aheadone(baseafter, lanes.baseat), lanes.baseat));
    // Transported, then diffused.
    const V fluxdifference = sub(aheadone(fluxafter, lanes.fluxat), lanes.fluxat);
    tj = add(lanes.baseat, mul(constant(dt), sub(sourcej, mul(fluxdifference, rj))));
    wj = add(tj, mul(rj, sub(dright, dleft)));
    lanes = TransportLanes{lanes.baseat, baseafter, fluxafter, lengthafter};
}

} // namespace

void transportcells(std::int32_t n, double dt, const double* base, const double* flux,
                    const double* source, const double* facelength, const double* r, double* t,
                    double* wd)
{
    TransportLanes lanes{loadwithin(base, -width, -1, n), loadwithin(base, 0, -1, n),
                         loadwithin(flux, 0, 0, n), loadwithin(facelength, 0, 0, n)};
    V tj, wj;
    // 1. Groups whose following vectors lie wholly within the arrays.
    std::int32_t j = 0;
    for (; j + 2 * width - 1 <= n - 1; j += width) {
        transportstep(lanes, _mm512_loadu_pd(base + j + width), _mm512_loadu_pd(flux + j + width),
                      _mm512_loadu_pd(facelength + j + width), _mm512_loadu_pd(r + j),
                      _mm512_loadu_pd(source + j), dt, tj, wj);
        _mm512_storeu_pd(t + j, tj);
        _mm512_storeu_pd(wd + j, wj);
    }
    // 2. The last one or two groups, masked to the arrays.
    for (; j < n; j += width) {
        transportstep(lanes, loadwithin(base, j + width, -1, n), loadwithin(flux, j + width, 0, n),
                      loadwithin(facelength, j + width, 0, n), loadwithin(r, j, 0, n - 1),
                      loadwithin(source, j, 0, n - 1), dt, tj, wj);
        storewithin(t, j, 0, n - 1, tj);
        storewithin(wd, j, 0, n - 1, wj);
    }
}

namespace {

// Limiter: the state carried from one group of eight faces to the next.
struct LimitLanes {
    V tbefore, tat, wbefore, wat, dxbefore, dxat;
};

// The corrected fluxes of faces j..j+7, given the vectors that follow them.
inline V limitstep(LimitLanes& lanes, V tafter, V wafter, V dxafter, V lengthj)
{
    // Raw antidiffusive flux, and the differences of the diffused solution
    // across the face and on either side of it.
    const V tleft = behindone(lanes.tat, lanes.tbefore);
    const V a = mul(mul(constant(0.125), lengthj), sub(lanes.tat, tleft));
    const V wleft = behindone(lanes.wat, lanes.wbefore);
    const V sign = signof(sub(lanes.wat, wleft));
    const V leftbound = mul(mul(sign, behindone(lanes.dxat, lanes.dxbefore)),
                            sub(wleft, behindtwo(lanes.wat, lanes.wbefore)));
    const V rightbound = mul(mul(sign, lanes.dxat), sub(aheadone(wafter, lanes.wat), lanes.wat));
    lanes = LimitLanes{lanes.tat, tafter, lanes.wat, wafter, lanes.dxat, dxafter};
    return limited(a, sign, leftbound, rightbound);
}

} // namespace

void limitfaces(std::int32_t from, std::int32_t to, const double* facelength, const double* t,
                const double* wd, const double* dx, double* corrected)
{
    LimitLanes lanes{
        loadwithin(t, from - width, from - 1, to),      loadwithin(t, from, from - 1, to),
        loadwithin(wd, from - width, from - 2, to + 1), loadwithin(wd, from, from - 2, to + 1),
        loadwithin(dx, from - width, from - 1, to),     loadwithin(dx, from, from - 1, to)};
    // 1. Groups whose following vectors lie wholly within the arrays.
    std::int32_t j = from;
    for (; j + 2 * width - 1 <= to; j += width)
        _mm512_storeu_pd(corrected + j,
                         limitstep(lanes, _mm512_loadu_pd(t + j + width),
                                   _mm512_loadu_pd(wd + j + width), _mm512_loadu_pd(dx + j + width),
                                   _mm512_loadu_pd(facelength + j)));
    // 2. The last one or two groups, masked to the arrays.
    for (; j <= to; j += width)
        storewithin(corrected, j, from, to,
                    limitstep(lanes, loadwithin(t, j + width, from - 1, to),
                              loadwithin(wd, j + width, from - 2, to + 1),
                              loadwithin(dx, j + width, from - 1, to),
                              loadwithin(facelength, j, from, to)));
}

} // namespace pelmora::fctloops::avx512

#  if defined(__clang__)
#    pragma clang attribute pop
#  else
#    pragma GCC diagnostic pop
#    pragma GCC pop_options
#  endif

#endif

namespace pelmora::fctloops {

bool available()
{
#if PELMORA_FCTLOOPS_AVX512
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    return avx512;
#else
    return false;
#endif
}

} // namespace pelmora::fctloops
