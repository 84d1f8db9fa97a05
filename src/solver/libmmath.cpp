// Vector pow and log10 that repeat the C library's algorithms bit for bit.
//
// The algorithms are those of the C library's x86-64 FMA variants:
//   log(x):   x = 2^k z with z near 1, 1/c and log c from a 128-entry table,
//             r = z/c - 1 by one fused multiply-add, log1p(r) by a
//             polynomial; arguments within 1/16 of 1 take a polynomial of
//             degree 11 instead, with r*r split to keep the error small.
//   log10(x): x = 2^k m with m in [1,2) (or [0.5,1) when k < 0, so that
//             nothing cancels), then k log10(2) + log(m)/ln(10) with
//             log10(2) in two parts.
//   pow(x,y): log(x) to about 68 bits as hi + lo (its own 128-entry table
//             with the tail of log c), y times that as ehi + elo, and
//             exp(ehi + elo) = 2^(j/128) 2^m exp(r) from a 128-entry table
//             of 2^(j/128) and a polynomial.
// Every step below names the operation and its order exactly: which
// products are fused with the following sum, and which are rounded first.
// The constants and tables are the C library's own (libmtables.inc).
//
// The vector path covers what the engine needs: positive normal arguments,
// and powers whose logarithm y log(x) is between 2^-54 and 512 in
// magnitude. Lanes outside that range are recomputed by the C library.
#include "solver/vectorise.h" // first: no contraction, as in every solver file

#include "solver/libmmath.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PELMORA_LIBMMATH_X86 1
#else
#define PELMORA_LIBMMATH_X86 0
#endif

