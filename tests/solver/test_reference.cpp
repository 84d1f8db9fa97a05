// Regression against stored profiles: representative multi-pipe transients
// and steady marches, compared cell by cell with results recorded from the
// plain (unoptimised) kernel.
//
// The kernel is tuned for speed; these cases guard that the tuning never
// changes what the scheme computes. Every per-cell array, the conserved
// variables, the end and network-end states, the sub-step clock of the steady
// marches and the error codes must agree to 1e-12 relative, so drift from a
// reordered operation is caught long before it would matter to a user.
//
// Two scenarios:
//   ideal  three pipes (the middle one tapered), inclined up, down and level,
//          wall heat in two of them, friction everywhere; inlet pressure and
//          temperature imposed against an outlet mass flow, then the reverse
//          (inlet mass flow against an outlet pressure), ramped host values,
//          a single-pipe step, and the two steady marches;
//   host   the same network on a non-ideal gas evaluated by host routines,
//          at flows small enough that some cells are laminar and the flow
//          reverses; the routines count their calls and keep the arguments
//          of the last cell updates, which must come once per cell, in cell
//          order.
//
// To record new reference data (only after a deliberate change of the
// scheme), run
//   PELMORA_REFERENCE_OUT=tests/solver/data/reference.inc test_solver
//       --gtest_also_run_disabled_tests --gtest_filter='*RecordReference*'
// from the source directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "drivers/drivers.h"
#include "engine/errors.h"
#include "fluid/fluid.h"
#include "network/network.h"

namespace pelmora {
namespace {

struct NamedValues {
    const char* name;
    std::vector<double> values;
};

#include "solver/data/reference.inc"

using Snapshot = std::vector<std::pair<std::string, std::vector<double>>>;

// ---- A non-ideal gas through host routines ------------------------------------
// p = rho R T (1 + b rho), e = cv T, viscosity rising with temperature. The
// routines work in kPa, degrees Celsius, kJ/kg and centipoise.
struct HostGas {
    double R = 8314.3 / 18.0;
    double cv = 8314.3 / (0.28 * 18.0);
    double b = 2.0e-3; // m3/kg
    double mu0 = 0.5;  // cP at 288.15 K: laminar below about 0.1 m/s here
    long rhoecalls = 0;
    long othercalls = 0;
    std::vector<double> lastrho, laste; // ring of the latest density-energy calls
    std::size_t next = 0;

