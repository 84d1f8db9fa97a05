// Cost of the transient driver per cell and per stage.
//
// A natural-gas line with friction, wall heat and inclination active, ideal
// gas, one thread. Each host step is chosen so that the driver takes its
// minimum of two sub-steps (four stages); the counter "ns_per_cell_stage"
// divides the wall time by cells x stages actually taken.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "drivers/drivers.h"
#include "fluid/fluid.h"
#include "network/network.h"

namespace {

using namespace pelmora;

// A 0.6 m line of `cells` cells of 100 m at 60 bar carrying 200 kg/s,
// inclined by 0.002 rad, with wall heat exchange towards 283 K.
void loadline(Store& s, std::int32_t cells)
{
    loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.4, 1.3, 1.1e-5, 0.9, 1);
    const std::int32_t npipes = 1;
    const double length = 100.0 * cells, diameter = 0.6, inclination = 0.002;
    const double roughness = 2e-5, cellsize = 100.0, ambient = 283.0, htc = 2.5;
    loadpipedata(s, npipes, &length, &diameter, &diameter, &inclination, &roughness, &cellsize);
    loadwalldata(s, &ambient, &htc);
    const double p = 60e5, T = 288.0, m = 200.0;
    loadinitialconditions(s, &p, &T, &m);
    loadbc(s, 1, 60e5, 288.0, 200.0, 1, 1, 0);
    loadbc(s, 2, 55e5, 288.0, 200.0, 0, 0, 1);
}

void transientpipes_per_cell_stage(benchmark::State& state)
{
    const auto cells = static_cast<std::int32_t>(state.range(0));
    Store s;
    loadline(s, cells);
    // Two sub-steps per host step: half a host step stays within the limit.
    const double dt = 0.2; // s; the stability limit on 100 m cells is ~0.12 s
    std::int64_t stages = 0;
    for (auto _ : state) {
        const std::int64_t before = stages;
        transientpipes(s, dt);
        (void)before;
        stages += 4;
        benchmark::DoNotOptimize(s.conserved.raw().data());
    }
    state.counters["ns_per_cell_stage"] = benchmark::Counter(
        static_cast<double>(stages) * cells, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["cells"] = cells;
}
BENCHMARK(transientpipes_per_cell_stage)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