namespace pelmora::libmmath {

namespace {

void scalarpowers(std::int32_t n, const double* x, double y, double* out)
{
    for (std::int32_t i = 0; i < n; ++i)
        out[i] = std::pow(x[i], y);
}

void scalarlog10s(std::int32_t n, const double* x, double* out)
{
    for (std::int32_t i = 0; i < n; ++i)
        out[i] = std::log10(x[i]);
}

} // namespace

#if PELMORA_LIBMMATH_X86

namespace {

#include "solver/libmtables.inc"

// log10(2) in two parts and 1/ln(10), as log10 uses them.
constexpr double log10twohi = 0x1.34413509f6000p-2;
constexpr double log10twolo = 0x1.9fef311f12b36p-42;
constexpr double invln10 = 0x1.bcb7b1526e50ep-2;

#define PELMORA_AVX2FMA __attribute__((target("avx2,fma")))

using V = __m256d;
using I = __m256i;

PELMORA_AVX2FMA inline V constant(double c) { return _mm256_set1_pd(c); }
PELMORA_AVX2FMA inline I integer(std::int64_t c) { return _mm256_set1_epi64x(c); }
PELMORA_AVX2FMA inline V asdouble(I i) { return _mm256_castsi256_pd(i); }
PELMORA_AVX2FMA inline I asbits(V v) { return _mm256_castpd_si256(v); }
PELMORA_AVX2FMA inline V add(V a, V b) { return _mm256_add_pd(a, b); }
PELMORA_AVX2FMA inline V sub(V a, V b) { return _mm256_sub_pd(a, b); }
PELMORA_AVX2FMA inline V mul(V a, V b) { return _mm256_mul_pd(a, b); }
// a * b + c and a * b - c, rounded once.
PELMORA_AVX2FMA inline V fma(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
PELMORA_AVX2FMA inline V fms(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
// c - a * b, rounded once.
PELMORA_AVX2FMA inline V fnma(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }

// Table lookups. The entries a lane needs sit side by side (four doubles
// for pow's logarithm, pairs for log and exp), so each lane takes one load
// and a transpose hands out one vector per field: on current processors
// that is quicker than a gather per field.
struct PowLogEntry {
    double invc, logc, logctail, unused;
};
struct LogEntry {
    double invc, logc;
};

constexpr auto powlogentries = [] {
    std::array<PowLogEntry, 128> t{};
    for (std::size_t i = 0; i < 128; ++i)
        t[i] = {powinvc[i], powlogc[i], powlogctail[i], 0.0};
    return t;
}();
constexpr auto logentries = [] {
    std::array<LogEntry, 128> t{};
    for (std::size_t i = 0; i < 128; ++i)
        t[i] = {loginvc[i], loglogc[i]};
    return t;
}();
alignas(32) constexpr std::array<PowLogEntry, 128> powlogtable = powlogentries;
alignas(16) constexpr std::array<LogEntry, 128> logtable = logentries;
alignas(16) constexpr std::array<std::uint64_t, 256> exppairs = std::to_array(exptable);

struct Indices {
    alignas(32) std::int64_t lane[4];
};
PELMORA_AVX2FMA inline Indices lanes(I index)
{
    Indices out;
    _mm256_store_si256(reinterpret_cast<I*>(out.lane), index);
    return out;
}

// Field k of four table rows of four doubles, for k = 0, 1, 2.
PELMORA_AVX2FMA inline void lookupfour(const double* rows, I index, V& f0, V& f1, V& f2)
{
    const Indices at = lanes(index);
    const V a = _mm256_load_pd(rows + 4 * at.lane[0]);
    const V b = _mm256_load_pd(rows + 4 * at.lane[1]);
    const V c = _mm256_load_pd(rows + 4 * at.lane[2]);
    const V d = _mm256_load_pd(rows + 4 * at.lane[3]);
    const V ab02 = _mm256_unpacklo_pd(a, b);
    const V ab13 = _mm256_unpackhi_pd(a, b);
    const V cd02 = _mm256_unpacklo_pd(c, d);
    const V cd13 = _mm256_unpackhi_pd(c, d);
    f0 = _mm256_permute2f128_pd(ab02, cd02, 0x20);
    f1 = _mm256_permute2f128_pd(ab13, cd13, 0x20);
    f2 = _mm256_permute2f128_pd(ab02, cd02, 0x31);
}

// Both fields of four table rows of two doubles; index counts doubles.
PELMORA_AVX2FMA inline void lookuptwo(const double* rows, I index, V& f0, V& f1)
{
    const Indices at = lanes(index);
    const V ac = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(rows + at.lane[0])),
                                      _mm_load_pd(rows + at.lane[2]), 1);
    const V bd = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(rows + at.lane[1])),
                                      _mm_load_pd(rows + at.lane[3]), 1);
    f0 = _mm256_unpacklo_pd(ac, bd);
    f1 = _mm256_unpackhi_pd(ac, bd);
}
// Lanes where lo <= i < hi (signed 64-bit comparison), as all-ones masks.
PELMORA_AVX2FMA inline I within(I i, std::int64_t lo, std::int64_t hi)
{
    const I atleast = _mm256_cmpgt_epi64(i, integer(lo - 1));
    const I below = _mm256_cmpgt_epi64(integer(hi), i);
    return _mm256_and_si256(atleast, below);
}
// The signed integer in the top 12 bits of each lane (an arithmetic shift
// by 52, which AVX2 lacks), as a double. Exact: it is a small integer.
PELMORA_AVX2FMA inline V top12signed(I bits)
{
    const I k = _mm256_sub_epi64(_mm256_xor_si256(_mm256_srli_epi64(bits, 52), integer(0x800)),
                                 integer(0x800));
    // Integer to double through the bits of 1.5 * 2^52 + k.
    const V magic = constant(0x1.8p52);
    return sub(asdouble(_mm256_add_epi64(k, asbits(magic))), magic);
}

// log(x) for x within 1/16 of 1: a polynomial in s = x - 1 of degree 11,
// with s^2/2 computed from a split of s so that it is nearly exact.
PELMORA_AVX2FMA V lognearone(V x)
{
    const V s = sub(x, constant(1.0));
    const V s2 = mul(s, s);
    const V s3 = mul(s, s2);
    const V b123 = fma(s2, constant(logb[3]), fma(s, constant(logb[2]), constant(logb[1])));
    const V b456 = fma(s2, constant(logb[6]), fma(s, constant(logb[5]), constant(logb[4])));
    const V b789 = fma(s2, constant(logb[9]), fma(s, constant(logb[8]), constant(logb[7])));
    V t = fma(s3, constant(logb[10]), b789);
    t = fma(t, s3, b456);
    t = fma(t, s3, b123);
    // s = shi + slo, with shi of 26 bits so shi^2 is exact.
    const V split = constant(0x1p27);
    const V shi = fnma(split, s, fma(s, split, s));
    const V slo = sub(s, shi);
    const V shi2 = mul(shi, shi);
    const V nhi = fma(shi2, constant(logb[0]), s);          // s - shi^2/2
    V nlo = fma(shi2, constant(logb[0]), sub(s, nhi));
    nlo = fma(mul(constant(logb[0]), slo), add(s, shi), nlo);
    return add(nhi, fma(t, s3, nlo));
}

