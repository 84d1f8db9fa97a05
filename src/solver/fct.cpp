// Flux-corrected transport update of a chain of cells.
//
// One call advances the conserved variables of cells first..last over dt:
// transport with centred face fluxes and cell sources, a fixed low-order
// diffusion with coefficient 1/8, and an antidiffusion with coefficient 1/8
// limited so that it creates no new extrema in the diffused solution (the
// Boris-Book limiter), all written for cells and faces of unequal length.
//
// This routine knows nothing of gas physics: it reaches cell states, fluxes
// and sources only through the cell update, the face fluxes and the cell
// sources, and the end conditions only through the per-equation end
// coefficients (ghost = a X + b, weight c on the end face's diffusive and
// antidiffusive fluxes).
//
// For one equation k, with U0 the base state (previousconserved), U the
// current state (conserved), F the face fluxes, S the cell sources, dx the
// cell length, r = 1/dx, delta the face spacing:
//   D_f  = 1/8 delta_f (U0_f - U0_f-1)                  diffusive flux
//   T_c  = U0_c + dt (S_c - (F_c+1 - F_c) r_c)          transported
//   W_c  = T_c + r_c (D_c+1 - D_c)                      diffused
//   A_f  = 1/8 delta_f (T_f - T_f-1)                    raw antidiffusive flux
//   Dl_f = W_f - W_f-1,  s_f = -1 if Dl_f < 0 else +1
//   A~_f = s_f max(0, min(|A_f|, s_f dx_f Dl_f+1, s_f dx_f-1 Dl_f-1))
//   U_c  = W_c - (A~_c+1 - A~_c) r_c
// At the two end faces the cell beyond is a ghost (a X + b of the end cell's
// value X, the current state for D, T and W alike), the fluxes through the
// face are weighted by c, and the bound on the outer side is the largest
// double.
//
// How the work is ordered. The result of a cell depends on cells at most
// three away, so the chain is updated a block of cells at a time, each block
// within a window two cells wider on either side; only the window's data is
// touched, and it stays in the processor's cache however long the chain is.
// The cell update (which writes the primitive state into the store and may
// floor the mass variable) runs once per cell, a few cells ahead of the
// blocks; the windows' fluxes, sources and intermediate solutions are
// recomputed where two windows overlap, which gives the same values since
// they come from the same inputs. No block writes a cell that a later block
// still reads: results trail the cell update, and the ghosts are taken from
// the end cells right after their update, before either is written. So the
// result is exactly that of taking every flux and source first and then
// updating one equation after another.
#include "solver/vectorise.h" // first: compiler settings for the whole file

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "solver/solver.h"

