// Cost of the drivers, measured in CPU time (the machine may be shared),
// each benchmark repeated and reported as the median:
//
//   transientpipes_per_cell_stage/N   a 100 km natural-gas line of N cells
//       in steady flow, friction, wall heat and inclination active, ideal
//       gas, one thread. Each host step is chosen so that the driver takes
//       its minimum of two sub-steps (four stages); "ns_per_cell_stage"
//       divides the CPU time by cells x stages. "x_scalar_arithmetic" and
//       "x_vector_arithmetic" set it against the unavoidable arithmetic of a
//       cell stage (arithmetic.h) measured the same way.
//   unavoidable_arithmetic/scalar|vector   that arithmetic alone, per cell.
//   friction_power_and_logarithm/V   the friction factor's power and
//       logarithm per cell: the C library (0), vecmath's AVX2 (1) and
//       AVX-512 (2) variants, all with the same bits.
//   memory_runs/R/W   the memory traffic of a sub-step on a 100,000-cell
//       line without its arithmetic: 22 arrays read and 16 updated in place,
//       in runs of R cells (1,024: as the blocks of the chain update;
//       100,000: each array whole), W arrays per loop (1: one array after
//       another; 4: four pairs updated, then six arrays summed, at once).
//       "ns_per_cell" and "GB_per_s" show what the traffic costs when the
//       data comes from memory.
//   memory_beside_arithmetic/M   that traffic in 1,024-cell blocks beside
//       the arithmetic of a sub-step on the block's cells: each alone, one
//       after the other, in alternating 64-cell pieces, and with the next
//       block's lines asked for during the arithmetic (modes 0 to 4, see
//       below). Shows how much of the traffic the processor hides behind
//       the arithmetic.
//   transientpipe_10_cell_pipe/P   one call of transientpipe on a pipe of 10
//       cells in a network of P pipes of 10 cells each: the cost must not
//       grow with the network.
//   steadystate_10000_cells/mode   the network steady state of a 10,000-cell
//       line, one march (mode 1) or a search by bisection (mode 5);
//       "ns_per_cell_iteration" divides the CPU time by the cell-step
//       iterations of the march, counted through host routines.
//
// Run: build/bench/bench_transient (add --benchmark_format=json for
// machines). The CPU model, the variant the engine chose for the power
// and logarithm, and the form of the chain update's loops are printed in
// the context header.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "arithmetic.h"
#include "drivers/drivers.h"
#include "drivers/stepping.h"
#include "fluid/fluid.h"
#include "network/network.h"
#include "solver/fctloops.h"
#include "vecmath/vecmath.h"

