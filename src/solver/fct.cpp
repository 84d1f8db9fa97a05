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
//
// ChainSweep hands the blocks out one at a time, and each end's coefficients
// separately, so that the transient driver can run the two stages of a
// sub-step along a long chain together (drivers/stepping.cpp). It says which
// cells its remaining blocks still read (lowestcellread) and which the next
// block touches (highestcelltouched); the driver keeps the two stages apart
// by those.
#include "solver/vectorise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "solver/fctloops.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

constexpr std::int32_t maxvariables = Chain::maxvariables;

// Cells per block, and how far a block's window reaches on either side. A
// block touches some fifty arrays of its cells, 400 kB at 1024 cells: that
// stays in a core's second-level cache, and a line of up to a thousand
// cells is one block. (Smaller blocks cost more in calls and in the cells
// that two windows share: 128-cell blocks ran 10 % slower.)
constexpr std::int32_t blockcells = 1024;
constexpr std::int32_t reach = 2;
constexpr std::int32_t windowcells = blockcells + 2 * reach;
constexpr std::int32_t windowfaces = windowcells + 1;

// Working data of one block. Window cells wl..wh are indexed c - wl, faces
// wl..wh+1 are indexed f - wl, the base state includes the cells just
// outside the window (index c - wl + 1).
struct Window {
    std::int32_t lo = 0, hi = 0; // the block's cells
    std::int32_t wl = 0, wh = 0; // the window's cells
    double flux[maxvariables][windowfaces];
    double source[maxvariables][windowcells];
    double base[maxvariables][windowcells + 2];
    // The intermediate solutions of window cell j at index j + 1, with room
    // for the ghosts beyond a chain end at 0 and nw + 1.
    double transported[windowcells + 2];
    double diffused[maxvariables][windowcells + 2];
    double corrected[maxvariables][windowfaces];
};

// The window's storage, kept in the store: taken on the first update of the
// store, so that no later update allocates (and no host thread's stack has
// to hold it). A Window is created in it afresh for every block.
Window& windowin(Store& s)
{
    constexpr auto doubles = static_cast<std::int64_t>((sizeof(Window) + 7) / sizeof(double));
    static_assert(alignof(Window) <= alignof(double));
    if (s.chainwindow.size() < doubles)
        s.chainwindow.assign(doubles, 0.0);
    return *new (s.chainwindow.raw().data()) Window;
}

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
// outside it, one array per equation (window cell j at index j + 1).
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
    // Beyond a chain end there is no cell. The transport loop still reads
    // the slot for the end cell, whose diffused value is then redone with
    // the ghost, so the slot holds a plain zero.
    const std::int32_t nw = w.wh - w.wl + 1;
    for (std::int32_t k = 0; k < maxvariables; ++k) {
        if (w.wl == chain.first)
            w.base[k][0] = 0.0;
        if (w.wh == chain.last)
            w.base[k][nw + 1] = 0.0;
    }
}

// ---- Transport, diffusion and limited antidiffusion of one equation over a window ---

// Diffusive flux through window face j (between window cells j - 1 and j),
// from the base state; at an end face of the chain against the ghost,
// weighted by the end's weight.
double diffusiveflux(const Store& s, const Chain& chain, const Window& w, std::int32_t k,
                     std::int32_t j)
{
    const std::int32_t nw = w.wh - w.wl + 1;
    const double* base = w.base[k] + 1; // base[-1] and base[nw] lie outside the window
    const double facelength = s.facelength(w.wl + j);
    if (j == 0 && w.wl == chain.first)
        return 0.125 * chain.cl[k] * facelength * (base[0] - chain.ghostleft[k]);
    if (j == nw && w.wh == chain.last)
        return 0.125 * chain.cr[k] * facelength * (chain.ghostright[k] - base[nw - 1]);
    return 0.125 * facelength * (base[j] - base[j - 1]);
}

// Transported and diffused solutions of the window's cells for equation k.
// The end cells of the chain, whose outer face sees the ghost, are redone
// after the loop; then the ghosts of both solutions beyond the chain's ends.
void transportanddiffuse(const Store& s, const Chain& chain, Window& w, std::int32_t k)
{
    const std::int32_t nw = w.wh - w.wl + 1;
    const double* r = s.inversecelllength.at(w.wl);
    double* t = w.transported + 1;
    double* wd = w.diffused[k] + 1;
    fctloops::transportcells(nw, chain.dt, w.base[k] + 1, w.flux[k], w.source[k],
                             s.facelength.at(w.wl), r, t, wd);
    if (w.wl == chain.first) {
        wd[0] = t[0] + r[0] * (diffusiveflux(s, chain, w, k, 1) - diffusiveflux(s, chain, w, k, 0));
        t[-1] = chain.al[k] * t[0] + chain.bl[k];
        wd[-1] = chain.al[k] * wd[0] + chain.bl[k];
    }
    if (w.wh == chain.last) {
        wd[nw - 1] = t[nw - 1] + r[nw - 1] * (diffusiveflux(s, chain, w, k, nw) -
                                              diffusiveflux(s, chain, w, k, nw - 1));
        t[nw] = chain.ar[k] * t[nw - 1] + chain.br[k];
        wd[nw] = chain.ar[k] * wd[nw - 1] + chain.br[k];
    }
}

