// Host property routines that fail: they return NaN, a negative density, an
// absurd sound speed, or leave their outputs unwritten. Whatever they do, the
// engine raises the state to its floors (100 Pa, 1 K, 0.01 kg/m3), reports
// code 1 and carries on; nothing crashes and no NaN reaches the profiles.
//
// Everything goes through the C interface, as a host would call it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pelmora.h"

namespace {

// How the test host's routines behave.
enum class Fault { none, nan, negative, unwritten, wildsoundspeed };

// The host's gas: ideal air, in the host's units (kPa, degC, kJ/kg, cP).
struct TestHost {
    Fault fault = Fault::none;
    int calls = 0;
};

constexpr double R = 0.287;   // kJ/(kg K)
constexpr double cv = 0.7175; // kJ/(kg K)
constexpr double cp = cv + R;

// Writes good values, then spoils them as the fault says.
void answer(void* context, const double good[5], double* out[5])
{
    auto& host = *static_cast<TestHost*>(context);
    ++host.calls;
    switch (host.fault) {
    case Fault::unwritten:
        return;
    case Fault::nan:
        for (int i = 0; i < 5; ++i)
            *out[i] = std::nan("");
        return;
    case Fault::negative:
        for (int i = 0; i < 5; ++i)
            *out[i] = -std::fabs(good[i]) - 1.0;
        return;
    case Fault::wildsoundspeed:
        for (int i = 0; i < 4; ++i)
            *out[i] = good[i];
        *out[4] = 1e300;
        return;
    case Fault::none:
        for (int i = 0; i < 5; ++i)
            *out[i] = good[i];
        return;
    }
}

void pt(void* context, double p, double t, double* rho, double* e, double* h, double* mu, double* c)
{
    const double T = t + 273.15;
    const double good[5] = {p / (R * T), cv * T, cp * T, 0.018, 340.0};
    double* out[5] = {rho, e, h, mu, c};
    answer(context, good, out);
}

void rhoe(void* context, double rho, double e, double* p, double* t, double* h, double* mu,
          double* c)
{
    const double T = e / cv;
    const double good[5] = {rho * R * T, T - 273.15, cp * T, 0.018, 340.0};
    double* out[5] = {p, t, h, mu, c};
    answer(context, good, out);
}

void ph(void* context, double p, double h, double* rho, double* t, double* e, double* mu, double* c)
{
    const double T = h / cp;
    const double good[5] = {p / (R * T), T - 273.15, cv * T, 0.018, 340.0};
    double* out[5] = {rho, t, e, mu, c};
    answer(context, good, out);
}

std::int32_t errorcode()
{
    std::int32_t code = -99;
    geterrorcode(&code);
    return code;
}

std::vector<double> profile(void (*query)(int32_t, double*), int32_t pipe)
{
    int32_t n = 0;
    getnumberofcells(pipe, &n);
    std::vector<double> values(static_cast<std::size_t>(n), std::nan(""));
    query(pipe, values.data());
    return values;
}

// Every value of a profile finite and not below the floor.
void expectfloored(const std::vector<double>& values, double floor, const char* what)
{
    ASSERT_FALSE(values.empty()) << what;
    for (double v : values) {
        EXPECT_TRUE(std::isfinite(v)) << what;
        EXPECT_GE(v, floor) << what;
    }
}

// Two pipes of air through the host's routines, a uniform start at 20 bar
// and boundary values at both network ends.
class HostFaults : public ::testing::Test {
protected:
    TestHost host;
    const int32_t npipes = 2;

    void SetUp() override
    {
        const double molweight = 28.97, gamma = 1.4, viscosity = 1.8e-5, z = 1.0;
        const int32_t model = 2;
        loadfluid(&host, pt, rhoe, ph, &molweight, &gamma, &viscosity, &z, &model);
        const double length[2] = {200.0, 200.0}, diameter[2] = {0.3, 0.3}, slope[2] = {0.0, 0.01},
                     roughness[2] = {4.5e-5, 4.5e-5}, cell[2] = {20.0, 20.0};
        loadpipedata(&npipes, length, diameter, diameter, slope, roughness, cell);
        const double ambient[2] = {288.15, 288.15}, coefficient[2] = {2.0, 2.0};
        loadwalldata(ambient, coefficient);
        start(Fault::none);
        loadbc(1, 2.0e6, 288.15, 5.0, -1, -1, 0);
        loadbc(2, 1.99e6, 288.15, 5.0, 0, 0, -1);
        errorcode(); // start each case from clear codes
    }

    void TearDown() override { freepipememory(); }

    void start(Fault fault)
    {
        host.fault = fault;
        const double p[2] = {2.0e6, 2.0e6}, T[2] = {288.15, 288.15}, m[2] = {5.0, 5.0};
        loadinitialconditions(p, T, m);
    }

    // The current fluid state zeroed through the parameter exchange, so a
    // routine that writes nothing leaves zeros behind.
    void zerocurrentstate()
    {
        double f[13];
        int32_t model = 0;
        getfluidparams(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10],
                       &model, &f[11], &f[12]);
        for (int i = 5; i <= 10; ++i)
            f[i] = 0.0;
        setfluidparams(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10],
                       &model, &f[11], &f[12]);
    }

    void expectstatefloored()
    {
        for (int32_t pipe = 1; pipe <= npipes; ++pipe) {
            expectfloored(profile(getpressure, pipe), 100.0, "pressure");
            expectfloored(profile(gettemperature, pipe), 1.0, "temperature");
            expectfloored(profile(getdensity, pipe), 0.001, "density");
            expectfloored(profile(getsoundspeed, pipe), 0.0, "sound speed");
        }
    }
};