namespace {

using namespace pelmora;

constexpr int repetitions = 7;

std::string cpumodel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

// Who computes the friction factor's power and logarithm in this process.
std::string frictionmathvariant()
{
    switch (vecmath::chosen()) {
    case vecmath::Variant::avx512:
        return "vector, AVX-512 (C library's bits)";
    case vecmath::Variant::avx2:
        return "vector, AVX2+FMA (C library's bits)";
    case vecmath::Variant::library:
        break;
    }
    return "C library, one value at a time";
}

// Which form of the chain update's transport and limiter loops runs.
std::string chainloopvariant()
{
    return fctloops::available() ? "AVX-512, lanes shifted in registers"
                                 : "as written, vectorised by the compiler";
}

double cpuseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// ---- The unavoidable arithmetic ----------------------------------------------------

struct CellData {
    std::vector<double> mass, momentum, energy, area, diameter, roughness, out;
    explicit CellData(std::int32_t n)
        : mass(n), momentum(n), energy(n), area(n), diameter(n), roughness(n), out(n)
    {
        for (std::int32_t i = 0; i < n; ++i) {
            const double a = 0.2827 * (1.0 + 1e-4 * i);
            area[i] = a;
            diameter[i] = 0.6;
            roughness[i] = 3e-5;
            mass[i] = a * (45.0 + 0.001 * i);
            momentum[i] = 45.0 * (8.0 + 0.001 * i);
            energy[i] = 45.0 * (4.9e5 + 32.0);
        }
    }
    bench::CellInputs inputs() const
    {
        return {mass.data(), momentum.data(), energy.data(),
                area.data(), diameter.data(), roughness.data()};
    }
};

void runarithmetic(bool vector, const CellData& data, std::vector<double>& out)
{
    const auto n = static_cast<std::int32_t>(out.size());
    if (vector)
        bench::unavoidablevector(data.inputs(), out.data(), n);
    else
        bench::unavoidablescalar(data.inputs(), out.data(), n);
}

// CPU time per cell of the arithmetic, median of several timed passes.
double arithmeticnspercell(bool vector)
{
    constexpr std::int32_t cells = 1000;
    constexpr int passes = 200;
    const CellData data(cells);
    std::vector<double> out(cells);
    std::vector<double> times;
    for (int k = 0; k < 9; ++k) {
        const double start = cpuseconds();
        for (int pass = 0; pass < passes; ++pass) {
            runarithmetic(vector, data, out);
            benchmark::DoNotOptimize(out.data());
        }
        times.push_back((cpuseconds() - start) / (passes * cells) * 1e9);
    }
    std::nth_element(times.begin(), times.begin() + 4, times.end());
    return times[4];
}

void unavoidable_arithmetic(benchmark::State& state)
{
    const bool vector = state.range(0) == 1;
    constexpr std::int32_t cells = 1000;
    const CellData data(cells);
    std::vector<double> out(cells);
    for (auto _ : state) {
        runarithmetic(vector, data, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns_per_cell"] = benchmark::Counter(
        static_cast<double>(cells),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(vector ? "vector" : "scalar");
}
BENCHMARK(unavoidable_arithmetic)->Arg(0)->Arg(1)->Repetitions(repetitions);

// ---- The friction factor's power and logarithm -------------------------------------------

// The power Re^0.9 and the logarithm log10(eps + 21.25 / Re^0.9) of 1,000
// turbulent cells, by the C library one value at a time (0) or by vecmath's
// AVX2 (1) and AVX-512 (2) variants, which give the same bits.
void friction_power_and_logarithm(benchmark::State& state)
{
    const auto variant = static_cast<vecmath::Variant>(state.range(0));
    if (!vecmath::supported(variant)) {
        state.SkipWithError("this processor lacks the variant's instructions");
        return;
    }
    constexpr std::int32_t cells = 1000;
    std::vector<double> reynolds(cells), power(cells), argument(cells), logarithm(cells);
    for (std::int32_t i = 0; i < cells; ++i) {
        reynolds[i] = 1e5 * std::pow(1e3, static_cast<double>(i) / cells);
        argument[i] = 5e-5 + 21.25 / std::pow(reynolds[i], 0.9);
    }
    for (auto _ : state) {
        vecmath::powers(variant, cells, reynolds.data(), 0.9, power.data());
        vecmath::log10s(variant, cells, argument.data(), logarithm.data());
        benchmark::DoNotOptimize(power.data());
        benchmark::DoNotOptimize(logarithm.data());
    }
    state.counters["ns_per_cell"] = benchmark::Counter(
        static_cast<double>(cells),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(variant == vecmath::Variant::library ? "C library"
                   : variant == vecmath::Variant::avx2  ? "AVX2"
                                                        : "AVX-512");
}
BENCHMARK(friction_power_and_logarithm)->Arg(0)->Arg(1)->Arg(2)->Repetitions(repetitions);

// ---- Memory traffic in short and long runs ---------------------------------------------

// b = (b + a) / 2 over n cells, for one pair of arrays or four at once.
void halfwaypairs(std::int32_t n, const double* __restrict a, double* __restrict b)
{
    for (std::int32_t i = 0; i < n; ++i)
        b[i] = 0.5 * (b[i] + a[i]);
}

void halfwaypairs(std::int32_t n, const double* const* a, double* const* b)
{
    const double* __restrict a0 = a[0];
    const double* __restrict a1 = a[1];
    const double* __restrict a2 = a[2];
    const double* __restrict a3 = a[3];
    double* __restrict b0 = b[0];
    double* __restrict b1 = b[1];
    double* __restrict b2 = b[2];
    double* __restrict b3 = b[3];
    for (std::int32_t i = 0; i < n; ++i) {
        b0[i] = 0.5 * (b0[i] + a0[i]);
        b1[i] = 0.5 * (b1[i] + a1[i]);
        b2[i] = 0.5 * (b2[i] + a2[i]);
        b3[i] = 0.5 * (b3[i] + a3[i]);
    }
}

// The sum of n cells of one array, or of six at once.
double sumof(std::int32_t n, const double* a)
{
    double sum = 0.0;
    for (std::int32_t i = 0; i < n; ++i)
        sum += a[i];
    return sum;
}

double sumof(std::int32_t n, const double* const* a)
{
    double sum = 0.0;
    for (std::int32_t i = 0; i < n; ++i)
        sum += ((a[0][i] + a[1][i]) + (a[2][i] + a[3][i])) + (a[4][i] + a[5][i]);
    return sum;
}

// A sub-step on a long line moves about 22 arrays in and 16 out per cell:
// memory_runs' 100,000-cell line of 38 arrays, taken a run of cells at a
// time.
class MemoryLine {
public:
    static constexpr std::int32_t cells = 100000, readonly = 6, updated = 16;

    MemoryLine()
        : in(readonly + updated, std::vector<double>(cells, 1.0)),
          out(updated, std::vector<double>(cells, 2.0))
    {}

    // The traffic of cells lo..lo+n-1: each of 16 arrays updated from
    // another, then six more read; one array per loop, or several at once.
    double traffic(std::int32_t lo, std::int32_t n, bool together)
    {
        for (std::size_t k = 0; k < readonly + updated; ++k)
            a[k] = in[k].data() + lo;
        for (std::size_t k = 0; k < updated; ++k)
            b[k] = out[k].data() + lo;
        if (together) {
            for (std::int32_t k = 0; k < updated; k += 4)
                halfwaypairs(n, a + k, b + k);
            return sumof(n, a + updated);
        }
        double sum = 0.0;
        for (std::int32_t k = 0; k < updated; ++k)
            halfwaypairs(n, a[k], b[k]);
        for (std::int32_t k = updated; k < readonly + updated; ++k)
            sum += sumof(n, a[k]);
        return sum;
    }

    // Asks for the lines of cells lo..lo+n-1 of every array ahead of use.
    void prefetch(std::int32_t lo, std::int32_t n) const
    {
        for (const std::vector<double>& v : in)
            for (std::int32_t i = 0; i < n; i += 8)
                __builtin_prefetch(v.data() + lo + i, 0, 3);
        for (const std::vector<double>& v : out)
            for (std::int32_t i = 0; i < n; i += 8)
                __builtin_prefetch(v.data() + lo + i, 1, 3);
    }

    const double* last() const { return out.back().data(); }

    // Read: every array once; written back: the updated ones.
    static constexpr double bytes = 8.0 * (readonly + 2 * updated + updated) * cells;

private:
    std::vector<std::vector<double>> in, out;
    const double* a[readonly + updated] = {};
    double* b[updated] = {};
};

void perline(benchmark::State& state)
{
    state.counters["ns_per_cell"] = benchmark::Counter(
        static_cast<double>(MemoryLine::cells),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Taken a block at a time, each array is read for a short run only. A loop
// that reads one array of a short run waits for memory at the start of the
// run, before the prefetcher has caught on; loops that read several arrays
// at once overlap those waits (the chain update's loops read and write
// between two and fifteen arrays each).
void memory_runs(benchmark::State& state)
{
    const auto run = static_cast<std::int32_t>(state.range(0));
    const bool together = state.range(1) > 1;
    MemoryLine line;
    for (auto _ : state) {
        double sum = 0.0;
        for (std::int32_t lo = 0; lo < MemoryLine::cells; lo += run)
            sum += line.traffic(lo, std::min(MemoryLine::cells - lo, run), together);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(line.last());
    }
    perline(state);
    state.counters["GB_per_s"] =
        benchmark::Counter(MemoryLine::bytes * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(memory_runs)
    ->Args({1024, 1})
    ->Args({1024, 4})
    ->Args({100000, 1})
    ->Repetitions(repetitions);

// Whether the processor lets a long line's memory traffic overlap the
// arithmetic of cells already in its cache. Per 1,024-cell block: the
// traffic of memory_runs/1024/4, and twice the vector arithmetic of a cell
// stage for each of the block's cells (about what a sub-step computes).
//   0  the traffic alone
//   1  the arithmetic alone
//   2  the traffic, then the arithmetic, block after block
//   3  the same in 64-cell pieces, traffic and arithmetic taking turns
//   4  as 2, the next block's lines asked for ahead, spread over the
//      arithmetic
// If the two overlapped, 2 to 4 would cost less than 0 and 1 together.
void memory_beside_arithmetic(benchmark::State& state)
{
    constexpr std::int32_t run = 1024, piece = 64, pieces = run / piece;
    const auto mode = state.range(0);
    MemoryLine line;
    const CellData data(run);
    std::vector<double> result(run);
    const auto arithmetic = [&](std::int32_t from, std::int32_t n) {
        const bench::CellInputs all = data.inputs();
        const bench::CellInputs part{all.mass + from, all.momentum + from, all.energy + from,
                                     all.area + from, all.diameter + from, all.roughness + from};
        for (int stage = 0; stage < 2; ++stage)
            bench::unavoidablevector(part, result.data() + from, n);
    };
    for (auto _ : state) {
        double sum = 0.0;
        for (std::int32_t lo = 0; lo < MemoryLine::cells; lo += run) {
            const std::int32_t n = std::min(MemoryLine::cells - lo, run);
            if (mode == 3) {
                for (std::int32_t p = 0; p * piece < n; ++p) {
                    const std::int32_t m = std::min(piece, n - p * piece);
                    sum += line.traffic(lo + p * piece, m, true);
                    arithmetic(p * piece, m);
                }
                continue;
            }
            if (mode != 1)
                sum += line.traffic(lo, n, true);
            if (mode == 0)
                continue;
            const std::int32_t next = std::min(MemoryLine::cells - lo - n, run);
            for (std::int32_t p = 0; p < pieces; ++p) {
                if (mode == 4 && p * piece < next)
                    line.prefetch(lo + n + p * piece, std::min(piece, next - p * piece));
                if (p * piece < n)
                    arithmetic(p * piece, std::min(piece, n - p * piece));
            }
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(result.data());
        benchmark::DoNotOptimize(line.last());
    }
    perline(state);
}
BENCHMARK(memory_beside_arithmetic)->DenseRange(0, 4)->Repetitions(repetitions);

// ---- Networks ------------------------------------------------------------------------

// A 0.6 m natural-gas line at 60 bar carrying 200 kg/s, inclined by 0.002
// rad, exchanging heat with the ground at 283 K: npipes pipes of `cells`
// cells of 100 m.
void loadline(Store& s, std::int32_t npipes, std::int32_t cells)
{
    loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.4, 1.3, 1.1e-5, 0.9, 1);
    const std::vector<double> length(npipes, 100.0 * cells), diameter(npipes, 0.6),
        inclination(npipes, 0.002), roughness(npipes, 2e-5), cellsize(npipes, 100.0),
        ambient(npipes, 283.0), htc(npipes, 2.5), p(npipes, 60e5), T(npipes, 288.0),
        m(npipes, 200.0);
    loadpipedata(s, npipes, length.data(), diameter.data(), diameter.data(), inclination.data(),
                 roughness.data(), cellsize.data());
    loadwalldata(s, ambient.data(), htc.data());
    loadinitialconditions(s, p.data(), T.data(), m.data());
    loadbc(s, 1, 60e5, 288.0, 200.0, 1, 1, 0);
    loadbc(s, 2, 55e5, 288.0, 200.0, 0, 0, 1);
}

// ---- transientpipes per cell and stage ------------------------------------------------

// A 100 km line of `cells` cells carrying 60 kg/s from 60 bar, started from
// the network steady state and held there: pressure and temperature imposed
// at the inlet, the same mass flow drawn at the outlet. The flow stays as it
// is however long the benchmark runs (a line that cannot carry its flow
// would drain towards choking, and the cost per stage would depend on how
// far the benchmark happened to run).
void loadsteadyflow(Store& s, std::int32_t cells)
{
    loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.4, 1.3, 1.1e-5, 0.9, 1);
    const double length = 100000.0, diameter = 0.6, inclination = 0.002, roughness = 2e-5,
                 cellsize = length / cells, ambient = 283.0, htc = 2.5;
    loadpipedata(s, 1, &length, &diameter, &diameter, &inclination, &roughness, &cellsize);
    loadwalldata(s, &ambient, &htc);
    steadystate(s, 1, 60e5, 288.0, 60.0);
    loadbc(s, 1, 60e5, 288.0, 60.0, 1, 1, 0);
    loadbc(s, 2, 0.0, 288.0, 60.0, 0, 0, 1);
}

void transientpipes_per_cell_stage(benchmark::State& state)
{
    const auto cells = static_cast<std::int32_t>(state.range(0));
    Store s;
    loadsteadyflow(s, cells);
    // Two sub-steps per host step (four stages): half the host step stays
    // just within the stability limit.
    const double dt = 1.8 * pipelimit(s, 1);
    transientpipes(s, dt);
    const double start = cpuseconds();
    for (auto _ : state) {
        transientpipes(s, dt);
        benchmark::DoNotOptimize(s.conserved.raw().data());
    }
    const double seconds = cpuseconds() - start;
    if (s.pipeerrorcode != 0 || !(pipelimit(s, 1) >= 0.5 * dt)) {
        state.SkipWithError("the flow left its steady state");
        return;
    }
    const double cellstages = 4.0 * cells;
    const double nspercellstage =
        seconds / (static_cast<double>(state.iterations()) * cellstages) * 1e9;
    state.counters["ns_per_cell_stage"] = benchmark::Counter(
        cellstages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    // Against the yardstick, measured the same way right after.
    state.counters["x_scalar_arithmetic"] = nspercellstage / arithmeticnspercell(false);
    state.counters["x_vector_arithmetic"] = nspercellstage / arithmeticnspercell(true);
}
BENCHMARK(transientpipes_per_cell_stage)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(repetitions);

// ---- transientpipe on a 10-cell pipe ---------------------------------------------------

void transientpipe_10_cell_pipe(benchmark::State& state)
{
    const auto npipes = static_cast<std::int32_t>(state.range(0));
    Store s;
    loadline(s, npipes, 10);
    const std::int32_t pipe = (npipes + 1) / 2;
    const double dt = 0.05; // one sub-step: the limit on 100 m cells is about 0.12 s
    transientpipe(s, pipe, dt);
    for (auto _ : state) {
        transientpipe(s, pipe, dt);
        benchmark::DoNotOptimize(s.conserved.raw().data());
    }
    state.counters["ns_per_call"] = benchmark::Counter(
        1.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["network_cells"] = s.totalcells;
}
BENCHMARK(transientpipe_10_cell_pipe)->Arg(3)->Arg(10000)->Repetitions(repetitions);

// ---- steadystate on a 10,000-cell line ---------------------------------------------------

// The ideal gas of the benchmark line through host routines, counting the
// pressure-enthalpy evaluations: a flowing march makes one per cell-step
// iteration.
struct CountingGas {
    double R = 0.9 * 8314.3 / 17.4;
    double cv = 0.9 * 8314.3 / (0.3 * 17.4);
    long ph = 0;
};

void countpt(void* ctx, double pkpa, double tc, double* rho, double* e, double* h, double* mu,
             double* c)
{
    const auto* g = static_cast<CountingGas*>(ctx);
    const double T = tc + 273.15;
    *rho = pkpa * 1000.0 / (g->R * T);
    *e = g->cv * T / 1000.0;
    *h = (g->cv + g->R) * T / 1000.0;
    *mu = 0.011;
    *c = 0.0;
}

void countrhoe(void* ctx, double rho, double e, double* pkpa, double* tc, double* h, double* mu,
               double* c)
{
    const auto* g = static_cast<CountingGas*>(ctx);
    const double T = e * 1000.0 / g->cv;
    *pkpa = rho * g->R * T / 1000.0;
    *tc = T - 273.15;
    *h = (g->cv + g->R) * T / 1000.0;
    *mu = 0.011;
    *c = 0.0;
}

void countph(void* ctx, double pkpa, double hkj, double* rho, double* tc, double* e, double* mu,
             double* c)
{
    auto* g = static_cast<CountingGas*>(ctx);
    ++g->ph;
    const double T = hkj * 1000.0 / (g->cv + g->R);
    *rho = pkpa * 1000.0 / (g->R * T);
    *tc = T - 273.15;
    *e = g->cv * T / 1000.0;
    *mu = 0.011;
    *c = 0.0;
}

// A 100 km line of 10 m cells: 10,000 cells.
void loadsteadyline(Store& s)
{
    const double length = 100000.0, diameter = 0.6, inclination = 0.002, roughness = 2e-5,
                 cellsize = 10.0, ambient = 283.0, htc = 2.5;
    loadpipedata(s, 1, &length, &diameter, &diameter, &inclination, &roughness, &cellsize);
    loadwalldata(s, &ambient, &htc);
}

std::int32_t runsteady(Store& s, std::int32_t mode)
{
    // Mode 1: 60 bar, 288 K and 100 kg/s at the inlet. Mode 5: the mass
    // flow that takes 60 bar at the inlet to 50 bar at the outlet.
    return mode == 1 ? steadystate(s, 1, 60e5, 288.0, 100.0) : steadystate(s, 5, 60e5, 288.0, 50e5);
}

void steadystate_10000_cells(benchmark::State& state)
{
    const auto mode = static_cast<std::int32_t>(state.range(0));
    // Iterations counted once through host routines.
    CountingGas gas;
    Store counted;
    loadfluid(counted, &gas, countpt, countrhoe, countph, 17.4, 1.3, 1.1e-5, 0.9, 2);
    loadsteadyline(counted);
    const std::int32_t status = runsteady(counted, mode);
    const double iterations = static_cast<double>(gas.ph);

    Store s;
    loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.4, 1.3, 1.1e-5, 0.9, 1);
    loadsteadyline(s);
    for (auto _ : state)
        benchmark::DoNotOptimize(runsteady(s, mode));
    state.counters["cell_iterations"] = iterations;
    state.counters["iterations_per_cell"] = iterations / s.totalcells;
    state.counters["ns_per_cell_iteration"] = benchmark::Counter(
        iterations, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["status"] = status;
}
BENCHMARK(steadystate_10000_cells)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->Repetitions(3);

} // namespace

int main(int argc, char** argv)
{
    benchmark::AddCustomContext("cpu_model", cpumodel());
    benchmark::AddCustomContext("friction_power_and_logarithm", frictionmathvariant());
    benchmark::AddCustomContext("chain_update_loops", chainloopvariant());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
