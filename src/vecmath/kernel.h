// The vector log, log10 and pow, written once over an instruction set (a
// tag of arch.h). They are the C library's own algorithms (vecmath.cpp
// describes them), operation for operation.
//
// Included only by the instruction-set files, which cmake/vecmath.cmake
// compiles for their instruction set and with -ffp-contract=off: every +, -
// and * below is one IEEE operation, rounded on its own, and every fused
// multiply-add is written out as fma. Every function here is a member of a
// template over the tag, so each is compiled in the one file of its
// instruction set and no other file can share (or be handed) a copy built
// for wider registers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "vecmath/arch.h"
#include "vecmath/tables.h"

namespace pelmora::vecmath {

// Vectors of 4 and 8 lanes in the compiler's vector extension: doubles
// (V), bit patterns (I, unsigned, so that arithmetic wraps and >> shifts in
// zeros) and signed integers (S). Operators act lane by lane; a scalar
// operand stands for a vector of that value; a comparison gives a vector
// of signed integers, all ones in the lanes where it holds. (GCC takes no
// vector size that depends on a template parameter, hence one
// specialisation per width.)
template <int width>
struct Lanes;
template <>
struct Lanes<4> {
    typedef double V __attribute__((vector_size(32)));
    typedef unsigned long long I __attribute__((vector_size(32)));
    typedef long long S __attribute__((vector_size(32)));
};
template <>
struct Lanes<8> {
    typedef double V __attribute__((vector_size(64)));
    typedef unsigned long long I __attribute__((vector_size(64)));
    typedef long long S __attribute__((vector_size(64)));
};

// The vectors of an instruction set and what every one does alike. Lane
// masks (M) are here comparison results; an instruction set with mask
// registers replaces M and the four functions that make and use masks.
template <class Arch>
struct Vectors {
    static constexpr int width = Arch::width;
    using V = typename Lanes<width>::V;
    using I = typename Lanes<width>::I;
    using S = typename Lanes<width>::S;
    using M = S;

    static V constant(double c)
    {
        V v{};
        for (int lane = 0; lane < width; ++lane)
            v[lane] = c;
        return v;
    }
    static V asdouble(I i) { return __builtin_bit_cast(V, i); }
    static I asbits(V v) { return __builtin_bit_cast(I, v); }

    // Lanes with lo <= i < hi, i read as a signed integer; lanes equal to c;
    // a where m is set, else b.
    static M within(I i, long long lo, long long hi)
    {
        const S s = __builtin_bit_cast(S, i);
        return (s > lo - 1) & (s < hi);
    }
    static M equal(I i, unsigned long long c) { return i == c; }
    static V select(M m, V a, V b) { return m ? a : b; }

    // Where each lane's row of a table starts, for rows of 2^shift doubles
    // and row numbers in index.
    struct Starts {
        alignas(8 * width) std::uint64_t at[width];
    };
    static Starts starts(I index, int shift)
    {
        Starts out;
        const I first = index << shift;
        std::memcpy(out.at, &first, sizeof out.at);
        return out;
    }
};

// What an instruction set supplies besides the operators, in a
// specialisation in its own file:
//   fma(a, b, c)         a*b + c, rounded once
//   lanebits(m)          bit k set where lane k of the mask m is set
//                        (~m and m | n act on masks too)
//   top12signed(bits)    the signed integer in the top 12 bits of each
//                        lane, as a double
//   lookupfour(rows, index, f0, f1, f2)   the first three fields of each
//                        lane's row of four doubles
//   lookuptwo(rows, index, f0, f1)        both fields of its row of two
template <class Arch>
struct Instructions;

using namespace tables;

template <class Arch>
struct Kernel : Instructions<Arch> {
    using Base = Instructions<Arch>;
    using Base::asbits;
    using Base::asdouble;
    using Base::constant;
    using Base::equal;
    using Base::fma;
    using Base::lanebits;
    using Base::lookupfour;
    using Base::lookuptwo;
    using Base::select;
    using Base::top12signed;
    using Base::width;
    using Base::within;
    using typename Base::I;
    using typename Base::M;
    using typename Base::V;

