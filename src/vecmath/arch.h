// The instruction-set variants of the vector routines. Each may be
// called only on a processor that has its instruction set.
#pragma once

#include <cstdint>

namespace pelmora::vecmath {

namespace avx2 { // AVX2 and FMA, four lanes
void powers(std::int32_t n, const double* x, double y, double* out);
void log10s(std::int32_t n, const double* x, double* out);
} // namespace avx2

namespace avx512 { // AVX-512 F and DQ, eight lanes
void powers(std::int32_t n, const double* x, double y, double* out);
void log10s(std::int32_t n, const double* x, double* out);
} // namespace avx512

} // namespace pelmora::vecmath
