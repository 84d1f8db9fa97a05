// Host property routines that fail: they return NaN, negative values or an
// absurd sound speed, or leave their outputs unwritten. Whatever they do, the
// engine raises the state to its floors (100 Pa, 1 K, 0.01 kg/m3), reports
// code 1, computes the sound speed itself and carries on; nothing crashes and
// no NaN reaches the profiles or the conserved variables (an output left
// unwritten keeps the spoilt value of the evaluation before).
// Everything goes through the C interface, as a host calls it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "pelmora.h"

namespace {

enum class Fault { none, nan, negative, unwritten, wildsoundspeed };

// Ideal air in the host's units (kPa, degC, kJ/kg, cP), spoilt as the fault
// says; R = 0.287 and cv = 0.7175 kJ/(kg K). Routine 0 is given (p, t),
// routine 1 (rho, e), routine 2 (p, h); each fills its five outputs.
template <int routine>
void air(void* context, double a, double b, double* r1, double* r2, double* r3, double* r4,
         double* r5)
{
    const Fault fault = *static_cast<const Fault*>(context);
    const double T = routine == 0 ? b + 273.15 : routine == 1 ? b / 0.7175 : b / 1.0045;
    const double p = routine == 1 ? a * 0.287 * T : a, rho = p / (0.287 * T), e = 0.7175 * T;
    const double given[3][5] = {{rho, e, e + p / rho, 0.018, 340.0},
                                {p, T - 273.15, e + p / rho, 0.018, 340.0},
                                {rho, T - 273.15, e, 0.018, 340.0}};
    double* out[5] = {r1, r2, r3, r4, r5};
    for (int i = 0; i < 5 && fault != Fault::unwritten; ++i)
        *out[i] = fault == Fault::nan                        ? std::nan("")
                  : fault == Fault::negative                 ? -std::fabs(given[routine][i]) - 1
                  : fault == Fault::wildsoundspeed && i == 4 ? 1e300
                                                             : given[routine][i];
}

std::int32_t errorcode()
{
    std::int32_t code = -99;
    geterrorcode(&code);
    return code;
}

std::vector<double> profile(void (*query)(int32_t, double*), int32_t pipe)
{
    std::vector<double> values(10, std::nan(""));
    query(pipe, values.data());
    return values;
}

// Every profile finite and at or above its floor; after a transient step
// also the sound speed the engine's own and both conserved levels finite.
void expectsane(bool stepped)
{
    for (int32_t pipe = 1; pipe <= 2; ++pipe) {
        const auto p = profile(getpressure, pipe), T = profile(gettemperature, pipe),
                   rho = profile(getdensity, pipe), c = profile(getsoundspeed, pipe);
        for (std::size_t i = 0; i < c.size(); ++i) {
            EXPECT_TRUE(p[i] >= 100.0 && T[i] >= 1.0 && rho[i] >= 0.01) << p[i] << T[i] << rho[i];
            EXPECT_TRUE(std::isfinite(p[i] + T[i] + rho[i] + c[i]));
            EXPECT_TRUE(!stepped || std::fabs(c[i] - std::sqrt(1.4 * p[i] / rho[i])) < 1e-9 * c[i]);
        }
    }
    std::vector<double> levels(2 * 3 * 20);
    getuhistory(levels.data(), levels.data() + 3 * 20);
    EXPECT_TRUE(!stepped || std::ranges::all_of(levels, [](double v) { return std::isfinite(v); }));
}

} // namespace

// Two pipes of 10 cells of air through the host's routines, at 20 bar.
TEST(HostFaults, EveryEvaluationThroughFailingRoutinesIsFlooredAndReported)
{
    Fault fault = Fault::none;
    const double molweight = 28.97, gamma = 1.4, viscosity = 1.8e-5, z = 1.0, dt = 0.05;
    const double length[2] = {200.0, 200.0}, diameter[2] = {0.3, 0.3}, slope[2] = {0.0, 0.01},
                 roughness[2] = {4.5e-5, 4.5e-5}, cell[2] = {20.0, 20.0}, wall[2] = {2.0, 2.0},
                 p[2] = {2.0e6, 2.0e6}, T[2] = {288.15, 288.15}, m[2] = {5.0, 5.0};
    const int32_t model = 2, npipes = 2;
    loadfluid(&fault, air<0>, air<1>, air<2>, &molweight, &gamma, &viscosity, &z, &model);
    loadpipedata(&npipes, length, diameter, diameter, slope, roughness, cell);
    loadwalldata(T, wall);
    for (Fault each : {Fault::nan, Fault::negative, Fault::unwritten, Fault::wildsoundspeed}) {
        SCOPED_TRACE(static_cast<int>(each));
        const bool floored = each != Fault::wildsoundspeed;
        // A starting state: the density raised to its floor, the given
        // pressure and temperature kept, code 1 once.
        fault = each;
        loadinitialconditions(p, T, m);
        EXPECT_EQ(errorcode(), floored ? 1 : 0);
        EXPECT_TRUE(!floored || (profile(getdensity, 2) == std::vector<double>(10, 0.01) &&
                                 profile(getpressure, 1) == std::vector<double>(10, 2.0e6)));
        expectsane(false);

        // A transient step from a sound state: the floored pressure next to
        // 20 bar may also cut the step short (code 3).
        fault = Fault::none;
        loadinitialconditions(p, T, m);
        fault = each;
        transientpipes(&dt);
        const int32_t code = errorcode();
        EXPECT_TRUE(floored ? code == 1 || code == 3 : code == 0) << code;
        expectsane(true);

        // The steady march and the choke pressure estimate.
        int32_t status = -1;
        double choke = -1.0;
        fault = each;
        steadystate(1, 2.0e6, 288.15, 5.0, &status);
        EXPECT_TRUE(status >= 0 && status <= 5 && errorcode() >= (floored ? 1 : 0)) << status;
        expectsane(false);
        fault = each;
        approxchokepressure(288.15, 0.3, 5.0, &choke);
        EXPECT_TRUE(errorcode() % 2 == floored && (choke == -1.0 || std::isfinite(choke)));
    }
}
