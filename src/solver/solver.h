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
#include "fluid/fluid.h"

namespace pelmora {

constexpr double pi = 3.1415927;          // wetted perimeter pi*D
constexpr double gravity = 9.81;          // m/s2
constexpr double quarterpi = 0.785398175; // pi/4: end-face area = quarterpi (D D)
constexpr double reynoldscap = 1.0e10;
constexpr double cellmassdensityfloor = 0.001; // kg/m3, density floor of the cell update

// Number of conserved variables the kernel updates: the store's count,
// never more than the three of the gas model or than the arrays hold (a
// parameter exchange may have changed the count since the load).
inline std::int32_t kernelvariables(const Store& s)
{
    std::int64_t nv = s.numberofvariables;
    for (std::int64_t size :
         {std::int64_t{3}, s.conserved.nrows(), s.previousconserved.nrows(), s.inletghost.size(),
          s.outletghost.size(), s.inletbcgradient.size(), s.inletbcvalue.size(),
          s.inletbcweight.size(), s.outletbcgradient.size(), s.outletbcvalue.size(),
          s.outletbcweight.size()})
        if (size < nv)
            nv = size;
    return nv < 0 ? 0 : static_cast<std::int32_t>(nv);
}

// Fanning friction factor from Reynolds number and relative roughness.
double frictionfactor(double re, double relativeroughness);

// Fanning friction factor of cell c from the gas state stored for it: none
// without viscosity; a Reynolds number above 1e10 is capped there and
// raises pipe code 2.
double cellfriction(Store& s, std::int32_t c);

// The cell update for any gas model: one fluidstate evaluation per cell, in
// cell order, cells from..to of a range that starts at first. updatecells
// takes this path for the host model and an inline path with the same
// results for the ideal gas.
void updatethroughfluidstate(Store& s, std::int32_t first, std::int32_t from, std::int32_t to);

// Primitive state of cells first..last from the conserved variables.
void updatecells(Store& s, std::int32_t first, std::int32_t last);

// Which cell arrays a cell update stores. Normally all of them. When a second
// update of the same cells follows within the sub-step and nothing reads the
// first one's change measures (density, temperature and mass-flow
// deviation), Mach number and total energy before the second overwrites
// them, the first may leave those five as they were; it still stores
// everything the fluxes, the sources and the next cell update read, and a
// whole fluid state per cell. The host gas model always stores all.
enum class CellArrays { all, forthestep };

// The same for cells from..to of a range that starts at cell first (first <=
// from): the chain update works through its cells a block at a time, and the
// mass-flow deviation of every cell refers to the range's first cell.
void updatecellrange(Store& s, std::int32_t first, std::int32_t from, std::int32_t to,
                     CellArrays arrays = CellArrays::all);

// The same, continuing a range whose first cell was updated earlier and got
// the mass flow mfirst (from past that cell). Unlike updatecellrange it does
// not read the first cell's stored flow, which another update may have
// overwritten since.
void continuecellrange(Store& s, double mfirst, std::int32_t from, std::int32_t to,
                       CellArrays arrays = CellArrays::all);

// The cell arrays of cell c as a place to keep a gas state.
GasRow cellrow(Store& s, std::int32_t c);

// The end state of end 1 (inlet) or 2 (outlet) of the chain being worked
// on as a place to keep a gas state (no viscosity, no totals).
GasRow endrow(Store& s, int end);

// The state of the network's end 1 or 2 that the boundary queries report,
// as a place to keep a gas state (no viscosity, no totals; the mass flow is
// kept apart).
GasRow networkendrow(Store& s, int end);

// Source vector (per unit volume; per unit length for the mass equation) of
// cell c.
void cellsource(Store& s, std::int32_t c, double source[3]);

// Momentum and energy sources of a cell per unit volume (the mass source is
// 0).
struct CellSources {
    double momentum; // N/m3
    double energy;   // W/m3
};

// The same sources of cell c, with its friction factor f and the sine of its
// inclination, with the terms grouped as the steady march writes its
// balances (see sources.cpp).
CellSources marchsources(const Store& s, std::int32_t c, double f, double sine);

// Flux vector through face f of the chain of cells first..last: through an
// end face (f = first or last + 1) from that end's state, through an
// interior face from the two cells beside it.
void faceflux(const Store& s, std::int32_t f, std::int32_t first, std::int32_t last,
              double flux[3]);

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

// What a chain update knows about its chain and its two ends.
struct Chain {
    static constexpr std::int32_t maxvariables = 3;
    std::int32_t first = 0, last = 0, variables = 0;
    double dt = 0.0;
    // End coefficients of each equation, left (inlet) and right: the ghost
    // beyond the end is a X + b of the end cell's X; c weights the end
    // face's diffusive and antidiffusive fluxes.
    double al[maxvariables] = {}, bl[maxvariables] = {}, cl[maxvariables] = {};
    double ar[maxvariables] = {}, br[maxvariables] = {}, cr[maxvariables] = {};
    // The ghosts, taken from the end cells right after their cell update.
    double ghostleft[maxvariables] = {}, ghostright[maxvariables] = {};
    // Flux vectors through the two end faces.
    double inletflux[maxvariables] = {}, outletflux[maxvariables] = {};
    // The first cell's mass flow from this update's cell update.
    double firstmassflow = 0.0;
};

// The update of fctstep taken a block of cells at a time, so that a driver
// can run the two stages of a sub-step over a long chain together: the
// second trailing the first by a block, whose data is then still in the
// processor's cache. fctstep is: construct, take both ends, advance until
// done, finish.
//
// Each end must be taken before the first block that reaches it (the inlet
// end before the first block; the outlet end before the block whose cell
// update or window reaches the last cell, at the latest when
// highestcelltouched() is the last cell).
class ChainSweep {
public:
    // Cells first..last over dt from previousconserved; reads nothing yet.
    // The cell update stores `arrays` (see CellArrays).
    ChainSweep(const Store& s, std::int32_t first, std::int32_t last, double dt,
               CellArrays arrays = CellArrays::all);

