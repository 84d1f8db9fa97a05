// The validation cases (see cases.h).
#include "cases.h"

#include <algorithm>
#include <array>
#include <numbers>
#include <stdexcept>

#include "choke.h"
#include "pelmora.h"

namespace validation {

// ===========================================================================
// The host
// ===========================================================================

Line::Line(const Gas& g, const std::vector<Pipe>& p) : gas(g), pipes(p)
{
    const int32_t model = 1; // built-in ideal gas
    loadfluid(nullptr, nullptr, nullptr, nullptr, &gas.molweight, &gas.gamma, &gas.viscosity,
              &gas.compressibility, &model);
    std::vector<Pipe> q = pipes; // with the outlet diameter filled in
    for (Pipe& each : q)
        each.outletdiameter = each.outletdiameter > 0.0 ? each.outletdiameter : each.diameter;
    auto column = [&](double Pipe::*field) {
        std::vector<double> values;
        for (const Pipe& each : q)
            values.push_back(each.*field);
        return values;
    };
    const auto npipes = static_cast<int32_t>(pipes.size());
    loadpipedata(&npipes, column(&Pipe::length).data(), column(&Pipe::diameter).data(),
                 column(&Pipe::outletdiameter).data(), column(&Pipe::inclination).data(),
                 column(&Pipe::roughness).data(), column(&Pipe::celllength).data());
    loadwalldata(column(&Pipe::ambient).data(), column(&Pipe::heattransfer).data());
    if (errorcode() == 3)
        throw std::runtime_error("the engine refused the line");
    // Geometry as the host knows it: its own pipe lengths, the engine's cell
    // counts and diameters.
    double offset = 0.0;
    for (int32_t k = 1; k <= npipes; ++k) {
        int32_t n = 0;
        getnumberofcells(k, &n);
        count.push_back(n);
        const double dx = pipes[static_cast<size_t>(k - 1)].length / n;
        std::vector<double> d(static_cast<size_t>(n));
        getdiameter(k, d.data());
        for (int i = 0; i < n; ++i) {
            centre.push_back(offset + (i + 0.5) * dx);
            width.push_back(dx);
            area.push_back(std::numbers::pi / 4.0 * d[static_cast<size_t>(i)] *
                           d[static_cast<size_t>(i)]);
            owner.push_back(k);
        }
        offset += pipes[static_cast<size_t>(k - 1)].length;
    }
}

void Line::start(const std::vector<double>& p, const std::vector<double>& t,
                 const std::vector<double>& m)
{
    loadinitialconditions(p.data(), t.data(), m.data());
    if (errorcode() == 3)
        throw std::runtime_error("the engine refused the starting state");
}

void Line::start(double p, double t, double m)
{
    const size_t n = pipes.size();
    start(std::vector<double>(n, p), std::vector<double>(n, t), std::vector<double>(n, m));
}

std::vector<double> Line::profile(void (*query)(int32_t, double*)) const
{
    std::vector<double> all(centre.size());
    double* at = all.data();
    for (size_t k = 0; k < count.size(); at += count[k], ++k)
        query(static_cast<int32_t>(k + 1), at);
    return all;
}

double Line::end(void (*query)(int32_t, double*), int which)
{
    double value = 0.0;
    query(which, &value);
    return value;
}

int Line::errorcode()
{
    int32_t code = 0;
    geterrorcode(&code);
    return code;
}

namespace {
// Conserved variables per cell: A rho (kg/m), rho u (kg/(m2 s)), rho E
// (J/m3), variable k of cell i at k * ncells + i.
std::vector<double> conserved(size_t n)
{
    std::vector<double> previous(3 * n), current(3 * n, 0.0);
    getuhistory(previous.data(), current.data());
    return current;
}
} // namespace

std::vector<GasState> Line::state() const
{
    const size_t n = centre.size();
    const std::vector<double> u = conserved(n);
    std::vector<GasState> w(n);
    for (size_t i = 0; i < n; ++i) {
        const double rho = u[i] / area[i], vel = u[n + i] / rho;
        const double e = u[2 * n + i] / rho - 0.5 * vel * vel;
        w[i] = {rho, vel, (gas.gamma - 1.0) * rho * e};
    }
    return w;
}

double Line::mass() const
{
    const std::vector<double> u = conserved(centre.size());
    double sum = 0.0;
    for (size_t i = 0; i < centre.size(); ++i)
        sum += u[i] * width[i];
    return sum;
}

double Line::energy() const
{
    const size_t n = centre.size();
    const std::vector<double> u = conserved(n);
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += u[2 * n + i] * area[i] * width[i];
    return sum;
}

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

// The network-end state after the last step, for a host that passes the
// current value of what it does not impose.
struct EndNow {
    double pressure, temperature, massflow;
};
EndNow endnow(int end)
{
    return {Line::end(getbcpressure, end), Line::end(getbctemperature, end),
            Line::end(getbcmassflowrate, end)};
}

// Several host steps in a row refresh the network-end state of the previous
// network, which limits the first sub-step; one tiny step makes a run take
// the same sub-steps whatever ran before it.
void refreshends(double dt) { transientpipes(&dt); }

const Gas pipelinegas{16.04, 1.31, 1.1e-5, 1.0};

// Largest amount by which `computed` leaves the range of the exact values
// within two cells of each cell, relative to the exact profile's range.
double newextremum(const std::vector<std::vector<double>>& rows, size_t column)
{
    const int n = static_cast<int>(rows.size());
    auto at = [&](int i, size_t k) { return rows[static_cast<size_t>(i)][k]; };
    const size_t exact = column + 3;
    double lo = at(0, exact), hi = lo, worst = 0.0;
    for (int i = 0; i < n; ++i)
        lo = std::min(lo, at(i, exact)), hi = std::max(hi, at(i, exact));
    if (hi - lo <= 0)
        return 0.0;
    for (int i = 0; i < n; ++i) {
        double wmin = at(i, exact), wmax = wmin;
        for (int j = std::max(0, i - 2); j <= std::min(n - 1, i + 2); ++j)
            wmin = std::min(wmin, at(j, exact)), wmax = std::max(wmax, at(j, exact));
        worst = std::max({worst, at(i, column) - wmax, wmin - at(i, column)});
    }
    return worst / (hi - lo);
}

// The queried profiles next to `exact(x)` (p, T, Mach) and the largest errors.
template <class F>
void steadyprofiles(SteadyResult& r, const Line& line, F exact)
{
    r.errorcode = Line::errorcode();
    const std::vector<double> p = line.profile(getpressure), t = line.profile(gettemperature),
                              m = line.profile(getmachnumber);
    for (size_t i = 0; i < p.size(); ++i) {
        const std::array<double, 3> e = exact(line.centre[i]);
        r.rows.push_back({line.centre[i], p[i], e[0], t[i], e[1], m[i], e[2]});
    }
    const double drop = r.rows.front()[2] - r.rows.back()[2];
    for (const std::vector<double>& row : r.rows) {
        r.pressureerror = std::max(r.pressureerror, std::fabs(row[1] - row[2]) / drop);
        r.temperatureerror = std::max(r.temperatureerror, std::fabs(row[3] - row[4]));
    }
}

} // namespace