    double viscosity(double T) const { return mu0 * std::pow(T / 288.15, 0.7); }
    // Density from pressure (Pa) and temperature (K): root of b rho^2 + rho - p/(R T).
    double densityof(double p, double T) const
    {
        const double q = p / (R * T);
        return 2.0 * q / (1.0 + std::sqrt(1.0 + 4.0 * b * q));
    }
};

void hostpt(void* ctx, double pkpa, double tc, double* rho, double* e, double* h, double* mu,
            double* c)
{
    auto* g = static_cast<HostGas*>(ctx);
    ++g->othercalls;
    const double T = tc + 273.15, p = pkpa * 1000.0;
    *rho = g->densityof(p, T);
    *e = g->cv * T / 1000.0;
    *h = (g->cv * T + p / *rho) / 1000.0;
    *mu = g->viscosity(T);
    *c = -1.0; // always replaced by the engine
}

void hostrhoe(void* ctx, double rho, double ekj, double* pkpa, double* tc, double* h, double* mu,
              double* c)
{
    auto* g = static_cast<HostGas*>(ctx);
    ++g->rhoecalls;
    if (!g->lastrho.empty()) {
        g->lastrho[g->next] = rho;
        g->laste[g->next] = ekj;
        g->next = (g->next + 1) % g->lastrho.size();
    }
    const double T = ekj * 1000.0 / g->cv;
    const double p = rho * g->R * T * (1.0 + g->b * rho);
    *pkpa = p / 1000.0;
    *tc = T - 273.15;
    *h = (g->cv * T + p / rho) / 1000.0;
    *mu = g->viscosity(T);
    *c = -1.0;
}

void hostph(void* ctx, double pkpa, double hkj, double* rho, double* tc, double* e, double* mu,
            double* c)
{
    // h = cv T + R T (1 + b rho(p, T)): a few fixed-point passes on T.
    auto* g = static_cast<HostGas*>(ctx);
    ++g->othercalls;
    const double p = pkpa * 1000.0, h = hkj * 1000.0;
    double T = h / (g->cv + g->R);
    for (int pass = 0; pass < 30; ++pass)
        T = h / (g->cv + g->R * (1.0 + g->b * g->densityof(p, T)));
    *rho = g->densityof(p, T);
    *tc = T - 273.15;
    *e = g->cv * T / 1000.0;
    *mu = g->viscosity(T);
    *c = -1.0;
}

// ---- The network ------------------------------------------------------------------

void loadthreepipes(Store& s)
{
    // Level of detail: 12, 12 and 10 cells.
    const double length[3] = {3000.0, 2000.0, 2500.0};
    const double din[3] = {0.6, 0.6, 0.45};
    const double dout[3] = {0.6, 0.45, 0.45};
    const double incl[3] = {0.01, -0.02, 0.0};
    const double rough[3] = {3e-5, 2e-5, 1e-5};
    const double cell[3] = {250.0, 170.0, 250.0};
    const double ambient[3] = {280.0, 295.0, 275.0};
    const double htc[3] = {3.0, 5.0, 0.0};
    ASSERT_TRUE(loadpipedata(s, 3, length, din, dout, incl, rough, cell));
    loadwalldata(s, ambient, htc);
}

// Everything a host or a later step can see of the state.
Snapshot snapshot(const Store& s)
{
    Snapshot out;
    auto cells = [&](const char* name, const Array1<double>& a) {
        out.emplace_back(name, std::vector<double>(a.raw().begin(), a.raw().end()));
    };
    out.emplace_back("conserved", s.conserved.raw());
    out.emplace_back("previousconserved", s.previousconserved.raw());
    cells("density", s.density);
    cells("velocity", s.velocity);
    cells("massflowrate", s.massflowrate);
    cells("pressure", s.pressure);
    cells("temperature", s.temperature);
    cells("internalenergy", s.internalenergy);
    cells("enthalpy", s.enthalpy);
    cells("viscosity", s.viscosity);
    cells("soundspeed", s.soundspeed);
    cells("machnumber", s.machnumber);
    cells("totalenergy", s.totalenergy);
    cells("totalenthalpy", s.totalenthalpy);
    cells("densitychange", s.densitychange);
    cells("temperaturechange", s.temperaturechange);
    cells("massflowdeviation", s.massflowdeviation);
    cells("facediameter", s.facediameter);
    cells("facearea", s.facearea);
    cells("facelength", s.facelength);
    cells("midinletpressure", s.midinletpressure);
    cells("midoutletpressure", s.midoutletpressure);
    cells("midinletmassflow", s.midinletmassflow);
    cells("midoutletmassflow", s.midoutletmassflow);
    auto pairs = [&](const char* name, std::initializer_list<const EndPair<double>*> items) {
        std::vector<double> v;
        for (const EndPair<double>* p : items) {
            v.push_back((*p)(1));
            v.push_back((*p)(2));
        }
        out.emplace_back(name, v);
    };
    pairs("endstate",
          {&s.endpressure, &s.endtemperature, &s.endmassflow, &s.enddensity, &s.endvelocity,
           &s.endenergy, &s.endenthalpy, &s.endsoundspeed, &s.endmachnumber});
    pairs("networkend",
          {&s.bcpressure, &s.bctemperature, &s.bcmassflowrate, &s.bcdensity, &s.bcvelocity,
           &s.bcinternalenergy, &s.bcenthalpy, &s.bcsoundspeed, &s.bcmachnumber});
    pairs("carriedover", {&s.lastbcpressure, &s.lastbctemperature, &s.lastbcmassflow,
                          &s.midbcpressure, &s.midbctemperature, &s.midbcmassflow});
    cells("ghosts", s.inletghost);
    out.back().second.insert(out.back().second.end(), s.outletghost.raw().begin(),
                             s.outletghost.raw().end());
    out.emplace_back("codes", std::vector<double>{static_cast<double>(s.pipeerrorcode),
                                                  static_cast<double>(s.fluiderrorcode)});
    return out;
}

void addscalar(Snapshot& snap, const char* name, double value)
{
    snap.emplace_back(name, std::vector<double>{value});
}

// ---- The scenarios --------------------------------------------------------------
// Each returns its checkpoints in order; a checkpoint's arrays are named
// "<scenario><n>/<array>".

using Checkpoints = std::vector<std::pair<std::string, Snapshot>>;

Checkpoints idealscenario()
{
    Store s;
    Checkpoints out;
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
    out.emplace_back("ideal1", snapshot(s));

    // 2. Inlet mass flow and temperature against an outlet pressure.
    loadbc(s, 1, 0.0, 300.0, 60.0, 0, 1, 1);
    loadbc(s, 2, 57e5, 290.0, 0.0, 1, 1, 0);
    for (int step = 1; step <= 30; ++step) {
        const double x = step / 30.0;
        loadbc(s, 1, 0.0, 300.0 - 15.0 * x, 60.0 + 140.0 * x, 0, 1, 1);
        loadbc(s, 2, 57e5 - 2e5 * x, 290.0, 0.0, 1, 1, 0);
        transientpipes(s, 2.0);
    }
    out.emplace_back("ideal2", snapshot(s));

    // 3. The middle pipe on its own between its own end values.
    loadbcpipe(s, 2, 1, s.pressure(s.lastcell(1)), 295.0, 150.0, 1, 1, 0);
    loadbcpipe(s, 2, 2, 0.0, 0.0, 150.0, 0, 0, 1);
    for (int step = 1; step <= 10; ++step) {
        loadbcpipe(s, 2, 1, s.pressure(s.lastcell(1)) + 1e3 * step, 295.0, 0.0, 1, 1, 0);
        loadbcpipe(s, 2, 2, 0.0, 0.0, 150.0 + 5.0 * step, 0, 0, 1);
        transientpipe(s, 2, 0.25);
    }
    out.emplace_back("ideal3", snapshot(s));

    // 4. The whole network marched towards a steady state.
    double elapsed = 0.0;
    steadypipes(s, 120.0, elapsed);
    Snapshot four = snapshot(s);
    addscalar(four, "elapsed", elapsed);
    out.emplace_back("ideal4", four);

    // 5. The last pipe alone until it is steady (or the span runs out).
    steadypipe(s, 3, 400.0, elapsed);
    Snapshot five = snapshot(s);
    addscalar(five, "elapsed", elapsed);
    out.emplace_back("ideal5", five);
    return out;
}

// The density-energy calls of the latest cell update, in call order, must
// be exactly the cells' densities and energies (in kJ/kg), first to last.
void expectlastupdateincellorder(const Store& s, const HostGas& g)
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

Checkpoints hostscenario()
{
    Store s;
    HostGas gas;
    Checkpoints out;
    EXPECT_TRUE(loadfluid(s, &gas, hostpt, hostrhoe, hostph, 18.0, 1.28, 1.2e-5, 1.0, 2));
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
    Snapshot one = snapshot(s);
    addscalar(one, "rhoecalls", static_cast<double>(gas.rhoecalls));
    addscalar(one, "othercalls", static_cast<double>(gas.othercalls));
    out.emplace_back("host1", one);

    double elapsed = 0.0;
    steadypipes(s, 20.0, elapsed);
    expectlastupdateincellorder(s, gas);
    Snapshot two = snapshot(s);
    addscalar(two, "elapsed", elapsed);
    addscalar(two, "rhoecalls", static_cast<double>(gas.rhoecalls));
    addscalar(two, "othercalls", static_cast<double>(gas.othercalls));
    out.emplace_back("host2", two);
    return out;
}

// ---- Comparison --------------------------------------------------------------------

// The three change measures are ratios of order-one quantities: an absolute
// tolerance fits them. Elsewhere the tolerance is relative, with a floor at
// a thousandth of the array's largest magnitude for entries that pass
// through zero (velocities, mass flows, momenta).
bool ischangemeasure(const std::string& name)
{
    return name.find("change") != std::string::npos || name.find("deviation") != std::string::npos;
}

void expectagrees(const std::string& name, const std::vector<double>& actual,
                  const std::vector<double>& reference)
{
    ASSERT_EQ(actual.size(), reference.size()) << name;
    double largest = 0.0;
    for (double r : reference)
        largest = std::max(largest, std::abs(r));
    int reported = 0;
    double worst = 0.0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const double r = reference[i];
        const double scale = ischangemeasure(name) ? 1.0 : std::max(std::abs(r), 1e-3 * largest);
        const double deviation = std::abs(actual[i] - r);
        worst = std::max(worst, scale > 0.0 ? deviation / scale : deviation);
        if (!(deviation <= 1e-12 * scale) && reported++ < 3)
            ADD_FAILURE() << name << "[" << i << "] = " << actual[i] << ", reference " << r;
    }
    if (reported > 3)
        ADD_FAILURE() << name << ": " << reported << " entries differ, worst by " << worst;
}

void expectmatchesreference(const Checkpoints& checkpoints)
{
    for (const auto& [label, snap] : checkpoints)
        for (const auto& [array, values] : snap) {
            const std::string name = label + "/" + array;
            const auto found = std::find_if(std::begin(referencedata), std::end(referencedata),
                                            [&](const NamedValues& r) { return name == r.name; });
            if (found == std::end(referencedata)) {
                ADD_FAILURE() << name << " has no reference data";
                continue;
            }
            expectagrees(name, values, found->values);
        }
}

TEST(ReferenceProfiles, IdealGasNetworkTransientsAndSteadyMarches)
{
    expectmatchesreference(idealscenario());
}

TEST(ReferenceProfiles, HostGasOneCallPerCellInCellOrder)
{
    expectmatchesreference(hostscenario());
}

// Writes the reference data of both scenarios to $PELMORA_REFERENCE_OUT.
TEST(ReferenceProfiles, DISABLED_RecordReference)
{
    const char* path = std::getenv("PELMORA_REFERENCE_OUT");
    ASSERT_NE(path, nullptr) << "set PELMORA_REFERENCE_OUT to the file to write";
    std::FILE* f = std::fopen(path, "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "// Generated by test_reference.cpp (RecordReference); do not edit.\n");
    std::fprintf(f, "const NamedValues referencedata[] = {\n");
    for (const Checkpoints& checkpoints : {idealscenario(), hostscenario()})
        for (const auto& [label, snap] : checkpoints)
            for (const auto& [array, values] : snap) {
                std::fprintf(f, "    {\"%s/%s\",\n     {", label.c_str(), array.c_str());
                for (std::size_t i = 0; i < values.size(); ++i)
                    std::fprintf(f, "%s%.17g", i == 0 ? "" : (i % 4 == 0 ? ",\n      " : ", "),
                                 values[i]);
                std::fprintf(f, "}},\n");
            }
    std::fprintf(f, "};\n");
    std::fclose(f);
}

} // namespace
} // namespace pelmora
