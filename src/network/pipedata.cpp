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
#include <type_traits>
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

// Number of items of one dimension.
constexpr std::size_t itemsof(Dimension dimension)
{
    std::size_t n = 0;
    for (const ItemInfo& item : iteminfo)
        n += item.dimension == dimension ? 1 : 0;
    return n;
}

// Doubles a network holds per cell and per face, over the network group,
// the geometry group and the steady march's face arrays.
constexpr std::size_t doublespercell =
    itemsof(Dimension::cell) + gasvariables * itemsof(Dimension::varcell);
constexpr std::size_t doublesperface =
    itemsof(Dimension::face) + sizeof(MarchFaces) / sizeof(Array1<double>);

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

// Every array of the network and geometry groups, sized for the counts of
// b and filled with its starting value: boundary values unset (zero), every
// quantity imposed at both ends, no driver pass made yet, end-face weights
// of 1. The cell ranges, the geometry, the starting state and the wall data
// are filled in later.
void allocatearrays(Store& b, std::size_t npipes)
{
    const auto nvars = static_cast<std::size_t>(b.numberofvariables);
    const auto ncells = static_cast<std::size_t>(b.totalcells);
    const auto nfaces = static_cast<std::size_t>(b.totalfaces);
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        constexpr ItemInfo info = ItemAt<R>::info;
        Member& a = b.*item;
        if constexpr (info.dimension == Dimension::varcell) {
            a.assign(b.numberofvariables, b.totalcells, info.start);
        } else if constexpr (info.isarray()) {
            using Element = std::remove_reference_t<decltype(a(1))>;
            const std::size_t n = info.dimension == Dimension::pipe       ? npipes
                                  : info.dimension == Dimension::variable ? nvars
                                  : info.dimension == Dimension::cell     ? ncells
                                                                          : nfaces;
            a.assign(n, static_cast<Element>(info.start));
        }
    });
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
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        if constexpr (ItemAt<R>::info.lifetime != Lifetime::scalars)
            std::swap(s.*item, b.*item);
    });
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

    // 2. Counts, every array of both groups, the working storage and the
    //    cell range of every pipe.
    Store b;
    b.numberofvariables = gasvariables;
    b.numberofpipes = npipes;
    b.totalcells = static_cast<std::int32_t>(totalcells);
    b.totalfaces = b.totalcells + 1;
    allocatearrays(b, static_cast<std::size_t>(pipes));
    sizeworkingstorage(b);
    std::int32_t last = 0;
    for (std::int32_t p = 1; p <= pipes; ++p) {
        b.firstcell(p) = last + 1;
        last += cells[static_cast<std::size_t>(p - 1)];
        b.lastcell(p) = last;
    }

    // 3. Geometry, pipe by pipe in order; face 1 starts at position 0 even
    //    when there are no pipes.
    b.faceposition(1) = 0.0;
    for (std::int32_t p = 1; p <= pipes; ++p) {
        const std::size_t k = static_cast<std::size_t>(p - 1);
        const double dx = length[k] / cells[k];
        fillpipegeometry(b, p, inletdiameter[k], outletdiameter[k], inclination[k], roughness[k],
                         dx);
    }

    // 4. Nothing can fail any more: replace the old network.
    commitnetwork(s, b);
    return true;
}

void freepipememory(Store& s)
{
    if (!s.networkloaded)
        return;
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        if constexpr (ItemAt<R>::info.lifetime == Lifetime::network)
            (s.*item).release();
    });
    s.networkloaded = false;
}

} // namespace pelmora
