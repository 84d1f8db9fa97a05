// Recorded profiles of representative multi-pipe transients and steady
// marches, compared with every array of the state after each phase. They
// catch change, not error: the numbers were recorded from the plain
// (unoptimised) kernel, and any tuning or restructuring must leave them as
// they were, to 1e-12 relative.
//
//   ideal  three pipes (the middle one tapered), inclined up, down and level,
//          wall heat in two, friction everywhere; inlet pressure and
//          temperature imposed against an outlet mass flow, then the
//          reverse, ramped host values, a single-pipe step, and the two
//          steady marches;
//   host   the same network on a non-ideal gas evaluated by host routines,
//          at flows where some cells are laminar and the flow reverses; the
//          routines count their calls and keep the arguments of the latest
//          cell update, which must come once per cell, in cell order.
//
// To record new data (only after a deliberate change of the scheme), run
//   PELMORA_REFERENCE_OUT=tests/solver/data/reference.inc test_solver
//       --gtest_also_run_disabled_tests --gtest_filter='*RecordReference*'
// from the source directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "drivers/drivers.h"
#include "engine/errors.h"
#include "fluid/fluid.h"
#include "network/network.h"
#include "solver/hostgas.h"

namespace pelmora {
namespace {

struct NamedValues {
    const char* name;
    std::vector<double> values;
};

#include "solver/data/reference.inc"

using Arrays = std::map<std::string, std::vector<double>>;

// ---- The network: 12, 12 and 10 cells, the middle pipe tapered ----------------------

void loadthreepipes(Store& s)
{
    const double length[3] = {3000.0, 2000.0, 2500.0}, din[3] = {0.6, 0.6, 0.45},
                 dout[3] = {0.6, 0.45, 0.45}, incl[3] = {0.01, -0.02, 0.0},
                 rough[3] = {3e-5, 2e-5, 1e-5}, cell[3] = {250.0, 170.0, 250.0},
                 ambient[3] = {280.0, 295.0, 275.0}, htc[3] = {3.0, 5.0, 0.0};
    ASSERT_TRUE(loadpipedata(s, 3, length, din, dout, incl, rough, cell));
    loadwalldata(s, ambient, htc);
}

// Checkpoint `at`: every array of the store under "<at>/<item's name>", the
// end states, ghosts and codes gathered as recorded, and the given scalars.
void record(Arrays& out, const std::string& at, const Store& s,
            std::initializer_list<std::pair<const char*, double>> scalars = {})
{
    auto put = [&](std::string_view name, std::vector<double> v) {
        out[at + "/" + std::string(name)] = v;
    };
    for (const auto& [name, value] : scalars)
        put(name, {value});
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        if constexpr (std::is_same_v<Member, Array1<double>> || std::is_same_v<Member, Array2>)
            put(ItemAt<R>::info.name, (s.*item).raw());
    });
    auto pairs = [&](const char* name, std::initializer_list<EndPair<double> Store::*> items) {
        std::vector<double> v;
        for (EndPair<double> Store::*p : items)
            v.insert(v.end(), {(s.*p)(1), (s.*p)(2)});
        put(name, v);
    };
    pairs("endstate", {&Store::endpressure, &Store::endtemperature, &Store::endmassflow,
                       &Store::enddensity, &Store::endvelocity, &Store::endenergy,
                       &Store::endenthalpy, &Store::endsoundspeed, &Store::endmachnumber});
    pairs("networkend", {&Store::bcpressure, &Store::bctemperature, &Store::bcmassflowrate,
                         &Store::bcdensity, &Store::bcvelocity, &Store::bcinternalenergy,
                         &Store::bcenthalpy, &Store::bcsoundspeed, &Store::bcmachnumber});
    pairs("carriedover", {&Store::lastbcpressure, &Store::lastbctemperature, &Store::lastbcmassflow,
                          &Store::midbcpressure, &Store::midbctemperature, &Store::midbcmassflow});
    std::vector<double> ghosts = s.inletghost.raw();
    ghosts.insert(ghosts.end(), s.outletghost.raw().begin(), s.outletghost.raw().end());
    put("ghosts", ghosts);
    put("codes", {static_cast<double>(s.pipeerrorcode), static_cast<double>(s.fluiderrorcode)});
}

// ---- The scenarios --------------------------------------------------------------
// Each records its checkpoints "<scenario><n>" in `out`.