    static V fms(V a, V b, V c) { return fma(a, b, -c); }  // a*b - c, rounded once
    static V fnma(V a, V b, V c) { return fma(-a, b, c); } // c - a*b, rounded once
    static I srl(I a, int n) { return a >> n; }
    static I sll(I a, int n) { return a << n; }
    static bool anylane(M m) { return lanebits(m) != 0; }
    static V load(const double* p)
    {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(double* p, V v) { std::memcpy(p, &v, sizeof v); }

    // The table rows of each lane: 1/c, log c and its tail for pow's
    // logarithm, 1/c and log c for log, the tail and scale bits of 2^(j/128).
    static void lookuppowlog(I index, V& invc, V& logc, V& logctail)
    {
        lookupfour(&powlogrows.row[0].invc, index, invc, logc, logctail);
    }
    static void lookuplog(I index, V& invc, V& logc)
    {
        lookuptwo(&logrows.row[0].invc, index, invc, logc);
    }
    static void lookupexp(I index, V& tail, V& scalebits)
    {
        lookuptwo(&exprows.row[0].tail, index, tail, scalebits);
    }

    // log(x) for x within 1/16 of 1: a polynomial in s = x - 1 of degree 11,
    // with s^2/2 computed from a split of s so that it is nearly exact.
    static V lognearone(V x)
    {
        const V s = x - 1.0;
        const V s2 = s * s;
        const V s3 = s * s2;
        const V b123 = fma(s2, constant(logb[3]), fma(s, constant(logb[2]), constant(logb[1])));
        const V b456 = fma(s2, constant(logb[6]), fma(s, constant(logb[5]), constant(logb[4])));
        const V b789 = fma(s2, constant(logb[9]), fma(s, constant(logb[8]), constant(logb[7])));
        V t = fma(s3, constant(logb[10]), b789);
        t = fma(t, s3, b456);
        t = fma(t, s3, b123);
        // s = shi + slo, with shi of 26 bits so shi^2 is exact.
        const V split = constant(0x1p27);
        const V shi = fnma(split, s, fma(s, split, s));
        const V slo = s - shi;
        const V shi2 = shi * shi;
        const V nhi = fma(shi2, constant(logb[0]), s); // s - shi^2/2
        V nlo = fma(shi2, constant(logb[0]), s - nhi);
        nlo = fma(logb[0] * slo, s + shi, nlo);
        return nhi + fma(t, s3, nlo);
    }

    // log(x) for positive normal x. This and the two below are inlined into
    // the loop over the blocks: a call would pass the vectors through memory.
    [[gnu::always_inline]] static V vectorlog(V x)
    {
        const I ix = asbits(x);

        // 1. Table path. x = 2^k z with z in [OFF, 2 OFF), OFF = 0x1.6p-1;
        //    the top 7 bits of z's mantissa select c.
        const I tmp = ix - 0x3fe6000000000000;
        const I index = srl(tmp, 45) & 127;
        const V kd = top12signed(tmp);
        const V z = asdouble(ix - (tmp & 0xfff0000000000000));
        V invc, logc;
        lookuplog(index, invc, logc);
        const V w = fma(kd, constant(logln2hi), logc); // k ln2hi + log c
        const V r = fma(z, invc, constant(-1.0));      // z/c - 1
        const V p12 = fma(r, constant(loga[2]), constant(loga[1]));
        const V hi = w + r;
        const V r2 = r * r;
        V lo = (w - hi) + r;
        lo = fma(kd, constant(logln2lo), lo); // + k ln2lo
        const V r3 = r * r2;
        const V p34 = fma(r, constant(loga[4]), constant(loga[3]));
        lo = fma(r2, constant(loga[0]), lo); // + A0 r^2
        const V q = fma(p34, r2, p12);
        const V table = fma(r3, q, lo) + hi;

        // 2. Lanes within [1 - 2^-4, 1 + 0x1.09p-4) take the other method;
        //    log(1) is exactly 0.
        const M nearone = within(ix, 0x3fee000000000000, 0x3ff1090000000000);
        if (!anylane(nearone))
            return table;
        const V chosen = select(nearone, lognearone(x), table);
        return select(equal(ix, 0x3ff0000000000000), constant(0.0), chosen);
    }

    // log10(x) for positive normal x.
    [[gnu::always_inline]] static V vectorlog10(V x)
    {
        // x = 2^k m; when k < 0 the mantissa goes to [0.5, 1) and k up by one.
        const I hx = asbits(x);
        const I k = srl(hx, 52) - 1023;
        const I negative = srl(k, 63); // 1 or 0
        const I exponent = sll(0x3ff - negative, 52);
        const V m = asdouble((hx & 0x000fffffffffffff) | exponent);
        // k + negative as a double, through the bits of 1.5 * 2^52 + k.
        const V magic = constant(0x1.8p52);
        const V y = asdouble(k + negative + asbits(magic)) - magic;
        // (y log10(2)lo + log(m)/ln10) + y log10(2)hi, every product rounded.
        const V z = vectorlog(m) * invln10 + y * log10twolo;
        return z + y * log10twohi;
    }

    // pow(x, y) for positive normal x; outofrange marks the lanes whose
    // y log(x) is outside the fast path of exp.
    [[gnu::always_inline]] static V vectorpow(V x, V y, M& outofrange)
    {
        const I ix = asbits(x);

        // 1. log(x) = hi + lo to about 68 bits. x = 2^k z, z in [OFF, 2 OFF)
        //    with OFF = 0x1.6955500000000p-1.
        const I tmp = ix - 0x3fe6955500000000;
        const I index = srl(tmp, 45) & 127;
        const V kd = top12signed(tmp);
        const V z = asdouble(ix - (tmp & 0xfff0000000000000));
        V invc, logc, logctail;
        lookuppowlog(index, invc, logc, logctail);
        const V t1 = fma(kd, constant(powln2hi), logc);      // k ln2hi + log c
        const V lo1 = fma(kd, constant(powln2lo), logctail); // k ln2lo + tail
        const V r = fma(z, invc, constant(-1.0));            // z/c - 1, exact
        const V ar = r * powa[0];                            // -r/2
        const V p12 = fma(r, constant(powa[2]), constant(powa[1]));
        const V p34 = fma(r, constant(powa[4]), constant(powa[3]));
        const V t2 = r + t1;
        const V ar2 = r * ar;
        const V lo2 = (t1 - t2) + r;
        const V ar3 = r * ar2;
        const V lo3 = fms(ar, r, ar2); // error of ar2
        const V p56 = fma(r, constant(powa[6]), constant(powa[5]));
        const V hi = t2 + ar2;
        const V lo4 = (t2 - hi) + ar2;
        const V q = fma(ar2, fma(p56, ar2, p34), p12);
        V lo = ((lo1 + lo2) + lo3) + lo4;
        lo = fma(ar3, q, lo);
        const V loghi = hi + lo;
        const V logtail = (hi - loghi) + lo;

        // 2. y log(x) = ehi + elo.
        const V ehi = y * loghi;
        const V elo = fma(y, logtail, fms(loghi, y, ehi));

        // 3. exp(ehi + elo); the fast path needs 2^-54 <= |ehi| < 512.
        const I abstop = srl(asbits(ehi), 52) & 0x7ff;
        outofrange = ~within(abstop, 0x3c9, 0x408);
        V kn = fma(ehi, constant(invln2n), constant(expshift)); // round(ehi 128/ln2)
        const I ki = asbits(kn);
        kn = kn - expshift;
        V e = fma(kn, constant(negln2hin), ehi);
        e = fma(kn, constant(negln2lon), e);
        e = elo + e;
        V tail, scalebits;
        lookupexp(ki & 127, tail, scalebits);
        const V scale = asdouble(asbits(scalebits) + sll(ki, 45));
        const V c23 = fma(e, constant(expc3), constant(expc2));
        const V et = e + tail;
        const V e2 = e * e;
        const V c45 = fma(e, constant(expc5), constant(expc4));
        const V s = fma(c23, e2, et);
        const V e4 = e2 * e2;
        const V p = fma(c45, e4, s);
        return fma(p, scale, scale);
    }

    // Lanes holding positive normal numbers.
    static M positivenormal(V x)
    {
        return within(asbits(x), 0x0010000000000000, 0x7ff0000000000000);
    }

    // Runs vector over n values, width at a time; the last block is padded
    // with pad (inside the vector range), and every lane that vector marks
    // as outside its range is recomputed with scalar.
    template <class Vector, class Scalar>
    static void blocks(std::int32_t n, const double* x, double pad, double* out, Vector vector,
                       Scalar scalar)
    {
        std::int32_t i = 0;
        for (; i + width <= n; i += width) {
            M outside;
            store(out + i, vector(load(x + i), outside));
            const unsigned lanes = lanebits(outside);
            if (lanes != 0)
                for (std::int32_t lane = 0; lane < width; ++lane)
                    if ((lanes >> lane) & 1U)
                        out[i + lane] = scalar(x[i + lane]);
        }
        if (i < n) {
            double in[width], result[width];
            for (std::int32_t lane = 0; lane < width; ++lane)
                in[lane] = i + lane < n ? x[i + lane] : pad;
            M outside;
            store(result, vector(load(in), outside));
            const unsigned lanes = lanebits(outside);
            for (std::int32_t lane = 0; i + lane < n; ++lane)
                out[i + lane] = ((lanes >> lane) & 1U) ? scalar(x[i + lane]) : result[lane];
        }
    }

    static void powers(std::int32_t n, const double* x, double y, double* out)
    {
        // y itself must be a normal number of moderate size, as the C
        // library's fast path requires: 2^-65 <= |y| < 2^63.
        const std::uint64_t topy = (__builtin_bit_cast(std::uint64_t, y) >> 52) & 0x7ff;
        if (topy - 0x3be >= 0x80) {
            for (std::int32_t i = 0; i < n; ++i)
                out[i] = std::pow(x[i], y);
            return;
        }
        const V yy = constant(y);
        const auto vector = [yy](V v, M & outside) __attribute__((always_inline))
        {
            M range;
            const V result = vectorpow(v, yy, range);
            outside = range | ~positivenormal(v);
            return result;
        };
        blocks(n, x, 2.0, out, vector, [y](double v) { return std::pow(v, y); });
    }

    static void log10s(std::int32_t n, const double* x, double* out)
    {
        const auto vector = [](V v, M & outside) __attribute__((always_inline))
        {
            outside = ~positivenormal(v);
            return vectorlog10(v);
        };
        blocks(n, x, 0.5, out, vector, [](double v) { return std::log10(v); });
    }
};

template <class Arch>
void vectorpowers(std::int32_t n, const double* x, double y, double* out)
{
    Kernel<Arch>::powers(n, x, y, out);
}

template <class Arch>
void vectorlog10s(std::int32_t n, const double* x, double* out)
{
    Kernel<Arch>::log10s(n, x, out);
}

} // namespace pelmora::vecmath
