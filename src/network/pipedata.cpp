// Creating and releasing the pipe network.
//
// loadpipedata divides every pipe into cells, numbers cells and faces across
// the whole series of pipes and fills the geometry of every cell and face.
// It builds the new network in a separate store and moves it in only when
// everything succeeded, so a refused or failed load leaves the network that
// was loaded before exactly as it was.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "engine/errors.h"
#include "network/network.h"

namespace pelmora {

namespace {

// Flow area = areafactor * D * D. The factor is pi/4 rounded to nine
// digits, as the engine has always used it; results depend on it.
constexpr double areafactor = 0.785398175;

// Faces run to totalcells + 1, and both counts are 32-bit.
constexpr std::int64_t largestcellcount = std::numeric_limits<std::int32_t>::max() - 1;

// Rough number of doubles a network holds per cell and per face, over the
// network group, the geometry group and the working storage sized at load.
constexpr std::size_t doublespercell = 31;
constexpr std::size_t doublesperface = 15;

// ---------------------------------------------------------------------------
// The 56 arrays of the network group, in the order they are allocated and
// released. `visit` receives a pointer to the member.
// ---------------------------------------------------------------------------
template <class Visit>
void foreachnetworkarray(Visit visit)
{
    visit(&Store::firstcell);
    visit(&Store::lastcell);
    visit(&Store::midinletpressure);
    visit(&Store::midoutletpressure);
    visit(&Store::midinlettemperature);
    visit(&Store::midoutlettemperature);
    visit(&Store::midinletmassflow);
    visit(&Store::midoutletmassflow);
    visit(&Store::inletpressurefixed);
    visit(&Store::outletpressurefixed);
    visit(&Store::inlettemperaturefixed);
    visit(&Store::outlettemperaturefixed);
    visit(&Store::inletmassflowfixed);
    visit(&Store::outletmassflowfixed);
    visit(&Store::lastinletpressure);
    visit(&Store::lastoutletpressure);
    visit(&Store::inletpressure);
    visit(&Store::outletpressure);
    visit(&Store::lastinlettemperature);
    visit(&Store::lastoutlettemperature);
    visit(&Store::inlettemperature);
    visit(&Store::outlettemperature);
    visit(&Store::lastinletmassflow);
    visit(&Store::lastoutletmassflow);
    visit(&Store::inletmassflow);
    visit(&Store::outletmassflow);
    visit(&Store::pipepassflag);
    visit(&Store::previousconserved);
    visit(&Store::conserved);
    visit(&Store::inletghost);
    visit(&Store::outletghost);
    visit(&Store::celldiameter);
    visit(&Store::facediameter);
    visit(&Store::cellarea);
    visit(&Store::facearea);
    visit(&Store::areagradient);
    visit(&Store::cellinclination);
    visit(&Store::faceinclination);
    visit(&Store::relativeroughness);
    visit(&Store::density);
    visit(&Store::pressure);
    visit(&Store::temperature);
    visit(&Store::viscosity);
    visit(&Store::soundspeed);
    visit(&Store::internalenergy);
    visit(&Store::totalenergy);
    visit(&Store::enthalpy);
    visit(&Store::totalenthalpy);
    visit(&Store::velocity);
    visit(&Store::massflowrate);
    visit(&Store::machnumber);
    visit(&Store::ambienttemperature);
    visit(&Store::heattransfercoefficient);
    visit(&Store::densitychange);
    visit(&Store::temperaturechange);
    visit(&Store::massflowdeviation);
}

// The twelve arrays of the geometry-and-coefficient group, which survive a
// release of the network and are rebuilt by every load.
template <class Visit>
void foreachgeometryarray(Visit visit)
{
    visit(&Store::inletbcgradient);
    visit(&Store::inletbcvalue);
    visit(&Store::inletbcweight);
    visit(&Store::outletbcgradient);
    visit(&Store::outletbcvalue);
    visit(&Store::outletbcweight);
    visit(&Store::cellcentre);
    visit(&Store::celllength);
    visit(&Store::inversecelllength);
    visit(&Store::faceposition);
    visit(&Store::facelength);
    visit(&Store::inversefacelength);
}

// ---------------------------------------------------------------------------
// Validation and cell counts
// ---------------------------------------------------------------------------

bool positivefinite(double v) { return std::isfinite(v) && v > 0.0; }

// Geometry the cell division and the numerics can work with.
bool validpipe(double length, double inletdiameter, double outletdiameter, double inclination,
               double roughness, double celllength)
{
    return positivefinite(length) && positivefinite(inletdiameter) &&
           positivefinite(outletdiameter) && std::isfinite(inclination) &&
           std::isfinite(roughness) && roughness >= 0.0 && positivefinite(celllength);
}

// Number of cells of one pipe, or -1 when it does not fit the numbering.
//   1. r1 = 1/s: cells per metre wanted by the target cell length s;
//   2. r2 = |Din - Dout| * 2 / (min(Din, Dout) * L): cells per metre that
//      keep the diameter change over one cell below half the smaller end
//      diameter;
//   3. x = L / (1/r) with r the larger of the two (the order of operations
//      is part of the result);
//   4. round x half away from zero; at least 3 cells.
std::int64_t cellcount(double length, double inletdiameter, double outletdiameter,
                       double celllength)
{
    const double r1 = 1.0 / celllength;
    const double r2 = std::abs(inletdiameter - outletdiameter) * 2.0 /
                      (std::min(inletdiameter, outletdiameter) * length);
    const double r = std::max(r1, r2);
    const double x = length / (1.0 / r);

    // x >= 0 here; NaN or a count beyond the numbering is refused.
    const double rounded = x + 0.5;
    if (!(rounded < static_cast<double>(largestcellcount) + 1.0))
        return -1;
    const auto n = static_cast<std::int64_t>(std::trunc(rounded));
    return std::max<std::int64_t>(n, 3);
}

// Asks the heap once for a block as large as the whole new network and
// hands it straight back (a direct call of operator new, which the compiler
// may not drop). A machine that cannot hold the network refuses the load
// here, instead of running out of memory while the arrays are filled.
bool networkfitsmemory(std::int64_t totalcells, std::int64_t npipes)
{
    const auto cells = static_cast<std::size_t>(totalcells);
    const auto pipes = static_cast<std::size_t>(std::max<std::int64_t>(npipes, 0));
    const std::size_t bytes =
        sizeof(double) * (doublespercell * cells + doublesperface * (cells + 1) + 32 * pipes);
    void* block = ::operator new(bytes, std::nothrow);
    if (block == nullptr)
        return false;
    ::operator delete(block);
    return true;
}

// ---------------------------------------------------------------------------
// Building the new network in a separate store
// ---------------------------------------------------------------------------

// Per-pipe arrays: boundary values unset (zero), every quantity imposed at
// both ends, no driver pass made yet. firstcell and lastcell are filled by
// the cell count.
void allocatepipearrays(Store& b, std::size_t npipes)
{
    for (Array1<double>* a :
         {&b.midinletpressure, &b.midoutletpressure, &b.midinlettemperature,
          &b.midoutlettemperature, &b.midinletmassflow, &b.midoutletmassflow, &b.lastinletpressure,
          &b.lastoutletpressure, &b.inletpressure, &b.outletpressure, &b.lastinlettemperature,
          &b.lastoutlettemperature, &b.inlettemperature, &b.outlettemperature, &b.lastinletmassflow,
          &b.lastoutletmassflow, &b.inletmassflow, &b.outletmassflow})
        a->assign(npipes, 0.0);
    for (Array1<std::int32_t>* a :
         {&b.inletpressurefixed, &b.outletpressurefixed, &b.inlettemperaturefixed,
          &b.outlettemperaturefixed, &b.inletmassflowfixed, &b.outletmassflowfixed})
        a->assign(npipes, logicaltrue);
    b.pipepassflag.assign(npipes, logicalfalse);
}

// Conserved variables, ghost vectors, every per-cell and per-face array of
// the network group. Only the geometry is filled later; the rest stays zero
// until the starting state and the wall data are loaded.
void allocatecellarrays(Store& b)
{
    const auto nvars = static_cast<std::size_t>(b.numberofvariables);
    const auto ncells = static_cast<std::size_t>(b.totalcells);
    const auto nfaces = static_cast<std::size_t>(b.totalfaces);

    b.previousconserved.assign(b.numberofvariables, b.totalcells, 0.0);
    b.conserved.assign(b.numberofvariables, b.totalcells, 0.0);
    b.inletghost.assign(nvars, 0.0);
    b.outletghost.assign(nvars, 0.0);
    for (Array1<double>* a : {&b.celldiameter,
                              &b.cellarea,
                              &b.areagradient,
                              &b.cellinclination,
                              &b.relativeroughness,
                              &b.density,
                              &b.pressure,
                              &b.temperature,
                              &b.viscosity,
                              &b.soundspeed,
                              &b.internalenergy,
                              &b.totalenergy,
                              &b.enthalpy,
                              &b.totalenthalpy,
                              &b.velocity,
                              &b.massflowrate,
                              &b.machnumber,
                              &b.ambienttemperature,
                              &b.heattransfercoefficient,
                              &b.densitychange,
                              &b.temperaturechange,
                              &b.massflowdeviation})
        a->assign(ncells, 0.0);
    for (Array1<double>* a : {&b.facediameter, &b.facearea, &b.faceinclination})
        a->assign(nfaces, 0.0);
}

// The geometry-and-coefficient group: the two end-face weights start at 1,
// the other coefficients are set by each step.
void allocategeometryarrays(Store& b)
{
    const auto nvars = static_cast<std::size_t>(b.numberofvariables);
    const auto ncells = static_cast<std::size_t>(b.totalcells);
    const auto nfaces = static_cast<std::size_t>(b.totalfaces);

    for (Array1<double>* a :
         {&b.inletbcgradient, &b.inletbcvalue, &b.outletbcgradient, &b.outletbcvalue})
        a->assign(nvars, 0.0);
    b.inletbcweight.assign(nvars, 1.0);
    b.outletbcweight.assign(nvars, 1.0);
    for (Array1<double>* a : {&b.cellcentre, &b.celllength, &b.inversecelllength})
        a->assign(ncells, 0.0);
    for (Array1<double>* a : {&b.faceposition, &b.facelength, &b.inversefacelength})
        a->assign(nfaces, 0.0);
}

// Geometry of the faces and cells of pipe p. The pipe's faces are filled
// first, so its first face (shared with the pipe before it) takes this
// pipe's values; the cells of the pipe before were computed earlier and used
// that pipe's outlet diameter.
void fillpipegeometry(Store& b, std::int32_t p, double inletdiameter, double outletdiameter,
                      double inclination, double roughness, double dx)
{
    const std::int32_t f0 = b.firstcell(p);
    const std::int32_t n = b.lastcell(p) - f0 + 1;

    // 1. Faces f0 .. f0 + n: the diameter goes linearly from inlet to outlet.
    for (std::int32_t j = 0; j <= n; ++j) {
        const std::int32_t f = f0 + j;
        const double d = (outletdiameter * j + (n - j) * inletdiameter) / n;
        b.facediameter(f) = d;
        b.facearea(f) = d * areafactor * d;
        b.faceinclination(f) = inclination;
        b.facelength(f) = dx;
        b.inversefacelength(f) = 1.0 / dx;
    }

    // 2. Cells in order, each taking the mean of its two face diameters and
    //    advancing the position along the pipe by one cell length.
    for (std::int32_t c = f0; c < f0 + n; ++c) {
        b.cellinclination(c) = inclination;
        if (c == f0)
            b.faceposition(c) = 0.0;
        const double x = b.faceposition(c);
        b.celllength(c) = dx;
        b.inversecelllength(c) = 1.0 / dx;
        const double d = (b.facediameter(c) + b.facediameter(c + 1)) * 0.5;
        b.celldiameter(c) = d;
        b.relativeroughness(c) = roughness / d;
        b.cellarea(c) = d * areafactor * d;
        b.areagradient(c) = (b.facediameter(c + 1) - b.facediameter(c)) * 2.0 / (d * dx);
        b.faceposition(c + 1) = dx + x;
        b.cellcentre(c) = x + dx * 0.5;
    }
}

// Moves the network built in b into s; the old network ends up in b and is
// released with it.
void commitnetwork(Store& s, Store& b) noexcept
{
    foreachnetworkarray([&](auto member) { std::swap(s.*member, b.*member); });
    foreachgeometryarray([&](auto member) { std::swap(s.*member, b.*member); });
    swapworkingstorage(s, b);

    s.numberofvariables = b.numberofvariables;
    s.numberofpipes = b.numberofpipes;
    s.totalcells = b.totalcells;
    s.totalfaces = b.totalfaces;
    s.pipeerrorcode = codenone;
    s.maximumtimestep = largestdouble;
    s.networkloaded = true;
    s.geometryloaded = true;
}

} // namespace

// ---------------------------------------------------------------------------

bool loadpipedata(Store& s, std::int32_t npipes, const double* length, const double* inletdiameter,
                  const double* outletdiameter, const double* inclination, const double* roughness,
                  const double* celllength)
{
    // 1. Validate every pipe and count its cells before anything changes.
    if (length == nullptr || inletdiameter == nullptr || outletdiameter == nullptr ||
        inclination == nullptr || roughness == nullptr || celllength == nullptr) {
        refusepipe(s);
        return false;
    }
    // Every pipe has at least 3 cells, which bounds the pipe count.
    const std::int32_t pipes = std::max<std::int32_t>(npipes, 0);
    if (pipes > largestcellcount / 3) {
        refusepipe(s);
        return false;
    }
    std::vector<std::int32_t> cells(static_cast<std::size_t>(pipes));
    std::int64_t totalcells = 0;
    for (std::int32_t k = 0; k < pipes; ++k) {
        if (!validpipe(length[k], inletdiameter[k], outletdiameter[k], inclination[k], roughness[k],
                       celllength[k])) {
            refusepipe(s);
            return false;
        }
        const std::int64_t n =
            cellcount(length[k], inletdiameter[k], outletdiameter[k], celllength[k]);
        if (n < 0 || totalcells + n > largestcellcount) {
            refusepipe(s);
            return false;
        }
        cells[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(n);
        totalcells += n;
    }
    if (!networkfitsmemory(totalcells, pipes)) {
        refusepipe(s);
        return false;
    }

    // 2. Counts and the cell range of every pipe.
    Store b;
    b.numberofvariables = 3;
    b.numberofpipes = npipes;
    b.totalcells = static_cast<std::int32_t>(totalcells);
    b.totalfaces = b.totalcells + 1;
    b.firstcell.assign(static_cast<std::size_t>(pipes), 0);
    b.lastcell.assign(static_cast<std::size_t>(pipes), 0);
    std::int32_t last = 0;
    for (std::int32_t p = 1; p <= pipes; ++p) {
        b.firstcell(p) = last + 1;
        last += cells[static_cast<std::size_t>(p - 1)];
        b.lastcell(p) = last;
    }

    // 3. Every array of both groups and the working storage.
    allocatepipearrays(b, static_cast<std::size_t>(pipes));
    allocatecellarrays(b);
    allocategeometryarrays(b);
    sizeworkingstorage(b);

    // 4. Geometry, pipe by pipe in order; face 1 starts at position 0 even
    //    when there are no pipes.
    b.faceposition(1) = 0.0;
    for (std::int32_t p = 1; p <= pipes; ++p) {
        const std::size_t k = static_cast<std::size_t>(p - 1);
        const double dx = length[k] / cells[k];
        fillpipegeometry(b, p, inletdiameter[k], outletdiameter[k], inclination[k], roughness[k],
                         dx);
    }

    // 5. Nothing can fail any more: replace the old network.
    commitnetwork(s, b);
    return true;
}

void freepipememory(Store& s)
{
    if (!s.networkloaded)
        return;
    foreachnetworkarray([&](auto member) { (s.*member).release(); });
    s.networkloaded = false;
}

} // namespace pelmora
