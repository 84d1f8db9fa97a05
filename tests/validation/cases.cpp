// The validation cases (see cases.h).
#include "cases.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pelmora.h"
#include "relations.h"

namespace validation {

// ===========================================================================
// Shock tubes
// ===========================================================================

// The scales keep every state well above the fluid floors (100 Pa, 1 K,
// 0.01 kg/m3) so that the comparison measures the scheme, not the clamps:
// Sod at 100 bar and 348 K on the left, 10 bar and 279 K on the right; the
// strong shock with 348 K on its cold side (the hot side is at 1e11 Pa);
// the rarefactions leave 18.9 kPa, 2.2 kg/m3 and 30 K in the middle.
const std::vector<RiemannProblem>& riemannproblems()
{
    static const std::vector<RiemannProblem> problems = {
        {"Sod's shock tube", "sod", {1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 0.2, {100.0, 1e7, 100.0}},
        {"Strong shock (pressure ratio 1e5)",
         "strong",
         {1.0, 0.0, 1000.0},
         {1.0, 0.0, 0.01},
         0.012,
         {10.0, 1e8, 100.0}},
        {"Two rarefactions",
         "rarefactions",
         {1.0, -2.0, 0.4},
         {1.0, 2.0, 0.4},
         0.15,
         {100.0, 1e7, 100.0}},
    };
    return problems;
}

namespace {

// Largest amount by which a computed profile leaves the range of the exact
// values within two cells of each cell, relative to the exact profile's
// whole range. A monotone scheme keeps this at 0 up to the smearing of
// discontinuities, which the two-cell window absorbs.
double newextremum(const std::vector<double>& computed, const std::vector<double>& exact)
{
    const int n = static_cast<int>(exact.size());
    const auto [lo, hi] = std::minmax_element(exact.begin(), exact.end());
    const double range = *hi - *lo;
    if (range <= 0)
        return 0.0;
    double worst = 0.0;
    for (int i = 0; i < n; ++i) {
        double wmin = exact[static_cast<size_t>(i)], wmax = wmin;
        for (int j = std::max(0, i - 2); j <= std::min(n - 1, i + 2); ++j) {
            wmin = std::min(wmin, exact[static_cast<size_t>(j)]);
            wmax = std::max(wmax, exact[static_cast<size_t>(j)]);
        }
        const double c = computed[static_cast<size_t>(i)];
        worst = std::max({worst, c - wmax, wmin - c});
    }
    return worst / range;
}

std::vector<double> component(const std::vector<GasState>& w, double GasState::*field)
{
    std::vector<double> out;
    out.reserve(w.size());
    for (const GasState& s : w)
        out.push_back(s.*field);
    return out;
}

} // namespace

// Steps:
// 1. Ideal gas, gamma 1.4, no viscosity (no friction); two horizontal pipes
//    of half the tube each, adiabatic walls; the joint is the diaphragm.
// 2. loadinitialconditions gives each pipe its side's state (temperature
//    from the gas law, mass flow from rho u A).
// 3. The ends as the physics has them: where the gas is at rest the end is
//    closed (zero mass flow imposed, pressure and temperature from the
//    cells); where it leaves supersonically nothing is imposed. No wave
//    reaches an end before the final time.
// 4. One host step of the final time (the driver sub-steps it and lands on
//    it exactly), optionally with maxtimestep capping the Courant number.
// 5. The state from the conserved variables against exact cell averages.
ShockTubeResult runshocktube(const RiemannProblem& problem, int cells, double courant,
                             bool freeends)
{
    const ShockTubeScales& scale = problem.scales;
    const Gas gas{28.97, 1.4, 0.0, 1.0};
    const double rgas = gas.gasconstant();
    const double half = 0.5 * scale.length;
    Pipe pipe;
    pipe.length = half;
    pipe.diameter = 0.5;
    pipe.celllength = scale.length / cells;
    Line line(gas, {pipe, pipe});
    const double area = line.areas().front();

    auto si = [&](const GasState& w) {
        return GasState{w.density * scale.density, w.velocity * scale.velocity(),
                        w.pressure * scale.pressure};
    };
    const GasState l = si(problem.left), r = si(problem.right);
    line.start({l.pressure, r.pressure},
               {l.pressure / (l.density * rgas), r.pressure / (r.density * rgas)},
               {l.density * l.velocity * area, r.density * r.velocity * area});
    const int32_t closedleft = l.velocity == 0.0 && !freeends ? 1 : 0;
    const int32_t closedright = r.velocity == 0.0 && !freeends ? 1 : 0;
    loadbc(1, l.pressure, l.pressure / (l.density * rgas), 0.0, 0, 0, closedleft);
    loadbc(2, r.pressure, r.pressure / (r.density * rgas), 0.0, 0, 0, closedright);

    const ExactRiemann exact(problem.left, problem.right, gas.gamma);
    const double dx = scale.length / cells;
    if (courant > 0) {
        const double cap = courant * dx / (exact.fastestsignal() * scale.velocity());
        maxtimestep(&cap);
    }
    const double endtime = problem.time * scale.time();
    const double rest = endtime - line.refreshends(1e-9 * endtime);
    transientpipes(&rest);

    ShockTubeResult result;
    result.cells = line.cells();
    result.courant = courant;
    result.errorcode = Line::errorcode();
    const std::vector<GasState> state = line.state();
    const std::vector<double> queried = line.profile(getdensity);
    const double h = 1.0 / result.cells;
    for (int i = 0; i < result.cells; ++i) {
        const auto k = static_cast<size_t>(i);
        const double x = line.centres()[k] / scale.length;
        result.x.push_back(x);
        result.computed.push_back({state[k].density / scale.density,
                                   state[k].velocity / scale.velocity(),
                                   state[k].pressure / scale.pressure});
        const GasState e = exact.average(x - 0.5 - 0.5 * h, x - 0.5 + 0.5 * h, problem.time, 16);
        result.exact.push_back(e);
        result.l1density += std::fabs(result.computed[k].density - e.density) * h;
        result.l1velocity += std::fabs(result.computed[k].velocity - e.velocity) * h;
        result.l1pressure += std::fabs(result.computed[k].pressure - e.pressure) * h;
        result.l1querieddensity += std::fabs(queried[k] / scale.density - e.density) * h;
    }
    result.densityovershoot = newextremum(component(result.computed, &GasState::density),
                                          component(result.exact, &GasState::density));
    result.velocityovershoot = newextremum(component(result.computed, &GasState::velocity),
                                           component(result.exact, &GasState::velocity));
    return result;
}

double observedorder(double coarse, double fine) { return std::log2(coarse / fine); }

// ===========================================================================
// Steady flow with friction
// ===========================================================================

Gas pipelinegas() { return Gas{16.04, 1.31, 1.1e-5, 1.0}; }

double settle(const Line& line, double span, double limit, double tolerance)
{
    double total = 0.0;
    std::vector<double> before = line.profile(getpressure);
    while (total < limit) {
        double elapsed = 0.0;
        steadypipes(&span, &elapsed);
        total += elapsed;
        const std::vector<double> after = line.profile(getpressure);
        double change = 0.0;
        for (size_t i = 0; i < after.size(); ++i)
            change = std::max(change, std::fabs(after[i] - before[i]) / after[i]);
        before = after;
        if (change < tolerance)
            break;
    }
    return total;
}

namespace {

// Fills the error measures of a steady comparison.
void steadyerrors(SteadyResult& r)
{
    const double drop = r.exactpressure.front() - r.exactpressure.back();
    for (size_t i = 0; i < r.x.size(); ++i) {
        r.pressureerror =
            std::max(r.pressureerror, std::fabs(r.pressure[i] - r.exactpressure[i]) / drop);
        r.temperatureerror =
            std::max(r.temperatureerror, std::fabs(r.temperature[i] - r.exacttemperature[i]));
    }
}

} // namespace

// The pipe: 50 km of 0.5 m line, 20 um roughness, 50 bar and 288.15 K at
// the inlet, 60 kg/s (about 9 m/s, Reynolds number 1.4e7), ambient at the
// inlet temperature with 100 W/(m2 K) through the wall: the gas relaxes to
// the wall temperature within about 3 km, while expansion alone would cool
// it by some hundredths of a kelvin, so the flow is isothermal to far better
// than the pressure comparison needs. Outlet near 32 bar.
SteadyResult runisothermal(int cells, bool settlefirst)
{
    const Gas gas = pipelinegas();
    const double length = 50e3, diameter = 0.5, roughness = 2e-5;
    const double pin = 50e5, tin = 288.15, flow = 60.0;
    Pipe pipe{length, diameter, 0.0, roughness, length / cells, tin, 100.0};
    Line line(gas, {pipe});
    const double area = line.areas().front();
    SteadyResult r;
    if (settlefirst) {
        // Inlet pressure and temperature imposed, outlet delivery imposed; start
        // from the inlet state everywhere and let the line pack settle.
        line.start(pin, tin, flow);
        loadbc(1, pin, tin, flow, 1, 1, 0);
        loadbc(2, pin, tin, flow, 0, 0, 1);
        r.settletime = settle(line, 2000.0, 200000.0, 1e-9);
    } else {
        int32_t status = -1;
        steadystate(1, pin, tin, flow, &status);
        r.status = status;
    }
    r.errorcode = Line::errorcode();
    r.massflow = flow;
    r.exactmassflow = flow;
    const double g = flow / area, rt = gas.gasconstant() * tin;
    r.frictionfactor = fanningfriction(g * diameter / gas.viscosity, roughness / diameter);
    r.x = line.centres();
    r.pressure = line.profile(getpressure);
    r.temperature = line.profile(gettemperature);
    r.mach = line.profile(getmachnumber);
    for (double x : r.x) {
        const double p = isothermalpressure(pin, g, rt, r.frictionfactor, diameter, x);
        r.exactpressure.push_back(p);
        r.exacttemperature.push_back(tin);
        r.exactmach.push_back(g * rt / p / gas.soundspeed(tin));
    }
    const double pout = isothermalpressure(pin, g, rt, r.frictionfactor, diameter, length);
    r.endpressureerror = std::fabs(Line::end(getbcpressure, 2) - pout) / (pin - pout);
    steadyerrors(r);
    return r;
}

// The pipe: 40 m of 0.1 m tube, 1 um roughness, air entering at 10 bar,
// 300 K and Mach 0.3 (Reynolds number 6.7e6), adiabatic wall. Friction
// drives it to about Mach 0.55 at the outlet, where the gas has cooled by
// some 13 K: far from isothermal, so the comparison tells the two apart.
SteadyResult runfanno(int cells, bool settlefirst)
{
    const Gas gas{28.97, 1.4, 1.8e-5, 1.0};
    const double length = 40.0, diameter = 0.1, roughness = 1e-6;
    const double pin = 10e5, tin = 300.0, machin = 0.3;
    Pipe pipe{length, diameter, 0.0, roughness, length / cells, tin, 0.0};
    Line line(gas, {pipe});
    const double area = line.areas().front();
    const double rhoin = pin / (gas.gasconstant() * tin);
    const double designflow = rhoin * machin * gas.soundspeed(tin) * area;
    auto friction = [&](double flow) {
        return fanningfriction(flow / area * diameter / gas.viscosity, roughness / diameter);
    };
    // Fanno outlet for a given flow entering at (pin, tin).
    auto outlet = [&](double flow, double x) {
        const double mach = flow / (area * rhoin * gas.soundspeed(tin));
        return fannodownstream(mach, pin, tin, gas.gamma, friction(flow), diameter, x);
    };

    SteadyResult r;
    r.exactmassflow = designflow;
    if (settlefirst) {
        // Inlet mass flow and temperature imposed, outlet pressure imposed at the
        // value Fanno flow gives for the design inlet; the inlet pressure is the
        // engine's answer. (An inlet with pressure and temperature imposed
        // instead does not settle at this Mach number: it keeps sending mass-flow
        // waves of a few percent down the pipe; the report shows it.)
        const double pout = outlet(designflow, length).pressure;
        line.start(pin, tin, designflow);
        loadbc(1, pin, tin, designflow, 0, 1, 1);
        loadbc(2, pout, tin, designflow, 1, 0, 0);
        r.settletime = settle(line, 0.5, 60.0, 1e-9);
        r.massflow = designflow;
    } else {
        int32_t status = -1;
        steadystate(1, pin, tin, designflow, &status);
        r.status = status;
        r.massflow = designflow;
    }
    r.errorcode = Line::errorcode();
    r.frictionfactor = friction(r.massflow);
    r.x = line.centres();
    r.pressure = line.profile(getpressure);
    r.temperature = line.profile(gettemperature);
    r.mach = line.profile(getmachnumber);
    for (double x : r.x) {
        const FannoState f = outlet(r.massflow, x);
        r.exactpressure.push_back(f.pressure);
        r.exacttemperature.push_back(f.temperature);
        r.exactmach.push_back(f.mach);
    }
    // The free end: the outlet face after a march, the inlet face after the
    // settling march (whose outlet pressure is imposed).
    const FannoState out = outlet(r.massflow, length);
    r.endpressureerror =
        settlefirst ? std::fabs(Line::end(getbcpressure, 1) - pin) / (pin - out.pressure)
                    : std::fabs(Line::end(getbcpressure, 2) - out.pressure) / (pin - out.pressure);
    steadyerrors(r);
    return r;
}

double inletpressurewiggle(double mach, int cells)
{
    const Gas gas{28.97, 1.4, 1.8e-5, 1.0};
    const double length = 40.0, diameter = 0.1, pin = 10e5, tin = 300.0;
    Line line(gas, {Pipe{length, diameter, 0.0, 1e-6, length / cells, tin, 0.0}});
    const double area = line.areas().front();
    const double flow = pin / (gas.gasconstant() * tin) * mach * gas.soundspeed(tin) * area;
    const double f = fanningfriction(flow / area * diameter / gas.viscosity, 1e-6 / diameter);
    const double pout = fannodownstream(mach, pin, tin, gas.gamma, f, diameter, length).pressure;
    line.start(pin, tin, flow);
    loadbc(1, pin, tin, flow, 1, 1, 0);
    loadbc(2, pout, tin, flow, 1, 0, 0);
    double span = 20.0, elapsed = 0.0, wiggle = 0.0;
    steadypipes(&span, &elapsed);
    span = 0.05;
    for (int k = 0; k < 20; ++k) {
        steadypipes(&span, &elapsed);
        const std::vector<double> flows = line.profile(getmassflowrate);
        for (double m : flows)
            wiggle = std::max(wiggle, std::fabs(m - flows.back()) / flows.back());
    }
    return wiggle;
}

// ===========================================================================
// Waves
// ===========================================================================

// Steps:
// 1. 10 km of frictionless, adiabatic 0.5 m line at 50 bar, 288.15 K and
//    10 m/s: uniform flow is then an exact steady state.
// 2. Downstream case: inlet pressure and temperature imposed, outlet delivery
//    imposed; the inlet pressure steps up by 0.1 % at t = 0 (the first loadbc
//    after a starting state applies without a ramp). Upstream case: inlet
//    flow and temperature imposed, outlet pressure imposed and stepped down.
// 3. Host steps of a quarter of a cell's travel time; the far end's pressure
//    (network-end query) is recorded after each.
// 4. Arrival: when the far-end rise first reaches half its value at 1.5
//    transit times (the front has passed, its reflection not yet returned).
//    The step is small, so the front runs at the undisturbed c + u (or c - u)
//    to within 0.04 %.
WaveResult runwave(bool downstream, int cells)
{
    const Gas gas{16.04, 1.31, 0.0, 1.0};
    const double length = 10e3, diameter = 0.5, p0 = 50e5, t0 = 288.15, u0 = 10.0;
    Pipe pipe{length, diameter, 0.0, 0.0, length / cells, t0, 0.0};
    Line line(gas, {pipe});
    const double rho0 = p0 / (gas.gasconstant() * t0), c0 = gas.soundspeed(t0);
    const double flow = rho0 * u0 * line.areas().front();
    const double step = 1e-3 * p0;
    line.start(p0, t0, flow);
    if (downstream) {
        loadbc(1, p0 + step, t0, flow, 1, 1, 0);
        loadbc(2, p0, t0, flow, 0, 0, 1);
    } else {
        loadbc(1, p0, t0, flow, 0, 1, 1);
        loadbc(2, p0 - step, t0, flow, 1, 0, 0);
    }
    WaveResult r;
    r.downstream = downstream;
    const double speed = downstream ? c0 + u0 : c0 - u0;
    r.expected = length / speed;
    r.celltime = length / cells / speed;
    const int farend = downstream ? 2 : 1;
    const double dt = 0.25 * r.celltime;
    const double before = p0;
    const int steps = static_cast<int>(std::ceil(1.5 * r.expected / dt));
    for (int i = 1; i <= steps; ++i) {
        transientpipes(&dt);
        r.time.push_back(i * dt);
        r.rise.push_back(std::fabs(Line::end(getbcpressure, farend) - before));
    }
    // Half the plateau, found by linear interpolation between records.
    const double half = 0.5 * r.rise.back();
    for (size_t i = 1; i < r.rise.size(); ++i) {
        if (r.rise[i] >= half) {
            const double w = (half - r.rise[i - 1]) / (r.rise[i] - r.rise[i - 1]);
            r.measured = r.time[i - 1] + w * (r.time[i] - r.time[i - 1]);
            break;
        }
    }
    return r;
}

// ===========================================================================
// Gravity
// ===========================================================================

// Steps:
// 1. A closed 2 km pipe rising 1 km (30 degrees), 0.1 m bore, natural-gas-like
//    ideal gas at 50 bar and 288.15 K, at rest; zero mass flow imposed at both
//    ends. The wall (100 W/(m2 K), ambient 288.15 K) holds it isothermal, and
//    a raised viscosity (1e-3 Pa s) makes the laminar friction damp the
//    sloshing within a few hundred seconds; neither changes the final state.
// 2. steadypipes marches until the pressures stop moving.
// 3. The exact state: isothermal hydrostatic p = p_b exp(-g sin(a) x / RT),
//    with p_b from the mass in the pipe, which the closed ends conserve.
// 4. The same profile from steadystate (no flow, march from end 1) started
//    at the exact bottom pressure.
GravityResult rungravity(int cells)
{
    const Gas gas{16.04, 1.31, 1e-3, 1.0};
    const double length = 2000.0, diameter = 0.1, angle = std::numbers::pi / 6.0;
    const double p0 = 50e5, t0 = 288.15;
    Pipe pipe{length, diameter, angle, 0.0, length / cells, t0, 100.0};
    Line line(gas, {pipe});
    line.start(p0, t0, 0.0);
    loadbc(1, p0, t0, 0.0, 0, 0, 1);
    loadbc(2, p0, t0, 0.0, 0, 0, 1);
    GravityResult r;
    const double initialmass = line.mass();
    r.settletime = settle(line, 20.0, 2000.0, 1e-11);
    r.errorcode = Line::errorcode();
    r.masschange = (line.mass() - initialmass) / initialmass;

    const double k = gravity * std::sin(angle) / (gas.gasconstant() * t0);
    const double bottom = p0 * k * length / (1.0 - std::exp(-k * length));
    r.x = line.centres();
    r.pressure = line.profile(getpressure);
    const std::vector<double> velocity = line.profile(getvelocity);
    const double spread = bottom * (1.0 - std::exp(-k * length));
    for (size_t i = 0; i < r.x.size(); ++i) {
        // Exact cell average of the exponential over the cell.
        const double a = r.x[i] - 0.5 * line.widths()[i], b = r.x[i] + 0.5 * line.widths()[i];
        const double exact = bottom * (std::exp(-k * a) - std::exp(-k * b)) / (k * (b - a));
        r.height.push_back(r.x[i] * std::sin(angle));
        r.exactpressure.push_back(exact);
        r.pressureerror = std::max(r.pressureerror, std::fabs(r.pressure[i] - exact) / spread);
        r.maxvelocity = std::max(r.maxvelocity, std::fabs(velocity[i]));
    }

    int32_t status = -1;
    steadystate(1, bottom, t0, 0.0, &status);
    const std::vector<double> march = line.profile(getpressure);
    for (size_t i = 0; i < r.x.size(); ++i)
        r.marchpressureerror =
            std::max(r.marchpressureerror, std::fabs(march[i] - r.exactpressure[i]) / spread);
    return r;
}

// ===========================================================================
// Balances
// ===========================================================================

namespace {

// Energy exchanged per second through the wall and against gravity, from the
// cell states as the profile queries give them (the state at which the last
// stage evaluated its sources).
struct SourceRates {
    double wallheat = 0;    // W, into the gas
    double gravitywork = 0; // W, done on the gas by gravity (negative uphill)
};

SourceRates sourcerates(const Line& line)
{
    const std::vector<double> t = line.profile(gettemperature);
    const std::vector<double> rho = line.profile(getdensity);
    const std::vector<double> u = line.profile(getvelocity);
    SourceRates s;
    for (size_t i = 0; i < t.size(); ++i) {
        const Pipe& pipe = line.pipes()[static_cast<size_t>(line.owner()[i] - 1)];
        const double dx = line.widths()[i];
        s.wallheat +=
            pipe.heattransfer * std::numbers::pi * pipe.diameter * dx * (pipe.ambient - t[i]);
        s.gravitywork -=
            rho[i] * u[i] * gravity * std::sin(pipe.inclination) * line.areas()[i] * dx;
    }
    return s;
}

// Total-enthalpy flow through a network end, W.
double energyflow(int end)
{
    const double m = Line::end(getbcmassflowrate, end), h = Line::end(getbcenthalpy, end),
                 u = Line::end(getbcvelocity, end);
    return m * (h + 0.5 * u * u);
}

} // namespace

// Steps:
// 1. Three pipes of 20, 30 and 25 km, 0.6 m bore, cells of 1000, 750 and
//    1250 m, the middle one rising 200 m; gas entering at 300 K into ground
//    at 283 K through 2.5 W/(m2 K).
// 2. Steady start from steadystate (60 bar, 300 K, 80 kg/s), then the inlet
//    pressure is held for half an hour, ramped to 66 bar over two hours and
//    held; the outlet demand is ramped from 80 to 130 kg/s between the first
//    and the second hour and held. Six hours in host steps of 10 s.
// 3. After every host step: line pack and energy content from the conserved
//    variables; the end flows, the wall heat and the work of gravity from the
//    queries, integrated over time by the trapezoidal rule.
// 4. Residuals: content change minus integrated net inflow (mass), and minus
//    integrated energy inflow, wall heat and gravity work (energy).
BalanceResult runbalance(double hoststep)
{
    const Gas gas = pipelinegas();
    const double ambient = 283.0, wall = 2.5, tin = 300.0;
    std::vector<Pipe> pipes = {
        {20e3, 0.6, 0.0, 2e-5, 1000.0, ambient, wall},
        {30e3, 0.6, std::asin(200.0 / 30e3), 2e-5, 750.0, ambient, wall},
        {25e3, 0.6, 0.0, 2e-5, 1250.0, ambient, wall},
    };
    Line line(gas, pipes);
    int32_t status = -1;
    steadystate(1, 60e5, tin, 80.0, &status);

    auto inletpressure = [](double t) {
        const double s = std::clamp((t - 1800.0) / 7200.0, 0.0, 1.0);
        return 60e5 + s * 6e5;
    };
    auto demand = [](double t) {
        const double s = std::clamp((t - 3600.0) / 3600.0, 0.0, 1.0);
        return 80.0 + s * 50.0;
    };
    // What an end does not impose gets its current value there.
    loadbc(1, inletpressure(0), tin, 80.0, 1, 1, 0);
    loadbc(2, Line::end(getbcpressure, 2), Line::end(getbctemperature, 2), demand(0), 0, 0, 1);

    BalanceResult r;
    const double dt = hoststep, duration = 6 * 3600.0;
    const double mass0 = line.mass(), energy0 = line.energy();
    double inflow = 0, netflow = 0, energyin = 0;
    double lastin = Line::end(getbcmassflowrate, 1), lastout = Line::end(getbcmassflowrate, 2);
    double lastein = energyflow(1), lasteout = energyflow(2);
    SourceRates last = sourcerates(line);
    auto record = [&](double t) {
        r.time.push_back(t);
        r.linepack.push_back(line.mass() - mass0);
        r.netinflow.push_back(netflow);
        r.energy.push_back(line.energy() - energy0);
        r.netenergyinflow.push_back(energyin);
        r.inletflow.push_back(lastin);
        r.outletflow.push_back(lastout);
        r.inletpressure.push_back(Line::end(getbcpressure, 1));
        r.outletpressure.push_back(Line::end(getbcpressure, 2));
    };
    record(0.0);
    const int steps = static_cast<int>(duration / dt);
    for (int i = 1; i <= steps; ++i) {
        const double t = i * dt;
        loadbc(1, inletpressure(t), tin, lastin, 1, 1, 0);
        loadbc(2, Line::end(getbcpressure, 2), Line::end(getbctemperature, 2), demand(t), 0, 0, 1);
        transientpipes(&dt);
        const double in = Line::end(getbcmassflowrate, 1), out = Line::end(getbcmassflowrate, 2);
        const double ein = energyflow(1), eout = energyflow(2);
        const SourceRates now = sourcerates(line);
        inflow += 0.5 * dt * (in + lastin);
        netflow += 0.5 * dt * ((in - out) + (lastin - lastout));
        const double heat = 0.5 * dt * (now.wallheat + last.wallheat);
        const double work = 0.5 * dt * (now.gravitywork + last.gravitywork);
        r.wallheat += heat;
        r.gravitywork += work;
        r.energythroughput += 0.5 * dt * (ein + lastein);
        energyin += 0.5 * dt * ((ein - eout) + (lastein - lasteout)) + heat + work;
        lastin = in, lastout = out, lastein = ein, lasteout = eout, last = now;
        if (std::fmod(t, 300.0) < 0.5 * dt)
            record(t);
    }
    r.errorcode = Line::errorcode();
    r.throughput = inflow;
    r.linepackchange = line.mass() - mass0;
    r.massresidual = std::fabs(r.linepackchange - netflow);
    r.energychange = line.energy() - energy0;
    r.energyresidual = std::fabs(r.energychange - energyin);
    return r;
}

} // namespace validation
