#include "solver/vectorise.h"

#include "drivers/stepping.h"

#include "drivers/drivers.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "fluid/fluid.h"
#include "solver/fctloops.h"
#include "solver/solver.h"

#if PELMORA_FCTLOOPS_AVX512
#  include <immintrin.h>
#endif

namespace pelmora {

namespace {

constexpr double speedfloor = 1.0e-5; // m/s, keeps the crossing time finite at rest

// Keeps NaN: the smaller of a and b, or NaN if either is NaN.
double minkeepnan(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::nan("");
    return b < a ? b : a;
}

} // namespace

bool steppable(const Store& s, std::int32_t firstpipe, std::int32_t lastpipe)
{
    if (!s.fluidloaded || !s.networkloaded || !s.geometryloaded)
        return false;
    // Every array the drivers and the kernel index by cell or face must hold
    // the whole network (counts can change through the parameter exchange);
    // the kernel works on three conserved variables per cell.
    if (s.numberofpipes < 1 || s.totalcells < 1 || !arraysholdcounts(s) ||
        s.conserved.nrows() != gasvariables || s.previousconserved.nrows() != gasvariables)
        return false;
    if (firstpipe < 1 || lastpipe > s.numberofpipes || firstpipe > lastpipe)
        return false;
    // Only the pipes of the chain are touched, so only they are checked: a
    // step of one pipe costs in proportion to that pipe.
    const std::int64_t cells = allocatedcells(s);
    for (std::int32_t p = firstpipe; p <= lastpipe; ++p)
        if (!haspipecells(s, p, cells))
            return false;
    return s.lastcell(lastpipe) - s.firstcell(firstpipe) + 1 >= 2;
}

namespace {

// Crossing times dx / max(1e-5, |u| + c) of n cells.
PELMORA_VECTORISED
void crossingtimes(std::int32_t n, const double* __restrict celllength,
                   const double* __restrict velocity, const double* __restrict soundspeed,
                   double* __restrict times)
{
    for (std::int32_t i = 0; i < n; ++i) {
        const double speed = std::abs(velocity[i]) + soundspeed[i];
        times[i] = celllength[i] / (speed < speedfloor ? speedfloor : speed);
    }
}

// The smallest of n values and `start`, or NaN if any is NaN. Four running
// minima keep the comparisons independent; a minimum does not depend on the
// order in which values are compared.
double smallestloop(const double* values, std::int32_t n, double start)
{
    double m[4] = {start, start, start, start};
    int nans = 0;
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (int j = 0; j < 4; ++j) {
            const double v = values[i + j];
            nans += v == v ? 0 : 1;
            m[j] = v < m[j] ? v : m[j];
        }
    for (; i < n; ++i) {
        const double v = values[i];
        nans += v == v ? 0 : 1;
        m[0] = v < m[0] ? v : m[0];
    }
    if (nans != 0)
        return std::nan("");
    return std::min(std::min(m[0], m[1]), std::min(m[2], m[3]));
}

#if PELMORA_FCTLOOPS_AVX512
// The same with eight running minima in one AVX-512 register (the compiler
// does not vectorise a minimum that must keep track of NaN).
__attribute__((target("avx512f"))) double smallestavx512(const double* values, std::int32_t n,
                                                         double start)
{
    __m512d m = _mm512_set1_pd(start);
    __mmask8 nans = 0;
    for (std::int32_t i = 0; i < n; i += 8) {
        const __mmask8 lanes = static_cast<__mmask8>(n - i >= 8 ? 0xffU : (1U << (n - i)) - 1U);
        const __m512d v = _mm512_maskz_loadu_pd(lanes, values + i);
        nans |= _mm512_mask_cmp_pd_mask(lanes, v, v, _CMP_UNORD_Q);
        // v < m ? v : m in the lanes that hold values.
        m = _mm512_mask_min_pd(m, lanes, v, m);
    }
    if (nans != 0)
        return std::nan("");
    alignas(64) double lane[8];
    _mm512_store_pd(lane, m);
    return smallestloop(lane, 8, start);
}
#endif

double smallest(const double* values, std::int32_t n, double start)
{
#if PELMORA_FCTLOOPS_AVX512
    // (Built and run where the chain update's AVX-512 loops are.)
    if (fctloops::available())
        return smallestavx512(values, n, start);
#endif
    return smallestloop(values, n, start);
}

// The smallest crossing time of the cells from `first` on, `count` of them,
// a block at a time through a buffer on the stack.
double smallestcrossingtime(const Store& s, std::int32_t first, std::int32_t count)
{
    constexpr std::int32_t blockcells = 256;
    double times[blockcells];
    double r = largestdouble;
    for (std::int32_t done = 0; done < count; done += blockcells) {
        const std::int32_t n = std::min(blockcells, count - done);
        const std::int32_t c = first + done;
        crossingtimes(n, s.celllength.at(c), s.velocity.at(c), s.soundspeed.at(c), times);
        r = smallest(times, n, r);
    }
    return r;
}

} // namespace

double pipelimit(const Store& s, std::int32_t p)
{
    const std::int32_t first = s.firstcell(p);
    const double r = smallestcrossingtime(s, first, s.lastcell(p) - first + 1);
    return minkeepnan(0.5 * r, s.maximumtimestep);
}

namespace {

// Half the crossing time of the end cell at the network-end state. The speed
// has no floor: while the end state is still zero the limit is infinite.
double endlimit(double celllength, double velocity, double soundspeed)
{
    const double h = 0.5 * celllength / (std::abs(velocity) + soundspeed);
    return h > 0.0 ? h : std::numeric_limits<double>::infinity();
}

} // namespace

double networklimit(const Store& s)
{
    double hpipes = largestdouble;
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p)
        hpipes = minkeepnan(hpipes, pipelimit(s, p));
    // The network-end limits have no lower bound on the speed: while the end
    // states are still zero the quotient is infinite, i.e. no limit.
    // An end state that is not a usable number (left by an earlier failed
    // step, or restored by the host) sets no limit either: the cells already
    // bound the sub-step, and the next pipe step publishes a fresh end state.
    const double hin = endlimit(s.celllength(1), s.bcvelocity(1), s.bcsoundspeed(1));
    const double hout = endlimit(s.celllength(s.totalcells), s.bcvelocity(2), s.bcsoundspeed(2));
    return minkeepnan(hpipes, std::min(hin, hout));
}

