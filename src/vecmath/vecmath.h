// Powers and base-10 logarithms of whole arrays, several values at a time,
// with exactly the bits the C library's pow and log10 give.
//
// The turbulent friction factor needs one power and one logarithm per cell
// and stage, and called one value at a time they cost more than all the
// rest of a cell's arithmetic. Values that are merely close to the C
// library's would not do: the limiter's switches and the steady march's
// sub-step counts turn a one-ulp difference in a friction factor into
// differences of 1e-9 within a minute of simulated time, and results
// would then no longer be those of any other implementation of the scheme
// built on the same C library.
//
// So the vector routines repeat the C library's own algorithms (table
// driven log, exp and pow, and log10 built on log) operation for
// operation, with the same tables and the same fused multiply-adds, and
// are used only where that is known to hold: in a build for x86-64 Linux
// with GNU libc (the CMake option PELMORA_VECMATH, on by default there and
// off elsewhere), on a processor with AVX2 and FMA (where the C library
// itself runs its FMA variants), and after a probe of 20,000 values found
// every bit equal. Anywhere else, and for any value outside the range the
// vector path covers (zero, negative, subnormal, infinite or NaN arguments;
// powers near 1 or beyond the exponent range), the C library is called.
#pragma once

#include <cstdint>

namespace pelmora::vecmath {

// Who computes: the C library one value at a time, or a vector variant.
enum class Variant { library, avx2, avx512 };

// The variant powers() and log10s() use in this process, decided on first
// use: the widest the processor has whose probe agrees with the C library.
Variant chosen();

// out[i] = std::pow(x[i], y) for 0 <= i < n, bit for bit.
void powers(std::int32_t n, const double* x, double y, double* out);

// out[i] = std::log10(x[i]) for 0 <= i < n, bit for bit.
void log10s(std::int32_t n, const double* x, double* out);

// For tests: whether this processor and build can run a variant, and the
// routines of a given variant (which must be supported).
bool supported(Variant v);
void powers(Variant v, std::int32_t n, const double* x, double y, double* out);
void log10s(Variant v, std::int32_t n, const double* x, double* out);

} // namespace pelmora::vecmath
