// The vector log, log10 and pow, written once for any vector
// width. Not a normal header: avx2.cpp and avx512.cpp
// each include it once, inside their own namespace, after defining for
// their instruction set
//   V, I, M          a vector of doubles, of 64-bit integers, a lane mask
//   width            the number of lanes
//   constant, integer, asdouble, asbits, load, store
//   add, sub, mul    IEEE operations, each rounded
//   fma, fms, fnma   a*b + c, a*b - c, c - a*b, rounded once
//   iadd, isub, iand, ior, srl, sll      64-bit integer lane operations
//   within(i, lo, hi)  lanes with lo <= i < hi (signed); equal(i, c)
//   anylane, lanebits, masknot, maskor, select(m, a, b) (a where m)
//   top12signed(bits)  the signed top 12 bits of each lane, as a double
//   lookupfour, lookuptwo   the first three fields of each lane's row of four
//                      doubles, both fields of its row of two
// so that both files compile the same sequence of operations, which is the
// C library's (see vecmath.cpp for the algorithms).
//
// No include guard: it is meant to be included once per instruction set.

// The table rows of each lane: 1/c, log c and its tail for pow's logarithm,
// 1/c and log c for log, the tail and scale bits of 2^(j/128) for exp.
inline void lookuppowlog(I index, V& invc, V& logc, V& logctail)
{
    lookupfour(&powlogrows[0].invc, index, invc, logc, logctail);
}
inline void lookuplog(I index, V& invc, V& logc) { lookuptwo(&logrows[0].invc, index, invc, logc); }
inline void lookupexp(I index, V& tail, V& scalebits)
{
    lookuptwo(reinterpret_cast<const double*>(exprows.data()), index, tail, scalebits);
}

// log(x) for x within 1/16 of 1: a polynomial in s = x - 1 of degree 11,
// with s^2/2 computed from a split of s so that it is nearly exact.
inline V lognearone(V x)
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
    const V nhi = fma(shi2, constant(logb[0]), s); // s - shi^2/2
    V nlo = fma(shi2, constant(logb[0]), sub(s, nhi));
    nlo = fma(mul(constant(logb[0]), slo), add(s, shi), nlo);
    return add(nhi, fma(t, s3, nlo));
}

// log(x) for positive normal x.
inline V vectorlog(V x)
{
    const I ix = asbits(x);

    // 1. Table path. x = 2^k z with z in [OFF, 2 OFF), OFF = 0x1.6p-1; the
    //    top 7 bits of z's mantissa select c.
    const I tmp = isub(ix, integer(0x3fe6000000000000));
    const I index = iand(srl(tmp, 45), integer(127));
    const V kd = top12signed(tmp);
    const V z = asdouble(isub(ix, iand(tmp, integer(-(1LL << 52)))));
    V invc, logc;
    lookuplog(index, invc, logc);
    const V w = fma(kd, constant(logln2hi), logc); // k ln2hi + log c
    const V r = fma(z, invc, constant(-1.0));      // z/c - 1
    const V p12 = fma(r, constant(loga[2]), constant(loga[1]));
    const V hi = add(w, r);
    const V r2 = mul(r, r);
    V lo = add(sub(w, hi), r);
    lo = fma(kd, constant(logln2lo), lo); // + k ln2lo
    const V r3 = mul(r, r2);
    const V p34 = fma(r, constant(loga[4]), constant(loga[3]));
    lo = fma(r2, constant(loga[0]), lo); // + A0 r^2
    const V q = fma(p34, r2, p12);
    const V table = add(fma(r3, q, lo), hi);

    // 2. Lanes within [1 - 2^-4, 1 + 0x1.09p-4) take the other method;
    //    log(1) is exactly 0.
    const M nearone = within(ix, 0x3fee000000000000, 0x3ff1090000000000);
    if (!anylane(nearone))
        return table;
    const V chosen = select(nearone, lognearone(x), table);
    return select(equal(ix, 0x3ff0000000000000), constant(0.0), chosen);
}

// log10(x) for positive normal x.
inline V vectorlog10(V x)
{
    // x = 2^k m; when k < 0 the mantissa goes to [0.5, 1) and k up by one.
    const I hx = asbits(x);
    const I k = isub(srl(hx, 52), integer(1023));
    const I negative = srl(k, 63); // 1 or 0
    const I exponent = sll(isub(integer(0x3ff), negative), 52);
    const V m = asdouble(ior(iand(hx, integer(0x000fffffffffffff)), exponent));
    // k + negative as a double, through the bits of 1.5 * 2^52 + k.
    const V magic = constant(0x1.8p52);
    const V y = sub(asdouble(iadd(iadd(k, negative), asbits(magic))), magic);
    // (y log10(2)lo + log(m)/ln10) + y log10(2)hi, every product rounded.
    const V z = add(mul(vectorlog(m), constant(invln10)), mul(y, constant(log10twolo)));
    return add(z, mul(y, constant(log10twohi)));
}