// A starting state from routines that fail: the density they return (NaN,
// negative, or nothing over a zeroed state) is raised to its floor of
// 0.01 kg/m3 in every cell, the given pressure and temperature stay, and the
// call reports code 1 once.
TEST_F(HostFaults, StartingStateFromFailedRoutineIsFlooredWithCode1)
{
    for (Fault fault : {Fault::nan, Fault::negative, Fault::unwritten}) {
        SCOPED_TRACE(static_cast<int>(fault));
        zerocurrentstate();
        start(fault);
        EXPECT_EQ(errorcode(), 1);
        EXPECT_EQ(errorcode(), 0) << "geterrorcode clears the code";
        for (int32_t pipe = 1; pipe <= npipes; ++pipe) {
            for (double rho : profile(getdensity, pipe))
                EXPECT_DOUBLE_EQ(rho, 0.01);
            for (double p : profile(getpressure, pipe))
                EXPECT_DOUBLE_EQ(p, 2.0e6);
            for (double T : profile(gettemperature, pipe))
                EXPECT_DOUBLE_EQ(T, 288.15);
        }
    }
}

// Routines that start failing in the middle of a transient. The floored
// pressure (100 Pa) next to cells at 20 bar makes the flow violent, so the
// driver may also cut the step short (code 3); either way every step
// returns, the profiles stay finite and at or above their floors, and the
// routines are called again on the next step.
TEST_F(HostFaults, TransientThroughFailingRoutinesKeepsFlooredState)
{
    const double dt = 0.05;
    transientpipes(&dt);
    ASSERT_EQ(errorcode(), 0);
    for (Fault fault : {Fault::nan, Fault::negative, Fault::unwritten}) {
        SCOPED_TRACE(static_cast<int>(fault));
        start(Fault::none);
        zerocurrentstate();
        host.fault = fault;
        const int callsbefore = host.calls;
        transientpipes(&dt);
        EXPECT_GT(host.calls, callsbefore) << "the host routines are called every step";
        const int32_t code = errorcode();
        EXPECT_TRUE(code == 1 || code == 3) << code;
        expectstatefloored();
        host.fault = Fault::none;
        transientpipes(&dt);
        expectstatefloored();
        errorcode();
    }
}

// A routine that returns NaN for energy, enthalpy and viscosity as well as
// for the floored quantities: those are replaced too, so no NaN reaches the
// conserved variables or the profiles and the state stays one the drivers
// can step from (the step itself may still be cut short, see above).
TEST_F(HostFaults, NaNFromRoutineNeverReachesConservedVariables)
{
    host.fault = Fault::nan;
    const double dt = 0.05;
    transientpipes(&dt);
    const int32_t code = errorcode();
    EXPECT_TRUE(code == 1 || code == 3) << code;
    for (int32_t pipe = 1; pipe <= npipes; ++pipe) {
        for (double e : profile(getinternalenergy, pipe))
            EXPECT_TRUE(std::isfinite(e));
        for (double h : profile(getenthalpy, pipe))
            EXPECT_TRUE(std::isfinite(h));
    }
    int32_t nvars = 0, ncells = 0, nfaces = 0, np = 0;
    getshape(&nvars, &ncells, &nfaces, &np);
    std::vector<double> previous(static_cast<std::size_t>(nvars * ncells)),
        current(previous.size());
    getuhistory(previous.data(), current.data());
    for (std::size_t i = 0; i < current.size(); ++i) {
        EXPECT_TRUE(std::isfinite(previous[i])) << i;
        EXPECT_TRUE(std::isfinite(current[i])) << i;
    }
}

// The sound speed a routine returns never reaches the state: the engine
// computes sqrt(gamma p / rho) itself.
TEST_F(HostFaults, SoundSpeedFromRoutineIsReplaced)
{
    start(Fault::wildsoundspeed);
    const double dt = 0.05;
    transientpipes(&dt);
    EXPECT_EQ(errorcode(), 0);
    const std::vector<double> p = profile(getpressure, 1), rho = profile(getdensity, 1),
                              c = profile(getsoundspeed, 1);
    for (std::size_t i = 0; i < c.size(); ++i)
        EXPECT_NEAR(c[i], std::sqrt(1.4 * p[i] / rho[i]), 1e-9 * c[i]);
}

// The steady-state march and the choke pressure estimate with failing
// routines: both return normally, report the floor code and write what they
// promise (the status, a finite pressure or nothing).
TEST_F(HostFaults, SteadyStateAndChokePressureSurviveFailingRoutines)
{
    for (Fault fault : {Fault::nan, Fault::negative, Fault::unwritten}) {
        SCOPED_TRACE(static_cast<int>(fault));
        zerocurrentstate();
        host.fault = fault;
        int32_t status = -1;
        steadystate(1, 2.0e6, 288.15, 5.0, &status);
        EXPECT_GE(status, 0);
        EXPECT_LE(status, 5);
        EXPECT_GE(errorcode(), 1);
        expectstatefloored();

        double p = -1.0;
        approxchokepressure(288.15, 0.3, 5.0, &p);
        const int32_t code = errorcode();
        EXPECT_TRUE(code == 1 || code == 3) << code;
        EXPECT_TRUE(p == -1.0 || std::isfinite(p)) << p;
    }
}

} // namespace
