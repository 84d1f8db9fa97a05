// The host loop: set the engine up from a scenario, step it through time and
// collect the end states, profiles, line pack, extremes and error codes.
#include "simulation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "choke.h"
#include "pelmora_realgas.h"

namespace pelmorarun {

namespace {

constexpr double pi = 3.14159265358979323846;

using RealGasHandle = std::unique_ptr<pelmora_realgas, decltype(&realgas_destroy)>;

double lowest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// The cell layout of the loaded network, read back from the engine.
struct Layout {
    int ncells = 0;
    std::vector<int> pipecells;          // cells per pipe
    std::vector<int> pipeofcell;         // pipe number (1-based) per cell
    std::vector<double> position;        // cell centre, m from the line's inlet
    std::vector<double> length;          // cell length, m
    std::vector<double> area;            // cell flow area, m2
    std::array<double, 2> enddiameter{}; // m, the end faces as the engine extrapolates them
};

class Host {
public:
    Host(const Engine& engine, const Scenario& scenario) : e_(engine), s_(scenario) {}

    Results run(const std::function<void(double)>& progress);

private:
    // 1. Set-up, in the engine's call order.
    void loadgas();
    void loadnetwork();
    void loadstart();
    // Boundary values for the end of a step ending at t, from the tables and
    // the end states `state` after the previous step (and, with `choke`, the
    // choke handling of pressure-held ends, which reads the cells too).
    void loadboundary(double t, const EndSample& state, const Profile& cells, bool choke);
    VentingEnd ventingend(std::size_t end, double tablepressure, const EndSample& state,
                          const Profile& cells) const;
    void recordchoke(std::size_t end, double t, const EndSample& after);
    // 2. Reading results.
    void readlayout();
    Profile profile(double t) const;
    EndSample endsfromengine(const Profile& p) const;
    EndSample endsfromcells(const Profile& p) const;
    double linepack() const;
    double massflowat(int end, double t, const EndSample& sample) const;
    void track(const Profile& p, const EndSample& ends);
    // 3. Error codes.
    int checkcode(double t, const std::string& call);
    void requireaccepted(const std::string& call);