// log(x) for positive normal x.
PELMORA_AVX2FMA V vectorlog(V x)
{
    const I ix = asbits(x);

    // 1. Table path. x = 2^k z with z in [OFF, 2 OFF), OFF = 0x1.6p-1; the
    //    top 7 bits of z's mantissa select c.
    const I tmp = _mm256_sub_epi64(ix, integer(0x3fe6000000000000));
    const I index = _mm256_and_si256(_mm256_srli_epi64(tmp, 45), integer(127));
    const V kd = top12signed(tmp);
    const V z = asdouble(_mm256_sub_epi64(ix, _mm256_and_si256(tmp, integer(-(1LL << 52)))));
    V invc, logc;
    lookuptwo(&logtable[0].invc, _mm256_slli_epi64(index, 1), invc, logc);
    const V w = fma(kd, constant(logln2hi), logc);          // k ln2hi + log c
    const V r = fma(z, invc, constant(-1.0));               // z/c - 1
    const V p12 = fma(r, constant(loga[2]), constant(loga[1]));
    const V hi = add(w, r);
    const V r2 = mul(r, r);
    V lo = add(sub(w, hi), r);
    lo = fma(kd, constant(logln2lo), lo);                   // + k ln2lo
    const V r3 = mul(r, r2);
    const V p34 = fma(r, constant(loga[4]), constant(loga[3]));
    lo = fma(r2, constant(loga[0]), lo);                    // + A0 r^2
    const V q = fma(p34, r2, p12);
    const V table = add(fma(r3, q, lo), hi);

    // 2. Lanes within [1 - 2^-4, 1 + 0x1.09p-4) take the other method;
    //    log(1) is exactly 0.
    const I nearone = within(ix, 0x3fee000000000000, 0x3ff1090000000000);
    if (_mm256_movemask_pd(asdouble(nearone)) == 0)
        return table;
    const I isone = _mm256_cmpeq_epi64(ix, integer(0x3ff0000000000000));
    const V chosen = _mm256_blendv_pd(table, lognearone(x), asdouble(nearone));
    return _mm256_andnot_pd(asdouble(isone), chosen);
}

// log10(x) for positive normal x.
PELMORA_AVX2FMA V vectorlog10(V x)
{
    // x = 2^k m; when k < 0 the mantissa goes to [0.5, 1) and k up by one.
    const I hx = asbits(x);
    const I k = _mm256_sub_epi64(_mm256_srli_epi64(hx, 52), integer(1023));
    const I negative = _mm256_cmpgt_epi64(integer(0), k);     // -1 or 0
    const I kadjusted = _mm256_sub_epi64(k, negative);
    const I exponent = _mm256_slli_epi64(_mm256_add_epi64(integer(0x3ff), negative), 52);
    const V m = asdouble(_mm256_or_si256(_mm256_and_si256(hx, integer(0x000fffffffffffff)),
                                         exponent));
    const V magic = constant(0x1.8p52);
    const V y = sub(asdouble(_mm256_add_epi64(kadjusted, asbits(magic))), magic);
    // (y log10(2)lo + log(m)/ln10) + y log10(2)hi, every product rounded.
    const V z = add(mul(vectorlog(m), constant(invln10)), mul(y, constant(log10twolo)));
    return add(z, mul(y, constant(log10twohi)));
}