    // End coefficients and end face flux of one end, from the ghost vector
    // and the end state that the step preparation formed.
    void takeinletend(Store& s);
    void takeoutletend(Store& s);

    // Updates the next block: the cell update ahead of it, the window's
    // fluxes and sources, the corrected conserved values of its cells.
    void advance(Store& s);
    bool done() const { return nextblock > chain.last; }

    // The lowest cell whose state the remaining blocks read (the chain's
    // last cell plus one when done). Cells below it are finished with.
    std::int32_t lowestcellread() const;
    // The highest cell whose state the next block reads or writes.
    std::int32_t highestcelltouched() const;

    // Leaves the kernel's context items (current cell and face, the two
    // end-face flags) as a host reads them after a chain update: the chain's
    // last cell, no face.
    void finish(Store& s) const;

private:
    void updatecellsupto(Store& s, std::int32_t to);

    Chain chain;
    CellArrays stored; // what the cell update stores
    InclinationSine sine;
    std::int32_t updated = 0;   // the cell update has reached this cell
    std::int32_t nextblock = 0; // first cell of the next block
};

// Prepares the ends of the chain from the first cell of pipe firstpipe to the
// last cell of pipe lastpipe and advances it by dt.
void preparestep(Store& s, double dt, std::int32_t firstpipe, std::int32_t lastpipe);

// The two halves of the preparation, one end each: end face geometry, the
// imposed or extrapolated end values, the end state and the ghost vector,
// and at a network end the published network-end state. Each reads only the
// two cells nearest its end.
void prepareinlet(Store& s, std::int32_t firstpipe);
void prepareoutlet(Store& s, std::int32_t lastpipe);

} // namespace pelmora