    const Engine& e_;
    const Scenario& s_;
    Results r_;
    Layout layout_;
    RealGasHandle realgas_{nullptr, &realgas_destroy};
    EndSample start_; // the end cells of the starting state
    double cp_ = 0;   // J/(kg K) of the gas as loaded
    // Per end: the pressure passed for the end of the last step, what the
    // choke handling decided for the coming step, and the spell of
    // r_.chokes it extends (-1: none).
    std::array<double, 2> imposed_{};
    std::array<ChokeDecision, 2> decision_{};
    std::array<double, 2> tablepressure_{};
    std::array<long, 2> spell_{-1, -1};
};

void Host::loadgas()
{
    GasConstants c;
    try {
        c = gasconstants(s_);
    } catch (const ScenarioError& e) {
        throw RunError(e.what());
    }
    int32_t model = 0;
    if (s_.gas.real) {
        realgas_.reset(realgas_create(s_.gas.realgas.molefractions.data()));
        if (!realgas_)
            throw RunError("gas.composition: the real-gas provider refused it");
        model = 2;
    }
    e_.loadfluid(realgas_.get(), realgas_pt, realgas_rhoe, realgas_ph, &c.molweight, &c.gamma,
                 &c.viscosity, &c.compressibility, &model);
    requireaccepted("loadfluid");
    r_.molweight = c.molweight;
    r_.gamma = c.gamma;
    r_.compressibility = c.compressibility;
    r_.realgas = s_.gas.real;
    cp_ = c.gamma * c.gasconstant() / (c.gamma - 1.0);
}

void Host::loadnetwork()
{
    const auto n = s_.pipes.size();
    std::vector<double> length(n), din(n), dout(n), incl(n), rough(n), cell(n), amb(n), htc(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Pipe& p = s_.pipes[i];
        length[i] = p.length;
        din[i] = p.inletdiameter;
        dout[i] = p.outletdiameter;
        incl[i] = p.inclination;
        rough[i] = p.roughness;
        cell[i] = p.celllength;
        amb[i] = p.ambienttemperature;
        htc[i] = p.heattransfercoefficient;
        r_.linelength += p.length;
    }
    const auto npipes = static_cast<int32_t>(n);
    e_.loadpipedata(&npipes, length.data(), din.data(), dout.data(), incl.data(), rough.data(),
                    cell.data());
    requireaccepted("loadpipedata");
    e_.loadwalldata(amb.data(), htc.data());
    requireaccepted("loadwalldata");
    if (s_.maxtimestep > 0) {
        e_.maxtimestep(&s_.maxtimestep);
        requireaccepted("maxtimestep");
    }
    readlayout();
}

void Host::loadstart()
{
    const StartState& st = s_.start;
    if (st.steady) {
        int32_t status = -1;
        e_.steadystate(st.mode, st.a, st.b, st.c, &status);
        r_.steadystatus = status;
        checkcode(0, "steadystate");
        if (status != 0) {
            static const char* meaning[] = {
                "found",
                "the pipe diameters are not all equal",
                "the mode is outside 1..6 or the engine refused the call",
                "the starting Mach number exceeds 1 or the mass-flow sign does not fit the mode",
                "the Mach number exceeds 1 inside the line",
                "the pressure fell to 0 or the search did not converge"};
            throw RunError("initial: the steady state was not found (status " +
                           std::to_string(status) + ": " +
                           (status >= 0 && status <= 5 ? meaning[status] : "unknown") + ")");
        }
    } else {
        e_.loadinitialconditions(st.pressure.data(), st.temperature.data(), st.massflow.data());
        requireaccepted("loadinitialconditions");
    }
    // The end cells of the starting state stand in for the end states until
    // the first step has computed them.
    start_ = endsfromcells(profile(0));
}

void Host::loadboundary(double t, const EndSample& state, const Profile& cells, bool choke)
{
    for (std::size_t i = 0; i < 2; ++i) {
        const EndTable& table = s_.ends[i];
        const EndValues want = valuesat(table, t);
        // A quantity the end does not impose gets its current value at the
        // end, never a placeholder: the engine stores it, and a later switch
        // of control ramps from it (docs/validation.md#control-switch).
        EndValues v{state.pressure[i], state.temperature[i], state.massflow[i]};
        if (table.pressurefixed)
            v.pressure = want.pressure;
        if (table.temperaturefixed)
            v.temperature = want.temperature;
        if (table.massflowfixed)
            v.massflow = want.massflow;
        decision_[i] = ChokeDecision{};
        tablepressure_[i] = v.pressure;
        if (table.pressurefixed && choke) {
            const auto approx = [&](double temperature, double diameter, double flow) {
                double p = 0;
                e_.approxchokepressure(temperature, diameter, flow, &p);
                return checkcode(t, "approxchokepressure") == 3 ? 0.0 : p;
            };
            decision_[i] =
                chokedend(ventingend(i, v.pressure, state, cells), r_.gamma, cp_, approx);
            v.pressure = decision_[i].pressure;
        }
        imposed_[i] = v.pressure;
        e_.loadbc(static_cast<int32_t>(i + 1), v.pressure, v.temperature, v.massflow,
                  table.pressurefixed ? 1 : 0, table.temperaturefixed ? 1 : 0,
                  table.massflowfixed ? 1 : 0);
    }
}

VentingEnd Host::ventingend(std::size_t end, double tablepressure, const EndSample& state,
                            const Profile& cells) const
{
    // Gas leaves through the outlet with a positive flow, through the inlet
    // with a negative one.
    const std::size_t cell = end == 0 ? 0 : cells.pressure.size() - 1;
    VentingEnd v;
    v.tablepressure = tablepressure;
    v.lastimposed = imposed_[end];
    v.outflow = end == 0 ? -state.massflow[end] : state.massflow[end];
    v.temperature = state.temperature[end];
    v.diameter = layout_.enddiameter[end];
    v.cellpressure = cells.pressure[cell];
    v.celltemperature = cells.temperature[cell];
    v.cellspeed = std::abs(cells.velocity[cell]);
    return v;
}

void Host::recordchoke(std::size_t end, double t, const EndSample& after)
{
    const ChokeDecision& d = decision_[end];
    if (!d.choked && !d.opening) {
        spell_[end] = -1;
        return;
    }
    if (spell_[end] < 0) {
        spell_[end] = static_cast<long>(r_.chokes.size());
        ChokeSpell fresh;
        fresh.end = static_cast<int>(end);
        fresh.from = t;
        fresh.tablepressuremin = tablepressure_[end];
        r_.chokes.push_back(fresh);
    }
    ChokeSpell& c = r_.chokes[static_cast<std::size_t>(spell_[end])];
    const double outflow = end == 0 ? -after.massflow[end] : after.massflow[end];
    c.to = t;
    (d.choked ? c.hoststeps : c.openingsteps) += 1;
    c.massflowmax = std::max(c.massflowmax, outflow);
    c.massflowlast = outflow;
    c.pressuremax = std::max(c.pressuremax, d.pressure);
    c.tablepressuremin = std::min(c.tablepressuremin, tablepressure_[end]);
}

void Host::readlayout()
{
    // 1. Counts.
    int32_t nvars = 0, ncells = 0, nfaces = 0, npipes = 0;
    e_.getshape(&nvars, &ncells, &nfaces, &npipes);
    layout_.ncells = ncells;
    r_.ncells = ncells;
    // 2. Cell centres and lengths from the geometry exchange.
    std::vector<double> coefficients(static_cast<std::size_t>(std::max(nvars, 1)) * 6);
    std::vector<double> faces(static_cast<std::size_t>(nfaces) * 3);
    std::vector<double> cells(static_cast<std::size_t>(ncells) * 3);
    int32_t currentcell, currentface, atinlet, atoutlet;
    double simtime;
    const std::size_t nv = static_cast<std::size_t>(nvars);
    const std::size_t nf = static_cast<std::size_t>(nfaces);
    const std::size_t nc = static_cast<std::size_t>(ncells);
    e_.gethyperparams(&nvars, &ncells, &nfaces, &currentcell, &currentface, &atinlet, &atoutlet,
                      &simtime, &coefficients[0], &coefficients[nv], &coefficients[2 * nv],
                      &coefficients[3 * nv], &coefficients[4 * nv], &coefficients[5 * nv],
                      faces.data(), faces.data() + nf, faces.data() + 2 * nf, cells.data(),
                      cells.data() + nc, cells.data() + 2 * nc);
    layout_.length.assign(cells.begin() + static_cast<std::ptrdiff_t>(nc),
                          cells.begin() + static_cast<std::ptrdiff_t>(2 * nc));
    // 3. Cells per pipe, flow areas from the diameters, and positions from
    //    the line's inlet (the engine counts cell centres from the inlet of
    //    each pipe); the end faces extrapolated from the two cells next to
    //    them, as the engine does.
    std::vector<double> diameter;
    double pipestart = 0;
    for (int32_t p = 1; p <= npipes; ++p) {
        int32_t n = 0;
        e_.getnumberofcells(p, &n);
        layout_.pipecells.push_back(n);
        std::vector<double> d(static_cast<std::size_t>(n));
        e_.getdiameter(p, d.data());
        for (double di : d) {
            layout_.position.push_back(cells[layout_.position.size()] + pipestart);
            layout_.area.push_back(0.25 * pi * di * di);
            layout_.pipeofcell.push_back(p);
            diameter.push_back(di);
        }
        pipestart += s_.pipes[static_cast<std::size_t>(p - 1)].length;
    }
    if (diameter.size() >= 2) {
        const std::size_t last = diameter.size() - 1;
        layout_.enddiameter = {1.5 * diameter[0] - 0.5 * diameter[1],
                               1.5 * diameter[last] - 0.5 * diameter[last - 1]};
    }
    checkcode(0, "the geometry queries");
}

Profile Host::profile(double t) const
{
    Profile p;
    p.time = t;
    p.pipe = layout_.pipeofcell;
    p.position = layout_.position;
    const std::size_t n = static_cast<std::size_t>(layout_.ncells);
    for (auto* v : {&p.pressure, &p.temperature, &p.massflow, &p.density, &p.velocity, &p.mach}) {
        v->assign(n, 0.0);
    }
    std::size_t first = 0;
    for (std::size_t k = 0; k < layout_.pipecells.size(); ++k) {
        const auto pipe = static_cast<int32_t>(k + 1);
        e_.getpressure(pipe, &p.pressure[first]);
        e_.gettemperature(pipe, &p.temperature[first]);
        e_.getmassflowrate(pipe, &p.massflow[first]);
        e_.getdensity(pipe, &p.density[first]);
        e_.getvelocity(pipe, &p.velocity[first]);
        e_.getmachnumber(pipe, &p.mach[first]);
        first += static_cast<std::size_t>(layout_.pipecells[k]);
    }
    return p;
}

EndSample Host::endsfromengine(const Profile& p) const
{
    EndSample s;
    s.time = p.time;
    for (int end = 1; end <= 2; ++end) {
        const auto i = static_cast<std::size_t>(end - 1);
        const std::size_t cell = end == 1 ? 0 : p.pressure.size() - 1;
        s.cellpressure[i] = p.pressure[cell];
        s.celltemperature[i] = p.temperature[cell];
        e_.getbcpressure(end, &s.pressure[i]);
        e_.getbctemperature(end, &s.temperature[i]);
        e_.getbcmassflowrate(end, &s.massflow[i]);
        e_.getbcdensity(end, &s.density[i]);
        e_.getbcvelocity(end, &s.velocity[i]);
        e_.getbcmachnumber(end, &s.mach[i]);
    }
    return s;
}

EndSample Host::endsfromcells(const Profile& p) const
{
    // Before the first step the engine's end states may be unset; the first
    // and last cells stand in for them.
    EndSample s;
    s.time = p.time;
    const std::size_t last = p.pressure.size() - 1;
    for (std::size_t end = 0; end < 2; ++end) {
        const std::size_t i = end == 0 ? 0 : last;
        s.pressure[end] = p.pressure[i];
        s.temperature[end] = p.temperature[i];
        s.massflow[end] = p.massflow[i];
        s.density[end] = p.density[i];
        s.velocity[end] = p.velocity[i];
        s.mach[end] = p.mach[i];
        s.cellpressure[end] = p.pressure[i];
        s.celltemperature[end] = p.temperature[i];
    }
    return s;
}

double Host::linepack() const
{
    // Mass in the line: the sum over cells of rho A dx. The conserved
    // variables hold the state at the end of the step (the cell arrays that
    // the profile queries copy were derived at the start of its last stage),
    // and the first of them per cell is rho A.
    const std::size_t n = static_cast<std::size_t>(layout_.ncells);
    std::vector<double> previous(3 * n), current(3 * n);
    e_.getuhistory(previous.data(), current.data());
    double mass = 0;
    for (std::size_t i = 0; i < n; ++i)
        mass += current[i] * layout_.length[i];
    return mass;
}

double Host::massflowat(int end, double t, const EndSample& sample) const
{
    // Through an end with imposed mass flow the engine ramps the table value
    // linearly over the step, so the table is exact; elsewhere the end state.
    const auto i = static_cast<std::size_t>(end);
    if (!s_.ends[i].massflowfixed)
        return sample.massflow[i];
    return valuesat(s_.ends[i], t).massflow;
}

void Host::track(const Profile& p, const EndSample& ends)
{
    const double t = p.time;
    for (std::size_t i = 0; i < p.pressure.size(); ++i) {
        r_.maxpressure.above(p.pressure[i], t);
        r_.minpressure.below(p.pressure[i], t);
        r_.maxtemperature.above(p.temperature[i], t);
        r_.mintemperature.below(p.temperature[i], t);
        r_.maxmach.above(p.mach[i], t);
    }
    for (std::size_t end = 0; end < 2; ++end) {
        r_.endmaxpressure[end].above(ends.pressure[end], t);
        r_.endminpressure[end].below(ends.pressure[end], t);
        r_.endmaxflow[end].above(ends.massflow[end], t);
        r_.endminflow[end].below(ends.massflow[end], t);
        r_.endmaxmach[end].above(ends.mach[end], t);
    }
}

int Host::checkcode(double t, const std::string& call)
{
    int32_t code = 0;
    e_.geterrorcode(&code);
    if (code != 0) {
        CodeRecord& c = r_.codes[code];
        if (c.count == 0) {
            c.first = t;
            c.firstcall = call;
        }
        ++c.count;
        c.last = t;
    }
    return code;
}

void Host::requireaccepted(const std::string& call)
{
    if (checkcode(0, call) == 3) {
        throw RunError("the engine refused " + call +
                       " (code 3): the scenario's values are "
                       "not usable for it");
    }
}

Results Host::run(const std::function<void(double)>& progress)
{
    const auto started = std::chrono::steady_clock::now();
    // 1. Gas, network, wall, step limit, starting state.
    loadgas();
    loadnetwork();
    loadstart();
    // 2. Boundary values at time 0, taken as both previous and current, and
    //    the optional settling march under them.
    loadboundary(0.0, start_, Profile{}, false);
    requireaccepted("loadbc");
    if (s_.start.settletime > 0) {
        double elapsed = 0;
        e_.steadypipes(&s_.start.settletime, &elapsed);
        if (checkcode(0, "steadypipes") == 3)
            throw RunError("the engine stopped the settling march (code 3)");
    }
    Profile start = profile(0.0);
    r_.linepackstart = linepack();
    EndSample previous = endsfromcells(start);
    previous.linepack = r_.linepackstart;
    previous.lowesttemperature = lowest(start.temperature);
    r_.series.push_back(previous);
    Profile last = start;
    track(start, previous);
    std::size_t nextprofile = 0;
    auto takeprofiles = [&](const Profile& p) {
        while (nextprofile < s_.output.profiletimes.size() &&
               s_.output.profiletimes[nextprofile] <= p.time + 1e-9 * s_.endtime) {
            Profile copy = p;
            copy.time = s_.output.profiletimes[nextprofile];
            r_.profiles.push_back(std::move(copy));
            ++nextprofile;
        }
    };
    takeprofiles(start);

    // 3. Host steps: each ends on the next host-step boundary, profile time
    //    or the end time, whichever comes first.
    double t = 0;
    r_.completed = true;
    while (t < s_.endtime * (1 - 1e-12)) {
        double target = std::min(t + s_.timestep, s_.endtime);
        if (nextprofile < s_.output.profiletimes.size() &&
            s_.output.profiletimes[nextprofile] > t) {
            target = std::min(target, s_.output.profiletimes[nextprofile]);
        }
        double dt = target - t;
        loadboundary(target, previous, last, true);
        e_.transientpipes(&dt);
        const int code = checkcode(target, "transientpipes");
        t = target;
        ++r_.hoststeps;

        const Profile now = profile(t);
        EndSample ends = endsfromengine(now);
        r_.linepackend = linepack();
        ends.linepack = r_.linepackend;
        ends.lowesttemperature = lowest(now.temperature);
        for (std::size_t end = 0; end < 2; ++end)
            recordchoke(end, t, ends);
        r_.massin +=
            0.5 * (massflowat(0, target - dt, previous) + massflowat(0, target, ends)) * dt;
        r_.massout +=
            0.5 * (massflowat(1, target - dt, previous) + massflowat(1, target, ends)) * dt;
        r_.series.push_back(ends);
        track(now, ends);
        takeprofiles(now);
        previous = ends;
        last = now;
        if (progress)
            progress(t);
        if (code == 3) {
            r_.completed = false;
            r_.stopreason =
                "the engine cut transientpipes short with code 3 at t = " + std::to_string(t) +
                " s (non-physical state)";
            break;
        }
    }
    if (r_.hoststeps == 0)
        r_.linepackend = r_.linepackstart;
    r_.simulated = t;
    r_.walltime = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return r_;
}

} // namespace

Results runscenario(const Engine& engine, const Scenario& scenario,
                    const std::function<void(double)>& progress)
{
    Host host(engine, scenario);
    return host.run(progress);
}

} // namespace pelmorarun
