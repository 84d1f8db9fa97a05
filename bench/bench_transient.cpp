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
//       logarithm per cell: the C library (0), libmmath's AVX2 (1) and
//       AVX-512 (2) variants, all with the same bits.
//   memory_runs/R   the memory traffic of a sub-step on a 100,000-cell line
//       without its arithmetic: 22 arrays read and 16 updated in place, one
//       array after another, in runs of R cells (1,024: as the blocks of
//       the chain update; 100,000: each array whole). "ns_per_cell" and
//       "GB_per_s" show what the run length alone costs when the data comes
//       from memory.
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
#include "solver/libmmath.h"

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
    switch (libmmath::chosen()) {
    case libmmath::Variant::avx512:
        return "vector, AVX-512 (C library's bits)";
    case libmmath::Variant::avx2:
        return "vector, AVX2+FMA (C library's bits)";
    case libmmath::Variant::library:
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
        return {mass.data(), momentum.data(), energy.data(), area.data(), diameter.data(),
                roughness.data()};
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
        static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
    state.SetLabel(vector ? "vector" : "scalar");
}
BENCHMARK(unavoidable_arithmetic)->Arg(0)->Arg(1)->Repetitions(repetitions);

// ---- The friction factor's power and logarithm -------------------------------------------

// The power Re^0.9 and the logarithm log10(eps + 21.25 / Re^0.9) of 1,000
// turbulent cells, by the C library one value at a time (0) or by libmmath's
// AVX2 (1) and AVX-512 (2) variants, which give the same bits.
void friction_power_and_logarithm(benchmark::State& state)
{
    const auto variant = static_cast<libmmath::Variant>(state.range(0));
    if (!libmmath::supported(variant)) {
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
        libmmath::powers(variant, cells, reynolds.data(), 0.9, power.data());
        libmmath::log10s(variant, cells, argument.data(), logarithm.data());
        benchmark::DoNotOptimize(power.data());
        benchmark::DoNotOptimize(logarithm.data());
    }
    state.counters["ns_per_cell"] = benchmark::Counter(
        static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
    state.SetLabel(variant == libmmath::Variant::library ? "C library"
                   : variant == libmmath::Variant::avx2  ? "AVX2"
                                                          : "AVX-512");
}
BENCHMARK(friction_power_and_logarithm)->Arg(0)->Arg(1)->Arg(2)->Repetitions(repetitions);

// ---- Memory traffic in short and long runs ---------------------------------------------

// A sub-step on a long line moves about 22 arrays in and 16 out per cell.
// Taken a block at a time, each array is read for a short run only; the
// processor's prefetcher then starts afresh at every run.
void memory_runs(benchmark::State& state)
{
    constexpr std::int32_t cells = 100000, readonly = 6, updated = 16;
    const auto run = static_cast<std::int32_t>(state.range(0));
    std::vector<std::vector<double>> in(readonly + updated, std::vector<double>(cells, 1.0));
    std::vector<std::vector<double>> out(updated, std::vector<double>(cells, 2.0));
    for (auto _ : state) {
        double sum = 0.0;
        for (std::int32_t lo = 0; lo < cells; lo += run) {
            const std::int32_t hi = std::min(cells, lo + run);
            for (std::int32_t k = 0; k < updated; ++k) {
                const double* a = in[static_cast<std::size_t>(k)].data();
                double* b = out[static_cast<std::size_t>(k)].data();
                for (std::int32_t i = lo; i < hi; ++i)
                    b[i] = 0.5 * (b[i] + a[i]);
            }
            for (std::int32_t k = updated; k < readonly + updated; ++k) {
                const double* a = in[static_cast<std::size_t>(k)].data();
                for (std::int32_t i = lo; i < hi; ++i)
                    sum += a[i];
            }
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(out.back().data());
    }
    // Read: every array once; written back: the updated ones.
    constexpr double bytes = 8.0 * (readonly + 2 * updated + updated) * cells;
    state.counters["ns_per_cell"] = benchmark::Counter(
        static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
    state.counters["GB_per_s"] = benchmark::Counter(bytes * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(memory_runs)->Arg(1024)->Arg(100000)->Repetitions(repetitions);

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
BENCHMARK(steadystate_10000_cells)
    ->Arg(1)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3);

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