void idealscenario(Arrays& out)
{
    Store s;
    EXPECT_TRUE(loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.4, 1.3, 1.1e-5, 0.9, 1));
    loadthreepipes(s);
    const double p0[3] = {60e5, 59.5e5, 59e5}, T0[3] = {288.0, 287.0, 286.0},
                 m0[3] = {120.0, 120.0, 120.0};
    loadinitialconditions(s, p0, T0, m0);

    // 1. Inlet pressure and temperature against an outlet mass flow; the
    //    host values move every step, so every step ramps.
    loadbc(s, 1, 60e5, 288.0, 120.0, 1, 1, 0);
    loadbc(s, 2, 59e5, 286.0, 120.0, 0, 0, 1);
    for (int step = 1; step <= 40; ++step) {
        const double x = step / 40.0;
        loadbc(s, 1, 60e5 + 3e5 * std::sin(3.0 * x), 288.0 + 10.0 * x, 0.0, 1, 1, 0);
        loadbc(s, 2, 0.0, 0.0, 120.0 + 80.0 * x - 150.0 * x * x, 0, 0, 1);
        transientpipes(s, 1.5);
    }
    record(out, "ideal1", s);

    // 2. Inlet mass flow and temperature against an outlet pressure.
    loadbc(s, 1, 0.0, 300.0, 60.0, 0, 1, 1);
    loadbc(s, 2, 57e5, 290.0, 0.0, 1, 1, 0);
    for (int step = 1; step <= 30; ++step) {
        const double x = step / 30.0;
        loadbc(s, 1, 0.0, 300.0 - 15.0 * x, 60.0 + 140.0 * x, 0, 1, 1);
        loadbc(s, 2, 57e5 - 2e5 * x, 290.0, 0.0, 1, 1, 0);
        transientpipes(s, 2.0);
    }
    record(out, "ideal2", s);

    // 3. The middle pipe on its own between its own end values.
    loadbcpipe(s, 2, 1, s.pressure(s.lastcell(1)), 295.0, 150.0, 1, 1, 0);
    loadbcpipe(s, 2, 2, 0.0, 0.0, 150.0, 0, 0, 1);
    for (int step = 1; step <= 10; ++step) {
        loadbcpipe(s, 2, 1, s.pressure(s.lastcell(1)) + 1e3 * step, 295.0, 0.0, 1, 1, 0);
        loadbcpipe(s, 2, 2, 0.0, 0.0, 150.0 + 5.0 * step, 0, 0, 1);
        transientpipe(s, 2, 0.25);
    }
    record(out, "ideal3", s);

    // 4. The whole network marched towards a steady state.
    double elapsed = 0.0;
    steadypipes(s, 120.0, elapsed);
    record(out, "ideal4", s, {{"elapsed", elapsed}});

    // 5. The last pipe alone until it is steady (or the span runs out).
    steadypipe(s, 3, 400.0, elapsed);
    record(out, "ideal5", s, {{"elapsed", elapsed}});
}

// The density-energy calls of the latest cell update, in call order, must
// be exactly the cells' densities and energies (in kJ/kg), first to last.
void expectlastupdateincellorder(const Store& s, const testing::HostGas& g)
{
    const std::size_t n = g.lastrho.size();
    ASSERT_EQ(n, static_cast<std::size_t>(s.totalcells));
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t slot = (g.next + k) % n;
        const auto c = static_cast<std::int32_t>(k + 1);
        EXPECT_EQ(g.lastrho[slot], s.density(c)) << "call " << k;
        EXPECT_EQ(g.laste[slot], s.internalenergy(c) / 1000.0) << "call " << k;
    }
}