// Corrected antidiffusive fluxes of equation k through the block's faces
// lo..hi+1. Beyond a chain end both solutions hold their ghosts, so the
// differences next to an end face need no case of their own; the end face
// itself has the end's weight on its raw flux and no bound on its outer side.
void limit(const Store& s, const Chain& chain, Window& w, std::int32_t k)
{
    const std::int32_t nw = w.wh - w.wl + 1;
    const double* facelength = s.facelength.at(w.wl);
    const double* t = w.transported + 1;
    const double* wd = w.diffused[k] + 1;
    double* corrected = w.corrected[k];
    const std::int32_t from = std::max(w.lo, chain.first + 1) - w.wl;
    const std::int32_t to = std::min(w.hi + 1, chain.last) - w.wl;
    fctloops::limitfaces(from, to, facelength, t, wd, s.celllength.at(w.wl), corrected);
    if (w.lo == chain.first) {
        const double a = 0.125 * chain.cl[k] * facelength[0] * (t[0] - t[-1]);
        const double sign = fctloops::signof(wd[0] - wd[-1]);
        const double rightbound = sign * s.celllength(chain.first) * (wd[1] - wd[0]);
        corrected[0] = fctloops::limited(a, sign, largestdouble, rightbound);
    }
    if (w.hi == chain.last) {
        const double a = 0.125 * chain.cr[k] * facelength[nw] * (t[nw] - t[nw - 1]);
        const double sign = fctloops::signof(wd[nw] - wd[nw - 1]);
        const double leftbound = sign * s.celllength(chain.last) * (wd[nw - 1] - wd[nw - 2]);
        corrected[nw] = fctloops::limited(a, sign, leftbound, largestdouble);
    }
}

// The corrected update of the block's cells, written to conserved:
// U_c = W_c - (A~_c+1 - A~_c) r_c for every equation at once, so that each
// cell's column of the store is written whole.
PELMORA_VECTORISED
void correctedupdate(Store& s, const Window& w, std::int32_t variables)
{
    const std::int32_t offset = w.lo - w.wl;
    const std::int32_t n = w.hi - w.lo + 1;
    const double* __restrict r = s.inversecelllength.at(w.lo);
    double* __restrict u = s.conserved.raw().data() + 3 * (w.lo - 1);
    if (variables == maxvariables) {
        const double* __restrict w1 = w.diffused[0] + 1 + offset;
        const double* __restrict w2 = w.diffused[1] + 1 + offset;
        const double* __restrict w3 = w.diffused[2] + 1 + offset;
        const double* __restrict a1 = w.corrected[0] + offset;
        const double* __restrict a2 = w.corrected[1] + offset;
        const double* __restrict a3 = w.corrected[2] + offset;
        for (std::int32_t i = 0; i < n; ++i) {
            u[3 * i] = w1[i] - (a1[i + 1] - a1[i]) * r[i];
            u[3 * i + 1] = w2[i] - (a2[i + 1] - a2[i]) * r[i];
            u[3 * i + 2] = w3[i] - (a3[i + 1] - a3[i]) * r[i];
        }
        return;
    }
    for (std::int32_t k = 0; k < variables; ++k) {
        const double* wd = w.diffused[k] + 1 + offset;
        const double* corrected = w.corrected[k] + offset;
        for (std::int32_t i = 0; i < n; ++i)
            u[3 * i + k] = wd[i] - (corrected[i + 1] - corrected[i]) * r[i];
    }
}

} // namespace

// ---- The chain -------------------------------------------------------------------------

ChainSweep::ChainSweep(const Store& s, std::int32_t first, std::int32_t last, double dt,
                       CellArrays arrays)
    : stored(arrays)
{
    chain.first = first;
    chain.last = last;
    chain.dt = dt;
    chain.variables = kernelvariables(s);
    updated = first - 1;
    nextblock = first;
}

