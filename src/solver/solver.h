// The flow solver kernel: one explicit flux-corrected transport update of a
// chain of cells under the end conditions that the chain's ends impose.
//
//   preparestep   end geometry, end states and ghost vectors, then fctstep
//   fctstep       generic transport + 1/8 diffusion + limited antidiffusion;
//                 knows nothing of gas physics
//   updatecells   cell primitive state from the conserved variables
//   faceflux      flux vector through one face
//   cellsource    friction, gravity, area change and wall heat of one cell
//   setendcoefficients / setinletend / setoutletend
//                 ghost rules of the two chain ends
#pragma once

#include <cstdint>

#include "engine/store.h"

namespace pelmora {

constexpr double pi = 3.1415927;              // wetted perimeter pi*D
constexpr double gravity = 9.81;              // m/s2
constexpr double quarterpi = 0.785398175;     // area = quarterpi * D * D
constexpr double reynoldscap = 1.0e10;
constexpr double cellmassdensityfloor = 0.001; // kg/m3, density floor of the cell update

// Number of conserved variables the kernel updates: the store's count,
// never more than the three of the gas model or than the arrays hold (a
// parameter exchange may have changed the count since the load).
inline std::int32_t kernelvariables(const Store& s)
{
    std::int64_t nv = s.numberofvariables;
    for (std::int64_t size : {std::int64_t{3}, s.conserved.nrows(), s.previousconserved.nrows(),
                              s.inletghost.size(), s.outletghost.size(), s.inletbcgradient.size(),
                              s.inletbcvalue.size(), s.inletbcweight.size(),
                              s.outletbcgradient.size(), s.outletbcvalue.size(),
                              s.outletbcweight.size()})
        if (size < nv)
            nv = size;
    return nv < 0 ? 0 : static_cast<std::int32_t>(nv);
}

// Fanning friction factor from Reynolds number and relative roughness.
double frictionfactor(double re, double relativeroughness);

// The cell update for any gas model: one fluidstate evaluation per cell, in
// cell order, cells from..to of a range that starts at first. updatecells
// takes this path for the host model and an inline path with the same
// results for the ideal gas.
void updatethroughfluidstate(Store& s, std::int32_t first, std::int32_t from, std::int32_t to);

// Primitive state of cells first..last from the conserved variables.
void updatecells(Store& s, std::int32_t first, std::int32_t last);

// The same for cells from..to of a range that starts at cell first (first <=
// from): the chain update works through its cells a block at a time, and the
// mass-flow deviation of every cell refers to the range's first cell.
void updatecellrange(Store& s, std::int32_t first, std::int32_t from, std::int32_t to);

// Source vector (per unit volume; per unit length for the mass equation) of
// cell s.currentcell.
void cellsource(Store& s, double source[3]);

// Flux vector through face s.currentface, or through the chain's inlet or
// outlet end face when s.atinletface / s.atoutletface is set.
void faceflux(const Store& s, double flux[3]);

// ---- Batched forms for the chain update ----------------------------------------
// The same values as faceflux and cellsource, computed for a run of faces or
// cells at once so that the loops vectorise. Results go to three arrays, one
// per equation, indexed from 0 for the first face or cell of the run.

// The sine of a cell's inclination, kept for the latest angle seen: the cells
// of a pipe share one inclination, so a chain update evaluates one sine per
// pipe. Keyed on the angle's exact bits, since a parameter exchange may change
// any cell's inclination between calls.
struct InclinationSine {
    std::uint64_t anglebits = 0;
    double sine = 0.0; // sin(+0)
};

// Interior faces from..to (face f between cells f-1 and f).
void interiorfluxes(const Store& s, std::int32_t from, std::int32_t to, double* flux1,
                    double* flux2, double* flux3);

// Cells from..to; raises pipeerrorcode to 2 when a Reynolds number is capped.
void cellsources(Store& s, std::int32_t from, std::int32_t to, InclinationSine& sine,
                 double* source1, double* source2, double* source3);

void setinletend(Store& s, std::int32_t k, double ghost);
void setoutletend(Store& s, std::int32_t k, double ghost);
void setendcoefficients(Store& s);

// Advances conserved over cells first..last by dt from the base state
// previousconserved.
void fctstep(Store& s, std::int32_t first, std::int32_t last, double dt);

// Prepares the ends of the chain from the first cell of pipe firstpipe to the
// last cell of pipe lastpipe and advances it by dt.
void preparestep(Store& s, double dt, std::int32_t firstpipe, std::int32_t lastpipe);

} // namespace pelmora