bool usablesubstep(double h, double t) { return std::isfinite(h) && h > 0.0 && t + h > t; }

bool SubstepBudget::allows(double limit, double h, double togo)
{
    constexpr double collapse = 1.0e-9;
    if (!(limit > 0.0))
        return false;
    // The first sub-step may be bounded by states an earlier call left (the
    // network-end states of a failed step, cell profiles restored apart from
    // the conserved levels); judged on those, a refused call would refresh
    // nothing and every later call would be refused as well. From the second
    // sub-step on, the limit comes from this call's own states.
    if (count > 0 && togo / h > static_cast<double>(maximumsubsteps - count))
        return false;
    if (++count > maximumsubsteps)
        return false;
    if (first == 0.0 && std::isfinite(limit))
        first = limit;
    return !(first > 0.0 && limit < collapse * first);
}

void applyfirststage(Store& s, std::int32_t inletpipe, std::int32_t outletpipe,
                     const StageValues& target)
{
    s.midinletpressure(inletpipe) = 0.5 * (s.lastbcpressure(1) + target.inletpressure);
    s.midinlettemperature(inletpipe) = 0.5 * (s.lastbctemperature(1) + target.inlettemperature);
    s.midinletmassflow(inletpipe) = 0.5 * (s.lastbcmassflow(1) + target.inletmassflow);
    s.midoutletpressure(outletpipe) = 0.5 * (s.lastbcpressure(2) + target.outletpressure);
    s.midoutlettemperature(outletpipe) = 0.5 * (s.lastbctemperature(2) + target.outlettemperature);
    s.midoutletmassflow(outletpipe) = 0.5 * (s.lastbcmassflow(2) + target.outletmassflow);

    s.midbcpressure(1) = s.midinletpressure(inletpipe);
    s.midbctemperature(1) = s.midinlettemperature(inletpipe);
    s.midbcmassflow(1) = s.midinletmassflow(inletpipe);
    s.midbcpressure(2) = s.midoutletpressure(outletpipe);
    s.midbctemperature(2) = s.midoutlettemperature(outletpipe);
    s.midbcmassflow(2) = s.midoutletmassflow(outletpipe);

    s.lastbcpressure(1) = target.inletpressure;
    s.lastbctemperature(1) = target.inlettemperature;
    s.lastbcmassflow(1) = target.inletmassflow;
    s.lastbcpressure(2) = target.outletpressure;
    s.lastbctemperature(2) = target.outlettemperature;
    s.lastbcmassflow(2) = target.outletmassflow;
}