// ===========================================================================
// Shock tubes
// ===========================================================================

// The scales keep every state well above the fluid floors (100 Pa, 1 K,
// 0.01 kg/m3), so that the comparison measures the scheme, not the clamps.
const std::vector<RiemannProblem> riemannproblems = {
    {"Sod's shock tube", "sod", {1.0, 0.0, 1.0}, {0.125, 0.0, 0.1}, 0.2, 100.0, 1e7, 100.0},
    {"Strong shock (pressure ratio 1e5)",
     "strong",
     {1.0, 0.0, 1000.0},
     {1.0, 0.0, 0.01},
     0.012,
     10.0,
     1e8,
     100.0},
    {"Two rarefactions",
     "rarefactions",
     {1.0, -2.0, 0.4},
     {1.0, 2.0, 0.4},
     0.15,
     100.0,
     1e7,
     100.0},
};

// Ideal gas, gamma 1.4, no friction, adiabatic; each pipe starts in its
// side's state. Where the gas rests the end is closed (zero flow imposed),
// where it leaves supersonically nothing is imposed; no wave reaches an end.
// One host step of the final time; the state from the conserved variables.
ShockTubeResult runshocktube(const RiemannProblem& problem, int cells, double courant,
                             bool freeends)
{
    const Gas gas{28.97, 1.4, 0.0, 1.0};
    const double rgas = gas.gasconstant();
    Pipe pipe;
    pipe.length = 0.5 * problem.length;
    pipe.diameter = 0.5;
    pipe.celllength = problem.length / cells;
    Line line(gas, {pipe, pipe});
    const double area = line.area.front();
    auto si = [&](const GasState& w) {
        return GasState{w.density * problem.density, w.velocity * problem.velocity(),
                        w.pressure * problem.pressure};
    };
    const GasState l = si(problem.left), r = si(problem.right);
    line.start({l.pressure, r.pressure},
               {l.pressure / (l.density * rgas), r.pressure / (r.density * rgas)},
               {l.density * l.velocity * area, r.density * r.velocity * area});
    loadbc(1, l.pressure, l.pressure / (l.density * rgas), 0.0, 0, 0,
           l.velocity == 0.0 && !freeends ? 1 : 0);
    loadbc(2, r.pressure, r.pressure / (r.density * rgas), 0.0, 0, 0,
           r.velocity == 0.0 && !freeends ? 1 : 0);

    const ExactRiemann exact(problem.left, problem.right, gas.gamma);
    if (courant > 0) {
        const double cap =
            courant * (problem.length / cells) / (exact.fastestsignal() * problem.velocity());
        maxtimestep(&cap);
    }
    const double endtime = problem.time * problem.timescale();
    refreshends(1e-9 * endtime);
    const double rest = endtime - 1e-9 * endtime;
    transientpipes(&rest);

    ShockTubeResult result;
    result.cells = line.cells();
    result.errorcode = Line::errorcode();
    const std::vector<GasState> state = line.state();
    const std::vector<double> queried = line.profile(getdensity);
    const double h = 1.0 / result.cells;
    for (size_t k = 0; k < state.size(); ++k) {
        const double x = line.centre[k] / problem.length;
        const GasState c{state[k].density / problem.density, state[k].velocity / problem.velocity(),
                         state[k].pressure / problem.pressure};
        const GasState e = exact.average(x - 0.5 - 0.5 * h, x - 0.5 + 0.5 * h, problem.time, 16);
        result.rows.push_back(
            {x, c.density, c.velocity, c.pressure, e.density, e.velocity, e.pressure});
        result.l1density += std::fabs(c.density - e.density) * h;
        result.l1velocity += std::fabs(c.velocity - e.velocity) * h;
        result.l1pressure += std::fabs(c.pressure - e.pressure) * h;
        result.l1querieddensity += std::fabs(queried[k] / problem.density - e.density) * h;
    }
    result.densityovershoot = newextremum(result.rows, 1);
    result.velocityovershoot = newextremum(result.rows, 2);
    return result;
}