namespace {

// The end coefficients of one end, from the store into the chain's arrays.
void copyendcoefficients(const Array1<double>& gradient, const Array1<double>& value,
                         const Array1<double>& weight, std::int32_t variables, double* a, double* b,
                         double* c)
{
    for (std::int32_t k = 1; k <= variables; ++k) {
        a[k - 1] = gradient(k);
        b[k - 1] = value(k);
        c[k - 1] = weight(k);
    }
}

} // namespace

void ChainSweep::takeinletend(Store& s)
{
    for (std::int32_t k = 1; k <= chain.variables; ++k)
        setinletend(s, k, s.inletghost(k));
    copyendcoefficients(s.inletbcgradient, s.inletbcvalue, s.inletbcweight, chain.variables,
                        chain.al, chain.bl, chain.cl);
    faceflux(s, chain.first, chain.first, chain.last, chain.inletflux);
}

void ChainSweep::takeoutletend(Store& s)
{
    for (std::int32_t k = 1; k <= chain.variables; ++k)
        setoutletend(s, k, s.outletghost(k));
    copyendcoefficients(s.outletbcgradient, s.outletbcvalue, s.outletbcweight, chain.variables,
                        chain.ar, chain.br, chain.cr);
    faceflux(s, chain.last + 1, chain.first, chain.last, chain.outletflux);
}

// A block's window reaches `reach` cells beyond the block on either side,
// and its faces one cell further: the first face of the window lies between
// the cell before the window and the window's first cell, and the cell
// update runs up to the cell past the window's last face.
std::int32_t ChainSweep::lowestcellread() const
{
    if (done())
        return chain.last + 1;
    return std::max(chain.first, nextblock - reach - 1);
}

std::int32_t ChainSweep::highestcelltouched() const
{
    return std::min(chain.last, nextblock + blockcells - 1 + reach + 1);
}

// Brings the cell update up to cell `to`, and takes each end's ghosts as
// soon as that end cell has been updated (before any result is written).
void ChainSweep::updatecellsupto(Store& s, std::int32_t to)
{
    if (to <= updated)
        return;
    if (updated < chain.first) {
        updatecellrange(s, chain.first, chain.first, to, stored);
        chain.firstmassflow = s.massflowrate(chain.first);
        for (std::int32_t k = 0; k < chain.variables; ++k)
            chain.ghostleft[k] = chain.al[k] * s.conserved(k + 1, chain.first) + chain.bl[k];
    } else {
        continuecellrange(s, chain.firstmassflow, updated + 1, to, stored);
    }
    if (to == chain.last)
        for (std::int32_t k = 0; k < chain.variables; ++k)
            chain.ghostright[k] = chain.ar[k] * s.conserved(k + 1, chain.last) + chain.br[k];
    updated = to;
}

void ChainSweep::advance(Store& s)
{
    if (done())
        return;
    static_assert(blockcells > 2 * reach, "a window reaches only the neighbouring blocks");
    Window& w = windowin(s);
    w.lo = nextblock;
    w.hi = std::min(w.lo + blockcells - 1, chain.last);
    w.wl = std::max(chain.first, w.lo - reach);
    w.wh = std::min(chain.last, w.hi + reach);
    // The cell update ahead of the window, then the window's fluxes,
    // sources and base state.
    updatecellsupto(s, std::min(chain.last, w.wh + 1));
    windowfluxes(s, chain, w);
    cellsources(s, w.wl, w.wh, sine, w.source[0], w.source[1], w.source[2]);
    windowbase(s, chain, w);
    // Transport, diffusion and limited antidiffusion of each equation,
    // then the corrected values of the block's cells.
    for (std::int32_t k = 0; k < chain.variables; ++k) {
        transportanddiffuse(s, chain, w, k);
        limit(s, chain, w, k);
    }
    correctedupdate(s, w, chain.variables);
    nextblock = w.hi + 1;
}

void ChainSweep::finish(Store& s) const
{
    // The kernel's context as a host reads it after the update.
    s.currentcell = chain.last;
    s.currentface = 0;
    s.atinletface = logicalfalse;
    s.atoutletface = logicalfalse;
}

void fctstep(Store& s, std::int32_t first, std::int32_t last, double dt)
{
    // End coefficients from the ghost vectors, and the end face fluxes
    // from the end states; neither depends on the cell update.
    ChainSweep sweep(s, first, last, dt);
    sweep.takeinletend(s);
    sweep.takeoutletend(s);
    // Block after block: cell update ahead of the window, fluxes and
    // sources of the window, then the corrected update of every equation.
    while (!sweep.done())
        sweep.advance(s);
    sweep.finish(s);
}

} // namespace pelmora