namespace pelmora {

namespace {

constexpr std::int32_t maxvariables = 3;

// Cells per block, and how far a block's window reaches on either side.
constexpr std::int32_t blockcells = 128;
constexpr std::int32_t reach = 2;
constexpr std::int32_t windowcells = blockcells + 2 * reach;
constexpr std::int32_t windowfaces = windowcells + 1;

// What a call knows about its chain and ends.
struct Chain {
    std::int32_t first = 0, last = 0, variables = 0;
    double dt = 0.0;
    // End coefficients and ghosts of each equation, left (inlet) and right.
    double al[maxvariables], bl[maxvariables], cl[maxvariables];
    double ar[maxvariables], br[maxvariables], cr[maxvariables];
    double ghostleft[maxvariables], ghostright[maxvariables];
    // Flux vectors through the two end faces.
    double inletflux[maxvariables], outletflux[maxvariables];
};

// Working data of one block. Window cells wl..wh are indexed c - wl, faces
// wl..wh+1 are indexed f - wl, the base state includes the cells just
// outside the window (index c - wl + 1).
struct Window {
    std::int32_t lo = 0, hi = 0; // the block's cells
    std::int32_t wl = 0, wh = 0; // the window's cells
    double flux[maxvariables][windowfaces];
    double source[maxvariables][windowcells];
    double base[maxvariables][windowcells + 2];
    double diffusive[windowfaces];
    double transported[windowcells];
    double diffused[windowcells];
    double antidiffusive[windowfaces];
    double difference[windowfaces];
    double corrected[windowfaces];
};

// ---- Fluxes, sources and the base state of a window ---------------------------------

void windowfluxes(Store& s, const Chain& chain, Window& w)
{
    const std::int32_t from = std::max(w.wl, chain.first + 1);
    const std::int32_t to = std::min(w.wh + 1, chain.last);
    if (from <= to)
        interiorfluxes(s, from, to, w.flux[0] + (from - w.wl), w.flux[1] + (from - w.wl),
                       w.flux[2] + (from - w.wl));
    const std::int32_t nw = w.wh - w.wl + 1;
    for (std::int32_t k = 0; k < maxvariables; ++k) {
        if (w.wl == chain.first)
            w.flux[k][0] = chain.inletflux[k];
        if (w.wh == chain.last)
            w.flux[k][nw] = chain.outletflux[k];
    }
}

// previousconserved of the window's cells and of the chain cells just
// outside it, one array per equation.
PELMORA_VECTORISED
void windowbase(const Store& s, const Chain& chain, Window& w)
{
    const std::int32_t from = std::max(w.wl - 1, chain.first);
    const std::int32_t to = std::min(w.wh + 1, chain.last);
    const double* __restrict u0 = s.previousconserved.raw().data() + 3 * (from - 1);
    const std::int32_t offset = from - w.wl + 1;
    double* __restrict b1 = w.base[0] + offset;
    double* __restrict b2 = w.base[1] + offset;
    double* __restrict b3 = w.base[2] + offset;
    for (std::int32_t i = 0; i <= to - from; ++i) {
        b1[i] = u0[3 * i];
        b2[i] = u0[3 * i + 1];
        b3[i] = u0[3 * i + 2];
    }
}

// ---- Phase 5 of one equation over a window ------------------------------------------

// Diffusive fluxes through every face of the window, from the base state.
PELMORA_VECTORISED
void diffusivefluxes(const Store& s, const Chain& chain, Window& w, std::int32_t k)
{
    const std::int32_t nw = w.wh - w.wl + 1;
    const double* __restrict base = w.base[k];
    double* __restrict d = w.diffusive;
    const std::int32_t from = std::max(w.wl, chain.first + 1);
    const std::int32_t to = std::min(w.wh + 1, chain.last);
    const double* __restrict facelength = s.facelength.at(w.wl);
    for (std::int32_t j = from - w.wl; j <= to - w.wl; ++j)
        d[j] = 0.125 * facelength[j] * (base[j + 1] - base[j]);
    if (w.wl == chain.first)
        d[0] = 0.125 * chain.cl[k] * facelength[0] * (base[1] - chain.ghostleft[k]);
    if (w.wh == chain.last)
        d[nw] = 0.125 * chain.cr[k] * facelength[nw] * (chain.ghostright[k] - base[nw]);
}

// Transported and diffused solutions of the window's cells.
PELMORA_VECTORISED
void transportanddiffuse(const Store& s, const Chain& chain, Window& w, std::int32_t k)
{
    const std::int32_t nw = w.wh - w.wl + 1;
    const double* __restrict base = w.base[k] + 1;
    const double* __restrict flux = w.flux[k];
    const double* __restrict source = w.source[k];
    const double* __restrict d = w.diffusive;
    const double* __restrict r = s.inversecelllength.at(w.wl);
    double* __restrict t = w.transported;
    double* __restrict wd = w.diffused;
    const double dt = chain.dt;
    for (std::int32_t j = 0; j < nw; ++j) {
        t[j] = base[j] + dt * (source[j] - (flux[j + 1] - flux[j]) * r[j]);
        wd[j] = t[j] + r[j] * (d[j + 1] - d[j]);
    }
}

// Raw antidiffusive fluxes from the transported solution and differences of
// the diffused solution, for every face of the window that has both sides.
PELMORA_VECTORISED
void antidiffusionanddifferences(const Store& s, const Chain& chain, Window& w, std::int32_t k)
{
    const std::int32_t nw = w.wh - w.wl + 1;
    const double* __restrict facelength = s.facelength.at(w.wl);
    const double* __restrict t = w.transported;
    const double* __restrict wd = w.diffused;
    double* __restrict a = w.antidiffusive;
    double* __restrict delta = w.difference;
    for (std::int32_t j = 1; j < nw; ++j) {
        a[j] = 0.125 * facelength[j] * (t[j] - t[j - 1]);
        delta[j] = wd[j] - wd[j - 1];
    }
    // End faces against the ghosts of the intermediate solutions.
    if (w.wl == chain.first) {
        const double tl = chain.al[k] * t[0] + chain.bl[k];
        const double wl = chain.al[k] * wd[0] + chain.bl[k];
        a[0] = 0.125 * chain.cl[k] * facelength[0] * (t[0] - tl);
        delta[0] = wd[0] - wl;
    }
    if (w.wh == chain.last) {
        const double tr = chain.ar[k] * t[nw - 1] + chain.br[k];
        const double wr = chain.ar[k] * wd[nw - 1] + chain.br[k];
        a[nw] = 0.125 * chain.cr[k] * facelength[nw] * (tr - t[nw - 1]);
        delta[nw] = wr - wd[nw - 1];
    }
}

// Limited antidiffusive flux: the raw flux a, pushed no further than the
// neighbouring differences of the diffused solution allow on either side.
// Minimum first of |a| and the right bound, then of that and the left bound.
inline double limited(double a, double sign, double leftbound, double rightbound)
{
    return sign * std::max(0.0, std::min(std::min(std::abs(a), rightbound), leftbound));
}

inline double signof(double difference) { return difference < 0.0 ? -1.0 : 1.0; }

// Corrected antidiffusive fluxes through the block's faces lo..hi+1.
PELMORA_VECTORISED
void limit(const Store& s, const Chain& chain, Window& w)
{
    const double* __restrict a = w.antidiffusive;
    const double* __restrict delta = w.difference;
    // Face j lies between window cells j - 1 and j.
    const double* __restrict dx = s.celllength.at(w.wl);
    double* __restrict corrected = w.corrected;
    // Interior faces: bounded on both sides.
    const std::int32_t from = std::max(w.lo, chain.first + 1) - w.wl;
    const std::int32_t to = std::min(w.hi + 1, chain.last) - w.wl;
    for (std::int32_t j = from; j <= to; ++j) {
        const double sign = signof(delta[j]);
        corrected[j] = limited(a[j], sign, sign * dx[j - 1] * delta[j - 1],
                               sign * dx[j] * delta[j + 1]);
    }
    // End faces: the outer side is unbounded.
    if (w.lo == chain.first) {
        const std::int32_t j = chain.first - w.wl;
        const double sign = signof(delta[j]);
        corrected[j] = limited(a[j], sign, largestdouble,
                               sign * s.celllength(chain.first) * delta[j + 1]);
    }
    if (w.hi == chain.last) {
        const std::int32_t j = chain.last + 1 - w.wl;
        const double sign = signof(delta[j]);
        corrected[j] = limited(a[j], sign, sign * s.celllength(chain.last) * delta[j - 1],
                               largestdouble);
    }
}

// The new values of equation k in the block's cells, into result[0..].
PELMORA_VECTORISED
void correctedupdate(const Store& s, const Window& w, double* __restrict result)
{
    const std::int32_t offset = w.lo - w.wl;
    const double* __restrict wd = w.diffused + offset;
    const double* __restrict corrected = w.corrected + offset;
    const double* __restrict r = s.inversecelllength.at(w.lo);
    for (std::int32_t i = 0; i <= w.hi - w.lo; ++i)
        result[i] = wd[i] - (corrected[i + 1] - corrected[i]) * r[i];
}

// conserved(k, lo..hi) = the results of the equations updated.
PELMORA_VECTORISED
void storeresults(Store& s, const Window& w, const double (&result)[maxvariables][blockcells],
                  std::int32_t variables)
{
    double* __restrict u = s.conserved.raw().data() + 3 * (w.lo - 1);
    const std::int32_t n = w.hi - w.lo + 1;
    if (variables == maxvariables) {
        for (std::int32_t i = 0; i < n; ++i) {
            u[3 * i] = result[0][i];
            u[3 * i + 1] = result[1][i];
            u[3 * i + 2] = result[2][i];
        }
        return;
    }
    for (std::int32_t k = 0; k < variables; ++k)
        for (std::int32_t i = 0; i < n; ++i)
            u[3 * i + k] = result[k][i];
}

// ---- The chain -------------------------------------------------------------------------

// The end face fluxes, with the context that faceflux reads.
void endfluxes(Store& s, Chain& chain)
{
    s.currentcell = chain.first;
    s.currentface = chain.first;
    s.atinletface = logicaltrue;
    s.atoutletface = logicalfalse;
    faceflux(s, chain.inletflux);
    s.atinletface = logicalfalse;
    s.currentface = chain.last + 1;
    s.atoutletface = logicaltrue;
    s.currentcell = chain.last;
    faceflux(s, chain.outletflux);
    s.atinletface = logicalfalse;
    s.atoutletface = logicalfalse;
}

void endcoefficients(const Store& s, Chain& chain)
{
    for (std::int32_t k = 0; k < chain.variables; ++k) {
        chain.al[k] = s.inletbcgradient(k + 1);
        chain.bl[k] = s.inletbcvalue(k + 1);
        chain.cl[k] = s.inletbcweight(k + 1);
        chain.ar[k] = s.outletbcgradient(k + 1);
        chain.br[k] = s.outletbcvalue(k + 1);
        chain.cr[k] = s.outletbcweight(k + 1);
    }
}

// Brings the cell update up to cell `to`, and takes each end's ghosts as
// soon as that end cell has been updated (before any result is written).
void updatecellsupto(Store& s, Chain& chain, std::int32_t& updated, std::int32_t to)
{
    if (to <= updated)
        return;
    updatecellrange(s, chain.first, updated + 1, to);
    if (updated < chain.first)
        for (std::int32_t k = 0; k < chain.variables; ++k)
            chain.ghostleft[k] = chain.al[k] * s.conserved(k + 1, chain.first) + chain.bl[k];
    if (to == chain.last)
        for (std::int32_t k = 0; k < chain.variables; ++k)
            chain.ghostright[k] = chain.ar[k] * s.conserved(k + 1, chain.last) + chain.br[k];
    updated = to;
}

} // namespace

void fctstep(Store& s, std::int32_t first, std::int32_t last, double dt)
{
    Chain chain;
    chain.first = first;
    chain.last = last;
    chain.dt = dt;
    chain.variables = kernelvariables(s);
    // 1. End coefficients from the ghost vectors, and the end face fluxes
    //    from the end states; neither depends on the cell update.
    setendcoefficients(s);
    endcoefficients(s, chain);
    endfluxes(s, chain);

    // 2. Block after block: cell update ahead of the window, fluxes and
    //    sources of the window, then the corrected update of every equation.
    static_assert(blockcells > 2 * reach, "a window reaches only the neighbouring blocks");
    InclinationSine sine;
    Window w;
    double result[maxvariables][blockcells];
    std::int32_t updated = first - 1;
    for (w.lo = first; w.lo <= last; w.lo += blockcells) {
        w.hi = std::min(w.lo + blockcells - 1, last);
        w.wl = std::max(first, w.lo - reach);
        w.wh = std::min(last, w.hi + reach);
        updatecellsupto(s, chain, updated, std::min(last, w.wh + 1));
        windowfluxes(s, chain, w);
        cellsources(s, w.wl, w.wh, sine, w.source[0], w.source[1], w.source[2]);
        windowbase(s, chain, w);
        for (std::int32_t k = 0; k < chain.variables; ++k) {
            diffusivefluxes(s, chain, w, k);
            transportanddiffuse(s, chain, w, k);
            antidiffusionanddifferences(s, chain, w, k);
            limit(s, chain, w);
            correctedupdate(s, w, result[k]);
        }
        storeresults(s, w, result, chain.variables);
    }

    // 3. The context as the last source evaluation leaves it.
    s.currentcell = last;
    s.currentface = 0;
    s.atinletface = logicalfalse;
    s.atoutletface = logicalfalse;
}

} // namespace pelmora