// pow(x, y) for positive normal x, given the lanes' exp range check.
PELMORA_AVX2FMA V vectorpow(V x, V y, I& outofrange)
{
    const I ix = asbits(x);

    // 1. log(x) = hi + lo to about 68 bits. x = 2^k z, z in [OFF, 2 OFF)
    //    with OFF = 0x1.6955500000000p-1.
    const I tmp = _mm256_sub_epi64(ix, integer(0x3fe6955500000000));
    const I index = _mm256_and_si256(_mm256_srli_epi64(tmp, 45), integer(127));
    const V kd = top12signed(tmp);
    const V z = asdouble(_mm256_sub_epi64(ix, _mm256_and_si256(tmp, integer(-(1LL << 52)))));
    V invc, logc, logctail;
    lookupfour(&powlogtable[0].invc, index, invc, logc, logctail);
    const V t1 = fma(kd, constant(powln2hi), logc);         // k ln2hi + log c
    const V lo1 = fma(kd, constant(powln2lo), logctail);    // k ln2lo + tail
    const V r = fma(z, invc, constant(-1.0));               // z/c - 1, exact
    const V ar = mul(r, constant(powa[0]));                 // -r/2
    const V p12 = fma(r, constant(powa[2]), constant(powa[1]));
    const V p34 = fma(r, constant(powa[4]), constant(powa[3]));
    const V t2 = add(r, t1);
    const V ar2 = mul(r, ar);
    const V lo2 = add(sub(t1, t2), r);
    const V ar3 = mul(r, ar2);
    const V lo3 = fms(ar, r, ar2);                          // error of ar2
    const V p56 = fma(r, constant(powa[6]), constant(powa[5]));
    const V hi = add(t2, ar2);
    const V lo4 = add(sub(t2, hi), ar2);
    const V q = fma(ar2, fma(p56, ar2, p34), p12);
    V lo = add(add(add(lo1, lo2), lo3), lo4);
    lo = fma(ar3, q, lo);
    const V loghi = add(hi, lo);
    const V logtail = add(sub(hi, loghi), lo);

    // 2. y log(x) = ehi + elo.
    const V ehi = mul(y, loghi);
    const V elo = fma(y, logtail, fms(loghi, y, ehi));

    // 3. exp(ehi + elo); the fast path needs 2^-54 <= |ehi| < 512.
    const I abstop = _mm256_and_si256(_mm256_srli_epi64(asbits(ehi), 52), integer(0x7ff));
    outofrange = _mm256_xor_si256(within(abstop, 0x3c9, 0x408), integer(-1));
    V kn = fma(ehi, constant(invln2n), constant(expshift));  // round(ehi 128/ln2)
    const I ki = asbits(kn);
    kn = sub(kn, constant(expshift));
    V e = fma(kn, constant(negln2hin), ehi);
    e = fma(kn, constant(negln2lon), e);
    e = add(elo, e);
    const I j = _mm256_slli_epi64(_mm256_and_si256(ki, integer(127)), 1);
    const I top = _mm256_slli_epi64(ki, 45);
    V tail, scalebits;
    lookuptwo(reinterpret_cast<const double*>(exppairs.data()), j, tail, scalebits);
    const V scale = asdouble(_mm256_add_epi64(asbits(scalebits), top));
    const V c23 = fma(e, constant(expc3), constant(expc2));
    const V et = add(e, tail);
    const V e2 = mul(e, e);
    const V c45 = fma(e, constant(expc5), constant(expc4));
    const V s = fma(c23, e2, et);
    const V e4 = mul(e2, e2);
    const V p = fma(c45, e4, s);
    return fma(p, scale, scale);
}

// Lanes holding positive normal numbers.
PELMORA_AVX2FMA inline I positivenormal(V x)
{
    return within(asbits(x), 0x0010000000000000, 0x7ff0000000000000);
}

// Runs kernel over n values in blocks of four; the last block is padded
// with pad (inside the vector range), and every lane the kernel marks out
// of range is recomputed with fallback.
template <class Kernel, class Fallback>
PELMORA_AVX2FMA inline void blocks(std::int32_t n, const double* x, double pad, double* out,
                                   Kernel kernel, Fallback fallback)
{
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        I outside;
        _mm256_storeu_pd(out + i, kernel(_mm256_loadu_pd(x + i), outside));
        const int lanes = _mm256_movemask_pd(asdouble(outside));
        if (lanes != 0)
            for (int lane = 0; lane < 4; ++lane)
                if ((lanes >> lane) & 1)
                    out[i + lane] = fallback(x[i + lane]);
    }
    if (i < n) {
        alignas(32) double in[4] = {pad, pad, pad, pad};
        alignas(32) double result[4];
        for (std::int32_t lane = 0; i + lane < n; ++lane)
            in[lane] = x[i + lane];
        I outside;
        _mm256_store_pd(result, kernel(_mm256_load_pd(in), outside));
        const int lanes = _mm256_movemask_pd(asdouble(outside));
        for (std::int32_t lane = 0; i + lane < n; ++lane)
            out[i + lane] = ((lanes >> lane) & 1) ? fallback(x[i + lane]) : result[lane];
    }
}

