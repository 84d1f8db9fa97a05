// Flux-corrected transport update of a chain of cells.
//
// One call advances the conserved variables of cells first..last over dt:
// transport with centred face fluxes and cell sources, a fixed low-order
// diffusion with coefficient 1/8, and an antidiffusion with coefficient 1/8
// limited so that it creates no new extrema in the diffused solution (the
// Boris-Book limiter), all written for cells and faces of unequal length.
//
// This routine knows nothing of gas physics: it reaches cell states, fluxes
// and sources only through updatecells, faceflux and cellsource, and the end
// conditions only through the per-equation end coefficients (ghost = a X + b,
// weight c on the end face's diffusive and antidiffusive fluxes).
//
// Scratch lives in the store, sized at network load; entries are indexed from
// the chain's first face (j = f - first) and first cell (i = c - first).
#include <algorithm>
#include <cmath>

#include "solver/solver.h"

namespace pelmora {

namespace {

constexpr std::int32_t fluxstride = 3; // scratch rows per face/cell

// Phase 3: the flux vector of every face of the chain, all equations at once.
void chainfluxes(Store& s, std::int32_t first, std::int32_t last)
{
    double* flux = s.scratch.flux.data();
    const std::int32_t n = last - first + 1;

    // Left end face, from the inlet end state.
    s.currentcell = first;
    s.currentface = first;
    s.atinletface = logicaltrue;
    s.atoutletface = logicalfalse;
    faceflux(s, flux);

    // Right end face, from the outlet end state.
    s.atinletface = logicalfalse;
    s.currentface = last + 1;
    s.atoutletface = logicaltrue;
    s.currentcell = last;
    faceflux(s, flux + n * fluxstride);

    // Interior faces, left to right.
    s.atinletface = logicalfalse;
    s.atoutletface = logicalfalse;
    for (std::int32_t f = first + 1; f <= last; ++f) {
        s.currentcell = 0;
        s.currentface = f;
        faceflux(s, flux + (f - first) * fluxstride);
    }
}

// Phase 4: the source vector of every cell of the chain.
void chainsources(Store& s, std::int32_t first, std::int32_t last)
{
    double* source = s.scratch.source.data();
    for (std::int32_t c = first; c <= last; ++c) {
        s.currentcell = c;
        s.currentface = 0;
        cellsource(s, source + (c - first) * fluxstride);
    }
}

// Limited antidiffusive flux: the raw flux a, pushed no further than the
// neighbouring differences of the diffused solution allow on either side.
double limited(double a, double sign, double leftbound, double rightbound)
{
    return sign * std::max(0.0, std::min(std::min(std::abs(a), rightbound), leftbound));
}

// Phase 5 for equation k: diffuse, transport, limit the antidiffusion,
// correct. Writes the new conserved(k, first..last).
void updateequation(Store& s, std::int32_t k, std::int32_t first, std::int32_t last, double dt,
                    double ghostleft, double ghostright)
{
    KernelScratch& w = s.scratch;
    const std::int32_t n = last - first + 1;
    const double al = s.inletbcgradient(k), bl = s.inletbcvalue(k), cl = s.inletbcweight(k);
    const double ar = s.outletbcgradient(k), br = s.outletbcvalue(k), cr = s.outletbcweight(k);
    const double* flux = w.flux.data() + (k - 1);
    const double* source = w.source.data() + (k - 1);
    double* d = w.diffusive.data();      // D_f, face j = f - first
    double* a = w.antidiffusive.data();  // A_f, then the corrected fluxes
    double* delta = w.difference.data(); // Delta_f
    double* t = w.transported.data();    // T_c, cell i = c - first
    double* wd = w.diffused.data();      // W_c

    // 1. Diffusive fluxes from the base state; end faces against the ghosts.
    d[0] = 0.125 * cl * s.facelength(first) * (s.previousconserved(k, first) - ghostleft);
    for (std::int32_t f = first + 1; f <= last; ++f)
        d[f - first] = 0.125 * s.facelength(f) *
                       (s.previousconserved(k, f) - s.previousconserved(k, f - 1));
    d[n] = 0.125 * cr * s.facelength(last + 1) * (ghostright - s.previousconserved(k, last));

    // 2.-3. Transport, then diffusion.
    for (std::int32_t c = first; c <= last; ++c) {
        const std::int32_t i = c - first;
        const double r = s.inversecelllength(c);
        t[i] = s.previousconserved(k, c) +
               dt * (source[i * fluxstride] - (flux[(i + 1) * fluxstride] - flux[i * fluxstride]) * r);
        wd[i] = t[i] + r * (d[i + 1] - d[i]);
    }

    // 4. Ghosts of the two intermediate solutions.
    const double tl = al * t[0] + bl, tr = ar * t[n - 1] + br;
    const double wl = al * wd[0] + bl, wr = ar * wd[n - 1] + br;

    // 5. Raw antidiffusive fluxes from the transported solution.
    a[0] = 0.125 * cl * s.facelength(first) * (t[0] - tl);
    for (std::int32_t f = first + 1; f <= last; ++f)
        a[f - first] = 0.125 * s.facelength(f) * (t[f - first] - t[f - first - 1]);
    a[n] = 0.125 * cr * s.facelength(last + 1) * (tr - t[n - 1]);

    // 6. Differences of the diffused solution across every face.
    delta[0] = wd[0] - wl;
    for (std::int32_t j = 1; j < n; ++j)
        delta[j] = wd[j] - wd[j - 1];
    delta[n] = wr - wd[n - 1];

    // 7.-8. Limit: the outer side of each end face is unbounded. A zero
    // difference counts as positive. Each corrected flux only needs the
    // uncorrected raw flux of its own face, so it overwrites a[j] in place.
    for (std::int32_t j = 0; j <= n; ++j) {
        const double sign = delta[j] < 0.0 ? -1.0 : 1.0;
        const double leftbound =
            j == 0 ? largestdouble : sign * s.celllength(first + j - 1) * delta[j - 1];
        const double rightbound =
            j == n ? largestdouble : sign * s.celllength(first + j) * delta[j + 1];
        a[j] = limited(a[j], sign, leftbound, rightbound);
    }

    // 9. Corrected update.
    for (std::int32_t c = first; c <= last; ++c) {
        const std::int32_t i = c - first;
        s.conserved(k, c) = wd[i] - (a[i + 1] - a[i]) * s.inversecelllength(c);
    }
}

} // namespace

void fctstep(Store& s, std::int32_t first, std::int32_t last, double dt)
{
    // 1. Primitive state of every cell from the current conserved values.
    updatecells(s, first, last);
    // 2. End coefficients from the ghost vectors.
    setendcoefficients(s);
    // 3.-4. Fluxes and sources for all equations before any equation is
    // written, so the result does not depend on the order of the equations.
    chainfluxes(s, first, last);
    chainsources(s, first, last);
    // 5. The corrected update, one equation at a time.
    const std::int32_t nv = kernelvariables(s);
    for (std::int32_t k = 1; k <= nv; ++k) {
        const double ghostleft = s.inletbcgradient(k) * s.conserved(k, first) + s.inletbcvalue(k);
        const double ghostright = s.outletbcgradient(k) * s.conserved(k, last) + s.outletbcvalue(k);
        updateequation(s, k, first, last, dt, ghostleft, ghostright);
    }
}

} // namespace pelmora