void applysecondstage(Store& s, std::int32_t inletpipe, std::int32_t outletpipe)
{
    s.midinletpressure(inletpipe) = s.lastbcpressure(1);
    s.midinlettemperature(inletpipe) = s.lastbctemperature(1);
    s.midinletmassflow(inletpipe) = s.lastbcmassflow(1);
    s.midoutletpressure(outletpipe) = s.lastbcpressure(2);
    s.midoutlettemperature(outletpipe) = s.lastbctemperature(2);
    s.midoutletmassflow(outletpipe) = s.lastbcmassflow(2);

    for (int end = 1; end <= 2; ++end) {
        s.midbcpressure(end) = s.lastbcpressure(end);
        s.midbctemperature(end) = s.lastbctemperature(end);
        s.midbcmassflow(end) = s.lastbcmassflow(end);
    }
}

void exchangejunction(Store& s, std::int32_t p)
{
    if (p < s.numberofpipes) {
        const std::int32_t c = s.lastcell(p);
        s.midinletpressure(p + 1) = s.pressure(c);
        s.midinlettemperature(p + 1) = s.temperature(c);
        s.midinletmassflow(p + 1) = s.massflowrate(c);
    }
    if (p > 1) {
        const std::int32_t c = s.firstcell(p);
        s.midoutletpressure(p - 1) = s.pressure(c);
        s.midoutlettemperature(p - 1) = s.temperature(c);
        s.midoutletmassflow(p - 1) = s.massflowrate(c);
    }
}

void exchangejunctions(Store& s)
{
    if (s.numberofpipes <= 1)
        return;
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p)
        exchangejunction(s, p);
}

namespace {

// End values that are not imposed follow the end cell.
void takeendfromcell(Store& s, int end, std::int32_t cell, std::int32_t pressurefixed,
                     std::int32_t temperaturefixed, std::int32_t massflowfixed)
{
    if (!istrue(pressurefixed))
        s.endpressure(end) = s.pressure(cell);
    if (!istrue(temperaturefixed))
        s.endtemperature(end) = s.temperature(cell);
    if (!istrue(massflowfixed))
        s.endmassflow(end) = s.massflowrate(cell);
}

// The end state at the end's values, moving through the end cell's area.
void evaluateend(Store& s, int end, std::int32_t cell)
{
    endrow(s, end).store(
        gasat(s, s.endpressure(end), s.endtemperature(end), s.endmassflow(end), s.cellarea(cell)));
}

// The stage result of cells from..to becomes the base of the next sub-step
// (both arrays hold three variables per cell, cells one after another).
void copybase(Store& s, std::int32_t from, std::int32_t to)
{
    if (from <= to)
        std::copy(s.conserved.raw().begin() + 3 * (from - 1), s.conserved.raw().begin() + 3 * to,
                  s.previousconserved.raw().begin() + 3 * (from - 1));
}

// The end part of the refresh of pipe p: end values and end states.
void refreshends(Store& s, std::int32_t p)
{
    const std::int32_t first = s.firstcell(p);
    const std::int32_t last = s.lastcell(p);
    // End values from the cells where not imposed.
    takeendfromcell(s, 1, first, s.inletpressurefixed(p), s.inlettemperaturefixed(p),
                    s.inletmassflowfixed(p));
    takeendfromcell(s, 2, last, s.outletpressurefixed(p), s.outlettemperaturefixed(p),
                    s.outletmassflowfixed(p));
    // End states.
    evaluateend(s, 1, first);
    evaluateend(s, 2, last);
}

} // namespace

void refreshpipe(Store& s, std::int32_t p)
{
    // The base of the next sub-step.
    copybase(s, s.firstcell(p), s.lastcell(p));
    // End values and end states.
    refreshends(s, p);
}

void endstage(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, bool junctions)
{
    if (junctions)
        exchangejunctions(s);
    for (std::int32_t p = firstpipe; p <= lastpipe; ++p) {
        if (istrue(s.pipepassflag(p)))
            refreshpipe(s, p);
        s.pipepassflag(p) = istrue(s.pipepassflag(p)) ? logicalfalse : logicaltrue;
    }
}

