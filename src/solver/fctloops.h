// The two hot loops of the chain update: the transported and diffused
// solutions of a run of cells, and the limited antidiffusive fluxes of a run
// of faces.
//
// Each loop reads its arrays at neighbouring indices (cell j - 1, j, j + 1).
// Compiled as written (fctloops.cpp), every such access is a load of its
// own, and most of them straddle two cache lines. The AVX-512 forms
// (fctloops_avx512.cpp) load each array once per eight elements and form
// the neighbours by shifting lanes between registers, which halves the cost
// of the loops. Both perform the same IEEE operations in the same order, so
// they give the same bits; transportcells and limitfaces take the AVX-512
// form where the processor has it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// The AVX-512 forms are built for x86-64 with GCC or clang, except on
// Windows, where the compiler does not align the stack for the wide
// registers.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#  define PELMORA_FCTLOOPS_AVX512 1
#else
#  define PELMORA_FCTLOOPS_AVX512 0
#endif

namespace pelmora::fctloops {

// Transported and diffused solutions of cells 0..n-1, with dx the cell
// length, r = 1/dx and delta the face spacing (face j lies on the left of
// cell j, face j + 1 on its right):
//   D_j = 1/8 delta_j (base_j - base_j-1)               diffusive flux
//   t_j = base_j + dt (source_j - (flux_j+1 - flux_j) r_j)
//   wd_j = t_j + r_j (D_j+1 - D_j)
// Reads base[-1..n], flux[0..n], facelength[0..n], source and r [0..n-1];
// writes t and wd [0..n-1].
void transportcells(std::int32_t n, double dt, const double* base, const double* flux,
                    const double* source, const double* facelength, const double* r, double* t,
                    double* wd);

// Corrected antidiffusive fluxes through faces from..to, none of them an end
// face of the chain (face j between cells j - 1 and j):
//   a_j = 1/8 delta_j (t_j - t_j-1),  Dl_j = wd_j - wd_j-1,  s_j = sign of Dl_j
//   corrected_j = limited(a_j, s_j, s_j dx_j-1 Dl_j-1, s_j dx_j Dl_j+1)
// Reads facelength[from..to], t[from-1..to], wd[from-2..to+1],
// dx[from-1..to]; writes corrected[from..to].
void limitfaces(std::int32_t from, std::int32_t to, const double* facelength, const double* t,
                const double* wd, const double* dx, double* corrected);

// Limited antidiffusive flux: the raw flux a, pushed no further than the
// neighbouring differences of the diffused solution allow on either side.
// Minimum first of |a| and the right bound, then of that and the left bound.
inline double limited(double a, double sign, double leftbound, double rightbound)
{
    return sign * std::max(0.0, std::min(std::min(std::abs(a), rightbound), leftbound));
}

// -1 for a negative difference, +1 otherwise (zero and NaN included).
inline double signof(double difference) { return difference < 0.0 ? -1.0 : 1.0; }

// True when the AVX-512 forms are built and the processor has AVX-512 F.
bool available();

// The loops as written, vectorised by the compiler.
namespace portable {
void transportcells(std::int32_t n, double dt, const double* base, const double* flux,
                    const double* source, const double* facelength, const double* r, double* t,
                    double* wd);
void limitfaces(std::int32_t from, std::int32_t to, const double* facelength, const double* t,
                const double* wd, const double* dx, double* corrected);
} // namespace portable

#if PELMORA_FCTLOOPS_AVX512
// The AVX-512 forms; call them only where available() is true.
namespace avx512 {
void transportcells(std::int32_t n, double dt, const double* base, const double* flux,
                    const double* source, const double* facelength, const double* r, double* t,
                    double* wd);
void limitfaces(std::int32_t from, std::int32_t to, const double* facelength, const double* t,
                const double* wd, const double* dx, double* corrected);
} // namespace avx512
#endif

} // namespace pelmora::fctloops