// ===========================================================================
// Steady flow with friction
// ===========================================================================

// Isothermal: 50 km of 0.5 m line, 20 um, 50 bar and 288.15 K in, 60 kg/s
// (Reynolds number 1.4e7); 100 W/(m2 K) to ground at the inlet temperature
// holds the gas within millikelvin of it. Settled: inlet pressure and
// temperature and the outlet flow imposed, uniform start.
// Fanno: 40 m of 0.1 m tube, 1 um, air in at 10 bar, 300 K, Mach 0.3
// (Reynolds number 6.7e6), adiabatic: friction drives it to Mach 0.55, 13 K
// colder. Settled: inlet flow and temperature imposed and the Fanno outlet
// pressure; the free end is then the inlet.
SteadyResult runsteady(bool fanno, int cells, bool settlefirst)
{
    const Gas gas = fanno ? Gas{28.97, 1.4, 1.8e-5, 1.0} : pipelinegas;
    const double length = fanno ? 40.0 : 50e3, diameter = fanno ? 0.1 : 0.5;
    const double roughness = fanno ? 1e-6 : 2e-5, pin = fanno ? 10e5 : 50e5;
    const double tin = fanno ? 300.0 : 288.15, wall = fanno ? 0.0 : 100.0;
    Line line(gas, {Pipe{length, diameter, 0.0, roughness, length / cells, tin, wall}});
    const double area = line.area.front(), rhoin = pin / (gas.gasconstant() * tin);
    const double flow = fanno ? rhoin * 0.3 * gas.soundspeed(tin) * area : 60.0;
    const double g = flow / area, rt = gas.gasconstant() * tin;
    const double f = fanningfriction(g * diameter / gas.viscosity, roughness / diameter);
    auto exact = [&](double x) {
        if (fanno) {
            const double mach = flow / (area * rhoin * gas.soundspeed(tin));
            const FannoState s = fannodownstream(mach, pin, tin, gas.gamma, f, diameter, x);
            return std::array<double, 3>{s.pressure, s.temperature, s.mach};
        }
        const double p = isothermalpressure(pin, g, rt, f, diameter, x);
        return std::array<double, 3>{p, tin, g * rt / p / gas.soundspeed(tin)};
    };
    const double pout = exact(length)[0];
    SteadyResult r;
    if (settlefirst) {
        line.start(pin, tin, flow);
        loadbc(1, pin, tin, flow, !fanno, 1, fanno);
        loadbc(2, fanno ? pout : pin, tin, flow, fanno, 0, !fanno);
        r.settletime = fanno ? settle(line, 0.5, 60.0, 1e-9) : settle(line, 2000.0, 200000.0, 1e-9);
    } else {
        int32_t status = -1;
        steadystate(1, pin, tin, flow, &status);
        r.status = status;
    }
    steadyprofiles(r, line, exact);
    const bool inlet = fanno && settlefirst; // the free end
    r.endpressureerror =
        std::fabs(Line::end(getbcpressure, inlet ? 1 : 2) - (inlet ? pin : pout)) / (pin - pout);
    return r;
}

