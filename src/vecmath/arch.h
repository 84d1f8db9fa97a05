// The instruction sets the vector routines are built for, as tag types.
// kernel.h writes the routines once over such a tag; each instruction set's
// file (avx2.cpp, avx512.cpp) supplies the few operations that differ and
// instantiates them, compiled for that instruction set. An instance may be
// called only on a processor that has the instruction set.
#pragma once

#include <cstdint>

namespace pelmora::vecmath {

struct avx2 { // AVX2 and FMA
    static constexpr int width = 4;
};

struct avx512 { // AVX-512 F and DQ
    static constexpr int width = 8;
};

// out[i] = pow(x[i], y) and out[i] = log10(x[i]) for 0 <= i < n, with the
// C library's bits.
template <class Arch>
void vectorpowers(std::int32_t n, const double* x, double y, double* out);
template <class Arch>
void vectorlog10s(std::int32_t n, const double* x, double* out);

extern template void vectorpowers<avx2>(std::int32_t, const double*, double, double*);
extern template void vectorlog10s<avx2>(std::int32_t, const double*, double*);
extern template void vectorpowers<avx512>(std::int32_t, const double*, double, double*);
extern template void vectorlog10s<avx512>(std::int32_t, const double*, double*);

} // namespace pelmora::vecmath