void hostscenario(Arrays& out)
{
    Store s;
    testing::HostGas gas{8314.3 / 18.0, 8314.3 / (0.28 * 18.0), 2.0e-3, 0.5,
                         0.7}; // laminar below 0.1 m/s
    EXPECT_TRUE(loadfluid(s, &gas, testing::hostpt, testing::hostrhoe, testing::hostph, 18.0, 1.28,
                          1.2e-5, 1.0, 2));
    loadthreepipes(s);
    gas.lastrho.assign(static_cast<std::size_t>(s.totalcells), 0.0);
    gas.laste.assign(static_cast<std::size_t>(s.totalcells), 0.0);
    const double p0[3] = {20e5, 20e5, 20e5}, T0[3] = {290.0, 290.0, 290.0},
                 m0[3] = {0.02, 0.02, 0.02};
    loadinitialconditions(s, p0, T0, m0);

    // Laminar and turbulent cells side by side (Re = 2000 at about 0.011
    // kg/s here), and a reversal of the flow at the outlet.
    loadbc(s, 1, 20e5, 290.0, 0.0, 1, 1, 0);
    loadbc(s, 2, 0.0, 285.0, 0.02, 0, 1, 1);
    long expectedcalls = gas.rhoecalls;
    for (int step = 1; step <= 25; ++step) {
        const double x = step / 25.0;
        loadbc(s, 1, 20e5 + 500.0 * x, 290.0, 0.0, 1, 1, 0);
        loadbc(s, 2, 0.0, 285.0, 0.02 - 0.05 * x, 0, 1, 1);
        // Two sub-steps (the half-step cap): four stages of one call per cell.
        transientpipes(s, 0.05);
        expectedcalls += 4L * s.totalcells;
        EXPECT_EQ(gas.rhoecalls, expectedcalls) << "step " << step;
    }
    expectlastupdateincellorder(s, gas);
    record(out, "host1", s,
           {{"rhoecalls", static_cast<double>(gas.rhoecalls)},
            {"othercalls", static_cast<double>(gas.othercalls)}});

    double elapsed = 0.0;
    steadypipes(s, 20.0, elapsed);
    expectlastupdateincellorder(s, gas);
    record(out, "host2", s,
           {{"elapsed", elapsed},
            {"rhoecalls", static_cast<double>(gas.rhoecalls)},
            {"othercalls", static_cast<double>(gas.othercalls)}});
}

// ---- Comparison --------------------------------------------------------------------

// Every recorded array of the scenario must be there and agree: to 1e-12
// absolute for the change measures (ratios of order one), elsewhere
// relative, with a floor at a thousandth of the array's largest magnitude
// for entries that pass through zero.
void expectmatchesreference(void (*scenario)(Arrays&), const std::string& prefix)
{
    Arrays arrays;
    scenario(arrays);
    for (const NamedValues& reference : referencedata) {
        const std::string name = reference.name;
        if (name.rfind(prefix, 0) != 0)
            continue;
        ASSERT_TRUE(arrays.contains(name)) << name;
        const std::vector<double>& actual = arrays[name];
        ASSERT_EQ(actual.size(), reference.values.size()) << name;
        double largest = 0.0;
        for (double r : reference.values)
            largest = std::max(largest, std::abs(r));
        const bool ratio =
            name.find("change") != std::string::npos || name.find("deviation") != std::string::npos;
        for (std::size_t i = 0; i < actual.size(); ++i) {
            const double r = reference.values[i];
            const double scale = ratio ? 1.0 : std::max(std::abs(r), 1e-3 * largest);
            if (!(std::abs(actual[i] - r) <= 1e-12 * scale)) {
                ADD_FAILURE() << name << "[" << i << "] = " << actual[i] << ", recorded " << r;
                break;
            }
        }
    }
}

TEST(ReferenceProfiles, IdealGasNetworkTransientsAndSteadyMarches)
{
    expectmatchesreference(idealscenario, "ideal");
}

TEST(ReferenceProfiles, HostGasOneCallPerCellInCellOrder)
{
    expectmatchesreference(hostscenario, "host");
}

// Writes the recorded arrays anew to $PELMORA_REFERENCE_OUT.
TEST(ReferenceProfiles, DISABLED_RecordReference)
{
    Arrays all;
    idealscenario(all);
    hostscenario(all);
    const char* path = std::getenv("PELMORA_REFERENCE_OUT");
    ASSERT_NE(path, nullptr) << "set PELMORA_REFERENCE_OUT to the file to write";
    std::FILE* f = std::fopen(path, "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "// Generated by test_reference.cpp (RecordReference); do not edit.\n"
                    "const NamedValues referencedata[] = {\n");
    for (const NamedValues& reference : referencedata) {
        std::fprintf(f, "    {\"%s\",\n     {", reference.name);
        const std::vector<double>& values = all.at(reference.name);
        for (std::size_t i = 0; i < values.size(); ++i)
            std::fprintf(f, "%s%.17g", i == 0 ? "" : (i % 4 == 0 ? ",\n      " : ", "), values[i]);
        std::fprintf(f, "}},\n");
    }
    std::fprintf(f, "};\n");
    std::fclose(f);
}

} // namespace
} // namespace pelmora