double inletpressurewiggle(double mach, int cells)
{
    const Gas gas{28.97, 1.4, 1.8e-5, 1.0};
    const double length = 40.0, diameter = 0.1, pin = 10e5, tin = 300.0;
    Line line(gas, {Pipe{length, diameter, 0.0, 1e-6, length / cells, tin, 0.0}});
    const double area = line.area.front();
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
// Waves, gravity, balances
// ===========================================================================

// 10 km of frictionless, adiabatic 0.5 m line at 50 bar, 288.15 K, 10 m/s
// (an exact steady state). With the flow the inlet pressure steps up by
// 0.1 % (outlet flow imposed), against it the outlet pressure steps down
// (inlet flow imposed). Host steps of a quarter of a cell's travel time;
// arrival when the far-end rise first reaches half its value at 1.5 transit
// times.
WaveResult runwave(bool downstream, int cells)
{
    const Gas gas{16.04, 1.31, 0.0, 1.0};
    const double length = 10e3, p0 = 50e5, t0 = 288.15, u0 = 10.0;
    Line line(gas, {Pipe{length, 0.5, 0.0, 0.0, length / cells, t0, 0.0}});
    const double c0 = gas.soundspeed(t0);
    const double flow = p0 / (gas.gasconstant() * t0) * u0 * line.area.front();
    const double step = 1e-3 * p0;
    line.start(p0, t0, flow);
    loadbc(1, downstream ? p0 + step : p0, t0, flow, downstream, 1, !downstream);
    loadbc(2, downstream ? p0 : p0 - step, t0, flow, !downstream, 0, downstream);
    WaveResult r;
    const double speed = downstream ? c0 + u0 : c0 - u0;
    r.expected = length / speed;
    r.celltime = length / cells / speed;
    const double dt = 0.25 * r.celltime;
    const int steps = static_cast<int>(std::ceil(1.5 * r.expected / dt));
    for (int i = 1; i <= steps; ++i) {
        transientpipes(&dt);
        r.rows.push_back({i * dt, std::fabs(Line::end(getbcpressure, downstream ? 2 : 1) - p0)});
    }
    const double half = 0.5 * r.rows.back()[1];
    for (size_t i = 1; i < r.rows.size() && r.measured == 0; ++i) {
        const std::vector<double>&a = r.rows[i - 1], &b = r.rows[i];
        if (b[1] >= half)
            r.measured = a[0] + (half - a[1]) / (b[1] - a[1]) * (b[0] - a[0]);
    }
    return r;
}

// A closed 2 km pipe rising 1 km, 0.1 m, at rest at 50 bar and 288.15 K;
// the wall holds it isothermal and a raised viscosity damps the sloshing.
// Exact: p = p_b exp(-g sin(a) x / RT) averaged over each cell, p_b from the
// mass in the pipe. Then steadystate (no flow) from the exact bottom.
GravityResult rungravity(int cells)
{
    const Gas gas{16.04, 1.31, 1e-3, 1.0};
    const double length = 2000.0, angle = std::numbers::pi / 6.0, p0 = 50e5, t0 = 288.15;
    Line line(gas, {Pipe{length, 0.1, angle, 0.0, length / cells, t0, 100.0}});
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
    const double spread = bottom * (1.0 - std::exp(-k * length));
    const std::vector<double> pressure = line.profile(getpressure),
                              velocity = line.profile(getvelocity);
    for (size_t i = 0; i < pressure.size(); ++i) {
        const double x = line.centre[i], a = x - 0.5 * line.width[i], b = x + 0.5 * line.width[i];
        const double exact = bottom * (std::exp(-k * a) - std::exp(-k * b)) / (k * (b - a));
        r.rows.push_back({x, x * std::sin(angle), pressure[i], exact});
        r.pressureerror = std::max(r.pressureerror, std::fabs(pressure[i] - exact) / spread);
        r.maxvelocity = std::max(r.maxvelocity, std::fabs(velocity[i]));
    }
    int32_t status = -1;
    steadystate(1, bottom, t0, 0.0, &status);
    const std::vector<double> march = line.profile(getpressure);
    for (size_t i = 0; i < march.size(); ++i)
        r.marchpressureerror =
            std::max(r.marchpressureerror, std::fabs(march[i] - r.rows[i][3]) / spread);
    return r;
}

// Three pipes of 20, 30 (rising 200 m) and 25 km, 0.6 m, cells of 1000, 750
// and 1250 m, gas in at 300 K into ground at 283 K through 2.5 W/(m2 K).
// Steady start at 60 bar and 80 kg/s; the inlet pressure ramps to 66 bar
// between 0.5 h and 2.5 h, the demand to 130 kg/s between 1 h and 2 h; six
// hours. Content from the conserved variables against the trapezoidal time
// integrals of the end flows, total-enthalpy flows, wall heat and the work
// of gravity (from the queries, the state at which the last stage evaluated
// its sources).
BalanceResult runbalance(double dt)
{
    const double ambient = 283.0, wall = 2.5, tin = 300.0;
    Line line(pipelinegas, {{20e3, 0.6, 0.0, 2e-5, 1000.0, ambient, wall},
                            {30e3, 0.6, std::asin(200.0 / 30e3), 2e-5, 750.0, ambient, wall},
                            {25e3, 0.6, 0.0, 2e-5, 1250.0, ambient, wall}});
    int32_t status = -1;
    steadystate(1, 60e5, tin, 80.0, &status);
    auto inletpressure = [](double t) {
        return 60e5 + std::clamp((t - 1800.0) / 7200.0, 0.0, 1.0) * 6e5;
    };
    auto demand = [](double t) {
        return 80.0 + std::clamp((t - 3600.0) / 3600.0, 0.0, 1.0) * 50.0;
    };
    // Wall heat into the gas and work of gravity on it, W.
    auto sources = [&] {
        const std::vector<double> t = line.profile(gettemperature), rho = line.profile(getdensity),
                                  u = line.profile(getvelocity);
        std::pair<double, double> s{0.0, 0.0};
        for (size_t i = 0; i < t.size(); ++i) {
            const Pipe& pipe = line.pipes[static_cast<size_t>(line.owner[i] - 1)];
            s.first += pipe.heattransfer * std::numbers::pi * pipe.diameter * line.width[i] *
                       (pipe.ambient - t[i]);
            s.second -=
                rho[i] * u[i] * gravity * std::sin(pipe.inclination) * line.area[i] * line.width[i];
        }
        return s;
    };
    auto energyflow = [](int end) {
        const double u = Line::end(getbcvelocity, end);
        return Line::end(getbcmassflowrate, end) * (Line::end(getbcenthalpy, end) + 0.5 * u * u);
    };
    loadbc(1, inletpressure(0), tin, 80.0, 1, 1, 0);
    loadbc(2, Line::end(getbcpressure, 2), Line::end(getbctemperature, 2), demand(0), 0, 0, 1);
    BalanceResult r;
    const double mass0 = line.mass(), energy0 = line.energy();
    double inflow = 0, netflow = 0, energyin = 0;
    double lastin = Line::end(getbcmassflowrate, 1), lastout = Line::end(getbcmassflowrate, 2);
    double lastein = energyflow(1), lasteout = energyflow(2);
    std::pair<double, double> last = sources();
    auto record = [&](double t) {
        r.record.push_back({t / 3600, (line.mass() - mass0) / 1e3, netflow / 1e3,
                            (line.energy() - energy0) / 1e9, energyin / 1e9, lastin, lastout,
                            Line::end(getbcpressure, 1) / 1e5, Line::end(getbcpressure, 2) / 1e5});
    };
    record(0.0);
    for (int i = 1; i <= static_cast<int>(6 * 3600.0 / dt); ++i) {
        const double t = i * dt;
        loadbc(1, inletpressure(t), tin, lastin, 1, 1, 0);
        loadbc(2, Line::end(getbcpressure, 2), Line::end(getbctemperature, 2), demand(t), 0, 0, 1);
        transientpipes(&dt);
        const double in = Line::end(getbcmassflowrate, 1), out = Line::end(getbcmassflowrate, 2);
        const double ein = energyflow(1), eout = energyflow(2);
        const std::pair<double, double> now = sources();
        inflow += 0.5 * dt * (in + lastin);
        netflow += 0.5 * dt * ((in - out) + (lastin - lastout));
        const double heat = 0.5 * dt * (now.first + last.first);
        const double work = 0.5 * dt * (now.second + last.second);
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

// ===========================================================================
// Where the scheme is wrong
// ===========================================================================

// Flat, adiabatic, 20 um (the friction damps the start's waves); 60 bar and
// 288.15 K imposed at the inlet, 60 kg/s drawn, 50 m cells, settled. Exact:
// isentropic flow of the same mass flow into each cell's area.
BoreStepResult runborestep(double ratio, double taperlength)
{
    const double d1 = 0.6, d2 = ratio * d1, pin = 60e5, tin = 288.15, flow = 60.0, cell = 50.0;
    std::vector<Pipe> pipes = {{1000.0, d1, 0.0, 2e-5, cell, tin, 0.0}};
    if (taperlength > 0)
        pipes.push_back({taperlength, d1, 0.0, 2e-5, cell, tin, 0.0, d2});
    pipes.push_back({1000.0, d2, 0.0, 2e-5, cell, tin, 0.0});
    Line line(pipelinegas, pipes);
    line.start(pin, tin, flow);
    loadbc(1, pin, tin, flow, 1, 1, 0);
    loadbc(2, pin, tin, flow, 0, 0, 1);
    settle(line, 20.0, 4000.0, 1e-8);
    BoreStepResult r;
    r.errorcode = Line::errorcode();
    const std::vector<double> t = line.profile(gettemperature);
    double sum = 0.0;
    int n = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const double exact = isentropicareachange(pin, tin, flow, line.area.front(), line.area[i],
                                                  pipelinegas.gamma, pipelinegas.gasconstant())
                                 .temperature;
        r.rows.push_back({line.centre[i], t[i], exact});
        if (line.owner[i] == 1)
            continue;
        r.worst = std::max(r.worst, std::fabs(t[i] - exact));
        if (line.owner[i] == static_cast<int>(pipes.size()))
            sum += t[i], ++n, r.exact = exact;
    }
    r.computed = sum / n;
    return r;
}

// Uniform start at 60 bar, 288.15 K and the 60 kg/s drawn at the outlet;
// inlet pressure and temperature imposed. Diverged: a step cut short with
// code 3 or a flow that is not a number.
CellRatioResult runcellratio(int middlecells)
{
    const Gas gas{18.0, 1.3, 1.1e-5, 0.9};
    const double flow = 60.0, pin = 60e5, tin = 288.15, dt = 10.0;
    const Pipe outer{10e3, 0.6, 0.0, 2e-5, 1000.0, tin, 0.0};
    Line line(gas, {outer, {2e3, 0.6, 0.0, 2e-5, 2e3 / middlecells, tin, 0.0}, outer});
    line.start(pin, tin, flow);
    CellRatioResult r;
    r.ratio = 1000.0 / line.width[static_cast<size_t>(line.count[0])];
    EndNow in{pin, tin, flow}, out{pin, tin, flow};
    for (double t = dt; t <= 3600.0 + 0.5 * dt && !r.diverged; t += dt) {
        loadbc(1, pin, tin, in.massflow, 1, 1, 0);
        loadbc(2, out.pressure, out.temperature, flow, 0, 0, 1);
        transientpipes(&dt);
        r.time = t;
        const std::vector<double> m = line.profile(getmassflowrate);
        double jump = 0.0;
        for (size_t i = 1; i < m.size(); ++i)
            jump = std::max(jump, std::fabs(m[i] - m[i - 1]) / flow);
        r.diverged = Line::errorcode() == 3 || !std::isfinite(jump);
        r.rows.push_back({t / 3600.0 * 60.0, std::max(std::isfinite(jump) ? jump : 1e300, 1e-12)});
        in = endnow(1);
        out = endnow(2);
    }
    return r;
}

std::pair<double, double> findcellratiolimit()
{
    // 2 middle cells (ratio 1) run, 40 (ratio 20) diverge; every count keeps
    // the grid exact.
    int safe = 2, diverges = 40;
    while (diverges - safe > 1) {
        const int mid = (safe + diverges) / 2;
        (runcellratio(mid).diverged ? diverges : safe) = mid;
    }
    return {safe / 2.0, diverges / 2.0};
}

// The gas of examples/scenarios/blowdown.json at rest at 60 bar, 288.15 K;
// the inlet held at 60 bar (fed) or closed (then 3 W/(m2 K) through the
// wall). With `choke` the outlet pressure is what the host's choke handling
// decides from the end and end-cell state after the previous step.
VentResult runvent(const VentSetup& v, double dt, bool choke)
{
    const Gas gas{17.5, 1.3, 1.1e-5, 0.9};
    const double p0 = 60e5, t0 = 288.15, atmosphere = 1.01325e5, diameter = 0.3;
    Line line(gas, {{v.length, diameter, 0.0, 4.5e-5, v.celllength, t0, v.fed ? 0.0 : 3.0}});
    line.start(p0, t0, 0.0);
    const int32_t fed = v.fed ? 1 : 0;
    auto approx = [](double temperature, double d, double flow) {
        double p = 0.0;
        approxchokepressure(temperature, d, flow, &p);
        return Line::errorcode() == 3 ? 0.0 : p;
    };
    loadbc(1, p0, t0, 0.0, fed, fed, 1 - fed);
    loadbc(2, p0, t0, 0.0, 1, 1, 0);
    refreshends(1e-9);
    Line::errorcode();
    VentResult r;
    r.lowesttemperature = r.lowestendtemperature = t0;
    double imposed = p0;
    for (double t = dt; t <= v.endtime + 0.5 * dt; t += dt) {
        const EndNow in = endnow(1), out = endnow(2);
        double p = t >= 5.0 ? atmosphere : p0 + (atmosphere - p0) * t / 5.0;
        if (choke) {
            const pelmorarun::VentingEnd end{p,
                                             imposed,
                                             out.massflow,
                                             out.temperature,
                                             diameter,
                                             line.profile(getpressure).back(),
                                             line.profile(gettemperature).back(),
                                             std::fabs(line.profile(getvelocity).back())};
            p = pelmorarun::chokedend(end, gas.gamma, gas.cp(), approx).pressure;
        }
        imposed = p;
        loadbc(1, v.fed ? p0 : in.pressure, v.fed ? t0 : in.temperature, v.fed ? in.massflow : 0.0,
               fed, fed, 1 - fed);
        loadbc(2, p, t0, out.massflow, 1, 1, 0);
        transientpipes(&dt);
        const double mach = Line::end(getbcmachnumber, 2), tend = Line::end(getbctemperature, 2);
        const std::vector<double> cells = line.profile(gettemperature);
        const double cold = *std::min_element(cells.begin(), cells.end());
        r.record.push_back({t, mach, Line::end(getbcmassflowrate, 2), tend, cold});
        if (Line::errorcode() == 3 || !std::isfinite(mach)) {
            r.stopped = true;
            r.stoppedat = t;
            break;
        }
        r.maxmach = std::max(r.maxmach, mach);
        r.lowesttemperature = std::min(r.lowesttemperature, cold);
        r.lowestendtemperature = std::min(r.lowestendtemperature, tend);
    }
    r.flow = r.record.back()[2];
    r.linepack = line.mass();
    return r;
}

// 60 km of 0.5 m, 20 um, ground at 281.15 K through 2.5 W/(m2 K); steady at
// 70 bar, 303.15 K and 50 kg/s. Inlet flow and temperature imposed, running
// down to nothing between 600 and 660 s; the outlet draws 50 kg/s. The
// engine ramps imposed flows linearly over a step, so the trapezoidal rule
// integrates them exactly.
ImbalanceResult runimbalance(double celllength)
{
    const double tin = 303.15, demand = 50.0, dt = 30.0;
    Line line(Gas{17.5, 1.3, 1.1e-5, 0.9}, {Pipe{60e3, 0.5, 0.0, 2e-5, celllength, 281.15, 2.5}});
    int32_t status = -1;
    steadystate(1, 70e5, tin, demand, &status);
    auto supply = [&](double t) { return demand * std::clamp((660.0 - t) / 60.0, 0.0, 1.0); };
    ImbalanceResult r;
    const double mass0 = line.mass();
    double net = 0.0;
    for (double t = dt; t <= 7200.0 + 0.5 * dt; t += dt) {
        const EndNow in = endnow(1), out = endnow(2);
        loadbc(1, in.pressure, tin, supply(t), 0, 1, 1);
        loadbc(2, out.pressure, out.temperature, demand, 0, 0, 1);
        transientpipes(&dt);
        r.throughput += 0.5 * dt * (supply(t - dt) + supply(t));
        net += 0.5 * dt * (supply(t - dt) + supply(t)) - dt * demand;
        r.residual = line.mass() - mass0 - net;
        if (std::fmod(t, 60.0) < 0.5 * dt)
            r.rows.push_back({t / 3600.0, r.residual / 1e3});
    }
    r.throughput = std::max(r.throughput, demand * 7200.0);
    return r;
}

// 10 km of 0.5 m, 50 m cells, 50 bar, 288.15 K, 30 kg/s drawn. For 300 s the
// inlet imposes 30 kg/s, then 50.5 bar; the engine ramps the step after the
// switch from whatever pressure was passed before.
SwitchResult runswitch(bool currentvalues)
{
    const double p0 = 50e5, t0 = 288.15, flow = 30.0, dt = 10.0;
    Line line(Gas{18.0, 1.3, 1.1e-5, 0.9}, {Pipe{10e3, 0.5, 0.0, 2e-5, 50.0, t0, 0.0}});
    line.start(p0, t0, flow);
    auto pass = [&](double value) { return currentvalues ? value : 0.0; };
    loadbc(1, pass(p0), t0, flow, 0, 1, 1);
    loadbc(2, pass(p0), pass(t0), flow, 0, 0, 1);
    refreshends(1e-9);
    Line::errorcode();
    SwitchResult r;
    r.lowestpressure = p0;
    for (double t = dt; t <= 600.0 + 0.5 * dt; t += dt) {
        const EndNow in = endnow(1), out = endnow(2);
        if (t <= 300.0)
            loadbc(1, pass(in.pressure), t0, flow, 0, 1, 1);
        else
            loadbc(1, 50.5e5, t0, pass(in.massflow), 1, 1, 0);
        loadbc(2, pass(out.pressure), pass(out.temperature), flow, 0, 0, 1);
        transientpipes(&dt);
        const double inflow = Line::end(getbcmassflowrate, 1);
        const double first = line.profile(getpressure).front();
        r.record.push_back({t, inflow, first / 1e5});
        if (t > 300.0) {
            r.lowestpressure = std::min(r.lowestpressure, first);
            r.peakinflow = std::max(r.peakinflow, std::fabs(inflow));
        }
        if (Line::errorcode() == 3) {
            r.stopped = true;
            r.stoppedat = t;
            break;
        }
    }
    return r;
}

} // namespace validation