// pow(x, y) for positive normal x; outofrange marks the lanes whose
// y log(x) is outside the fast path of exp.
inline V vectorpow(V x, V y, M& outofrange)
{
    const I ix = asbits(x);

    // 1. log(x) = hi + lo to about 68 bits. x = 2^k z, z in [OFF, 2 OFF)
    //    with OFF = 0x1.6955500000000p-1.
    const I tmp = isub(ix, integer(0x3fe6955500000000));
    const I index = iand(srl(tmp, 45), integer(127));
    const V kd = top12signed(tmp);
    const V z = asdouble(isub(ix, iand(tmp, integer(-(1LL << 52)))));
    V invc, logc, logctail;
    lookuppowlog(index, invc, logc, logctail);
    const V t1 = fma(kd, constant(powln2hi), logc);      // k ln2hi + log c
    const V lo1 = fma(kd, constant(powln2lo), logctail); // k ln2lo + tail
    const V r = fma(z, invc, constant(-1.0));            // z/c - 1, exact
    const V ar = mul(r, constant(powa[0]));              // -r/2
    const V p12 = fma(r, constant(powa[2]), constant(powa[1]));
    const V p34 = fma(r, constant(powa[4]), constant(powa[3]));
    const V t2 = add(r, t1);
    const V ar2 = mul(r, ar);
    const V lo2 = add(sub(t1, t2), r);
    const V ar3 = mul(r, ar2);
    const V lo3 = fms(ar, r, ar2); // error of ar2
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
    const I abstop = iand(srl(asbits(ehi), 52), integer(0x7ff));
    outofrange = masknot(within(abstop, 0x3c9, 0x408));
    V kn = fma(ehi, constant(invln2n), constant(expshift)); // round(ehi 128/ln2)
    const I ki = asbits(kn);
    kn = sub(kn, constant(expshift));
    V e = fma(kn, constant(negln2hin), ehi);
    e = fma(kn, constant(negln2lon), e);
    e = add(elo, e);
    V tail, scalebits;
    lookupexp(iand(ki, integer(127)), tail, scalebits);
    const V scale = asdouble(iadd(asbits(scalebits), sll(ki, 45)));
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
inline M positivenormal(V x) { return within(asbits(x), 0x0010000000000000, 0x7ff0000000000000); }

// The kernels blocks() runs: each returns its results and marks the lanes
// it does not cover, which the fallback then computes.
struct PowerKernel {
    V y;
    V operator()(V x, M& outside) const
    {
        M range;
        const V result = vectorpow(x, y, range);
        outside = maskor(range, masknot(positivenormal(x)));
        return result;
    }
};

struct Log10Kernel {
    V operator()(V x, M& outside) const
    {
        outside = masknot(positivenormal(x));
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

// Runs kernel over n values, width at a time; the last block is padded with
// pad (inside the vector range), and every lane the kernel marks out of
// range is recomputed with fallback.
template <class Kernel, class Fallback>
inline void blocks(std::int32_t n, const double* x, double pad, double* out, Kernel kernel,
                   Fallback fallback)
{
    std::int32_t i = 0;
    for (; i + width <= n; i += width) {
        M outside;
        store(out + i, kernel(load(x + i), outside));
        const unsigned lanes = lanebits(outside);
        if (lanes != 0)
            for (std::int32_t lane = 0; lane < width; ++lane)
                if ((lanes >> lane) & 1U)
                    out[i + lane] = fallback(x[i + lane]);
    }
    if (i < n) {
        double in[width], result[width];
        for (std::int32_t lane = 0; lane < width; ++lane)
            in[lane] = i + lane < n ? x[i + lane] : pad;
        M outside;
        store(result, kernel(load(in), outside));
        const unsigned lanes = lanebits(outside);
        for (std::int32_t lane = 0; i + lane < n; ++lane)
            out[i + lane] = ((lanes >> lane) & 1U) ? fallback(x[i + lane]) : result[lane];
    }
}

void powers(std::int32_t n, const double* x, double y, double* out)
{
    // y itself must be a normal number of moderate size, as the C library's
    // fast path requires: 2^-65 <= |y| < 2^63.
    const std::uint64_t topy = (__builtin_bit_cast(std::uint64_t, y) >> 52) & 0x7ff;
    if (topy - 0x3be >= 0x80) {
        for (std::int32_t i = 0; i < n; ++i)
            out[i] = std::pow(x[i], y);
        return;
    }
    blocks(n, x, 2.0, out, PowerKernel{constant(y)}, PowerFallback{y});
}

void log10s(std::int32_t n, const double* x, double* out)
{
    blocks(n, x, 0.5, out, Log10Kernel{}, Log10Fallback{});
}