// The kernels blocks() runs: each returns its four results and marks the
// lanes it does not cover.
struct PowerKernel {
    V y;
    PELMORA_AVX2FMA V operator()(V x, I& outside) const
    {
        I range;
        const V result = vectorpow(x, y, range);
        outside = _mm256_or_si256(range, _mm256_xor_si256(positivenormal(x), integer(-1)));
        return result;
    }
};

struct Log10Kernel {
    PELMORA_AVX2FMA V operator()(V x, I& outside) const
    {
        outside = _mm256_xor_si256(positivenormal(x), integer(-1));
        return vectorlog10(x);
    }
};

struct PowerFallback {
    double y;
    double operator()(double x) const { return std::pow(x, y); }
};

struct Log10Fallback {
    double operator()(double x) const { return std::log10(x); }
};

PELMORA_AVX2FMA void avx2powers(std::int32_t n, const double* x, double y, double* out)
{
    // y itself must be a normal number of moderate size, as the C library's
    // fast path requires: 2^-65 <= |y| < 2^63.
    const std::uint64_t topy = (std::bit_cast<std::uint64_t>(y) >> 52) & 0x7ff;
    if (topy - 0x3be >= 0x80) {
        scalarpowers(n, x, y, out);
        return;
    }
    blocks(n, x, 2.0, out, PowerKernel{constant(y)}, PowerFallback{y});
}

PELMORA_AVX2FMA void avx2log10s(std::int32_t n, const double* x, double* out)
{
    blocks(n, x, 0.5, out, Log10Kernel{}, Log10Fallback{});
}

// Values on which the vector routines must give the C library's bits
// before they are trusted: powers over the engine's Reynolds numbers and
// beyond, logarithms over many decades, mantissas near 1 and near 2 in
// particular (where log changes method), with every mantissa bit stirred.
constexpr std::int32_t probecount = 4096;

double probevalue(std::uint64_t& state, double lo, double hi)
{
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double u = static_cast<double>(state >> 11) * 0x1p-53;
    return lo * std::pow(hi / lo, u);
}

bool probesagree()
{
    double x[probecount], mine[probecount];
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (const double y : {0.9, 0.5, 2.5, -1.3}) {
        for (std::int32_t i = 0; i < probecount; ++i)
            x[i] = probevalue(state, 1e-3, 1e11);
        avx2powers(probecount, x, y, mine);
        for (std::int32_t i = 0; i < probecount; ++i)
            if (std::bit_cast<std::uint64_t>(mine[i]) !=
                std::bit_cast<std::uint64_t>(std::pow(x[i], y)))
                return false;
    }
    for (std::int32_t i = 0; i < probecount; ++i) {
        const double wide = probevalue(state, 1e-12, 1e6);
        // Every fourth value within 1/16 of a power of two.
        x[i] = i % 4 == 0 ? std::ldexp(probevalue(state, 0.94, 1.07), std::ilogb(wide)) : wide;
    }
    avx2log10s(probecount, x, mine);
    for (std::int32_t i = 0; i < probecount; ++i)
        if (std::bit_cast<std::uint64_t>(mine[i]) != std::bit_cast<std::uint64_t>(std::log10(x[i])))
            return false;
    return true;
}

bool decide()
{
#if defined(__GLIBC__)
    return processorsupported() && probesagree();
#else
    return false;
#endif
}

} // namespace

bool processorsupported()
{
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool vectorised()
{
    static const bool decision = decide();
    return decision;
}

void vectorpowers(std::int32_t n, const double* x, double y, double* out)
{
    avx2powers(n, x, y, out);
}

void vectorlog10s(std::int32_t n, const double* x, double* out)
{
    avx2log10s(n, x, out);
}

#else // not x86-64 with a GNU-compatible compiler: the C library only

bool processorsupported() { return false; }
bool vectorised() { return false; }
void vectorpowers(std::int32_t n, const double* x, double y, double* out)
{
    scalarpowers(n, x, y, out);
}
void vectorlog10s(std::int32_t n, const double* x, double* out) { scalarlog10s(n, x, out); }

#endif

void powers(std::int32_t n, const double* x, double y, double* out)
{
    if (vectorised())
        vectorpowers(n, x, y, out);
    else
        scalarpowers(n, x, y, out);
}

void log10s(std::int32_t n, const double* x, double* out)
{
    if (vectorised())
        vectorlog10s(n, x, out);
    else
        scalarlog10s(n, x, out);
}

} // namespace pelmora::libmmath