void sequentialsubstep(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, double h,
                       const StageValues& target, bool junctions)
{
    applyfirststage(s, firstpipe, lastpipe, target);
    preparestep(s, h / 2.0, firstpipe, lastpipe);
    endstage(s, firstpipe, lastpipe, junctions);

    applysecondstage(s, firstpipe, lastpipe);
    preparestep(s, h, firstpipe, lastpipe);
    endstage(s, firstpipe, lastpipe, junctions);
}

bool sweepstogether(const Store& s, std::int32_t firstpipe, std::int32_t lastpipe)
{
    // A host gas model is called once per cell, in cell order within each
    // stage; interleaving the stages would mix those calls.
    if (s.fluidmodel == 2)
        return false;
    // A pipe whose flag is set is refreshed after stage A, which then
    // changes the base state that stage B reads. The base is copied along
    // the chain, which must therefore be the pipes' cells one after another.
    for (std::int32_t p = firstpipe; p <= lastpipe; ++p) {
        if (istrue(s.pipepassflag(p)))
            return false;
        if (p < lastpipe && s.firstcell(p + 1) != s.lastcell(p) + 1)
            return false;
    }
    return true;
}

void sweptsubstep(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, double h,
                  const StageValues& target, bool junctions)
{
    const std::int32_t first = s.firstcell(firstpipe);
    const std::int32_t last = s.lastcell(lastpipe);
    // Stage A prepared whole, as in the stage-by-stage order. Its cell
    // update leaves the change measures, Mach number and total energy as
    // they were: stage B's cell update overwrites them, and nothing reads
    // them in between.
    applyfirststage(s, firstpipe, lastpipe, target);
    prepareinlet(s, firstpipe);
    prepareoutlet(s, lastpipe);
    ChainSweep a(s, first, last, h / 2.0, CellArrays::forthestep);
    a.takeinletend(s);
    a.takeoutletend(s);
    // Stage A's first block gives the state of the inlet end cells that
    // stage B's inlet end is formed from.
    a.advance(s);
    // End of stage A. No pipe is refreshed (no flag is set) and the flags
    // turn true. The junction exchange is left out: nothing reads the
    // joints' applied values before the exchange after stage B writes
    // them all again (the two stages read only the network ends' values).
    for (std::int32_t p = firstpipe; p <= lastpipe; ++p)
        s.pipepassflag(p) = logicaltrue;
    applysecondstage(s, firstpipe, lastpipe);
    ChainSweep b(s, first, last, h);
    prepareinlet(s, firstpipe);
    b.takeinletend(s);
    // The rest of stage A, with stage B following as closely as it may:
    // a block of B runs once stage A no longer reads any cell that the
    // block's cell update overwrites. Behind stage B, the cells it no
    // longer reads take its result as the next base (the first step of
    // the refresh after stage B, done while the cells are in the cache).
    std::int32_t based = first - 1; // previousconserved holds B's result up to here
    while (!a.done()) {
        a.advance(s);
        if (a.done())
            break;
        while (!b.done() && b.highestcelltouched() < a.lowestcellread()) {
            b.advance(s);
            copybase(s, based + 1, b.lowestcellread() - 1);
            based = b.lowestcellread() - 1;
        }
    }
    a.finish(s);
    // Stage A's outlet end cells are final: stage B's outlet end, then
    // the rest of stage B.
    prepareoutlet(s, lastpipe);
    b.takeoutletend(s);
    while (!b.done()) {
        b.advance(s);
        copybase(s, based + 1, b.lowestcellread() - 1);
        based = b.lowestcellread() - 1;
    }
    b.finish(s);
    // End of stage B: junction exchange, the rest of the refresh of every
    // pipe, flags back to false.
    if (junctions)
        exchangejunctions(s);
    for (std::int32_t p = firstpipe; p <= lastpipe; ++p) {
        refreshends(s, p);
        s.pipepassflag(p) = logicalfalse;
    }
}

void twostagesubstep(Store& s, std::int32_t firstpipe, std::int32_t lastpipe, double h,
                     const StageValues& target, bool junctions)
{
    if (sweepstogether(s, firstpipe, lastpipe))
        sweptsubstep(s, firstpipe, lastpipe, h, target, junctions);
    else
        sequentialsubstep(s, firstpipe, lastpipe, h, target, junctions);
}

} // namespace pelmora
