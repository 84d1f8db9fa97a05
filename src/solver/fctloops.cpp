// The chain update's transport and limiter loops as written, and the choice
// between them and their AVX-512 forms (fctloops.h).
#include "solver/vectorise.h"

#include "solver/fctloops.h"

namespace pelmora::fctloops {

namespace {

// (Internal linkage: a function built in several variants would otherwise
// leave the library through its resolver.)
PELMORA_VECTORISED
void transportloop(std::int32_t n, double dt, const double* __restrict base,
                   const double* __restrict flux, const double* __restrict source,
                   const double* __restrict facelength, const double* __restrict r,
                   double* __restrict t, double* __restrict wd)
{
    for (std::int32_t j = 0; j < n; ++j) {
        // Diffusive fluxes through the cell's left and right faces.
        const double dleft = 0.125 * facelength[j] * (base[j] - base[j - 1]);
        const double dright = 0.125 * facelength[j + 1] * (base[j + 1] - base[j]);
        // Transported, then diffused.
        t[j] = base[j] + dt * (source[j] - (flux[j + 1] - flux[j]) * r[j]);
        wd[j] = t[j] + r[j] * (dright - dleft);
    }
}

PELMORA_VECTORISED
void limitloop(std::int32_t from, std::int32_t to, const double* __restrict facelength,
               const double* __restrict t, const double* __restrict wd, const double* __restrict dx,
               double* __restrict corrected)
{
    for (std::int32_t j = from; j <= to; ++j) {
        // Raw antidiffusive flux, and the differences of the diffused
        // solution across the face and on either side of it.
        const double a = 0.125 * facelength[j] * (t[j] - t[j - 1]);
        const double sign = signof(wd[j] - wd[j - 1]);
        corrected[j] = limited(a, sign, sign * dx[j - 1] * (wd[j - 1] - wd[j - 2]),
                               sign * dx[j] * (wd[j + 1] - wd[j]));
    }
}

} // namespace

namespace portable {

void transportcells(std::int32_t n, double dt, const double* base, const double* flux,
                    const double* source, const double* facelength, const double* r, double* t,
                    double* wd)
{
    transportloop(n, dt, base, flux, source, facelength, r, t, wd);
}

void limitfaces(std::int32_t from, std::int32_t to, const double* facelength, const double* t,
                const double* wd, const double* dx, double* corrected)
{
    limitloop(from, to, facelength, t, wd, dx, corrected);
}

} // namespace portable

void transportcells(std::int32_t n, double dt, const double* base, const double* flux,
                    const double* source, const double* facelength, const double* r, double* t,
                    double* wd)
{
#if PELMORA_FCTLOOPS_AVX512
    if (available())
        return avx512::transportcells(n, dt, base, flux, source, facelength, r, t, wd);
#endif
    portable::transportcells(n, dt, base, flux, source, facelength, r, t, wd);
}

void limitfaces(std::int32_t from, std::int32_t to, const double* facelength, const double* t,
                const double* wd, const double* dx, double* corrected)
{
#if PELMORA_FCTLOOPS_AVX512
    if (available())
        return avx512::limitfaces(from, to, facelength, t, wd, dx, corrected);
#endif
    portable::limitfaces(from, to, facelength, t, wd, dx, corrected);
}

} // namespace pelmora::fctloops
