// Network steady state by face-by-face marching.
//
// The whole network, from the first cell of pipe 1 to the last cell of the
// last pipe, is treated as one duct of constant diameter. Starting from one
// end where pressure, temperature and mass flow are known, the steady
// balances of momentum and energy are integrated across one cell at a time,
// giving the state at the next face. Around that march (steadymarch),
// steadystate offers four searches by bisection for the one free boundary
// value (upstream pressure or mass flow) that makes the far-end pressure
// equal a required value.
//
// Faces and cells share their numbers: face k is the upstream face of cell
// k. The nine face arrays of a march live in s.marchfaces, sized when the
// network was loaded, so a march never touches the heap.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "drivers/drivers.h"
#include "engine/errors.h"
#include "fluid/fluid.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

// Largest difference between two cell diameters that still counts as one duct, m.
constexpr double uniformdiametertolerance = 1e-8;
// Iteration limits of one march step.
constexpr std::int32_t maximumstepiterations = 250;
constexpr std::int32_t relaxationhalvingiteration = 50;
constexpr double steptolerance = 1e-8;
// Below this mass flow (kg/s) the energy balance carries no information and
// the temperature follows the no-flow rule.
constexpr double noflowmassflow = 1e-6;
// Temperatures (K) outside which a trial temperature is not trusted.
constexpr double lowesttrialtemperature = 1.0;
constexpr double highesttrialtemperature = 100000.0;
// Bisection of the iterative modes.
constexpr std::int32_t maximumtrials = 100;
constexpr double searchtolerance = 1e-6;
constexpr double initialmassflowtrial = 500.0;  // kg/s
constexpr double largestmassflowtrial = 1000.0; // kg/s
constexpr double lowestpressurefactor = 0.001;
constexpr double highestpressurefactor = 1000.0;

// ---------------------------------------------------------------------------
// Geometry of the duct
// ---------------------------------------------------------------------------

std::int32_t ductfirstcell(const Store& s) { return s.firstcell(1); }
std::int32_t ductlastcell(const Store& s) { return s.lastcell(s.numberofpipes); }

// True when every cell has the diameter of the first cell (within 1e-8 m).
bool ductisuniform(const Store& s)
{
    const std::int32_t first = ductfirstcell(s);
    const std::int32_t last = ductlastcell(s);
    for (std::int32_t i = first; i <= last; ++i)
        if (std::abs(s.celldiameter(i) - s.celldiameter(first)) > uniformdiametertolerance)
            return false;
    return true;
}

// The one flow area used for every velocity of the march: the mean of the
// areas of the duct's two end cells.
double ductarea(const Store& s)
{
    return 0.5 * (s.cellarea(ductfirstcell(s)) + s.cellarea(ductlastcell(s)));
}

// ---------------------------------------------------------------------------
// Face and end states
// ---------------------------------------------------------------------------

// The march's face arrays at face k as a place to keep a gas state.
GasRow facerow(MarchFaces& F, std::int32_t k)
{
    return {&F.pressure(k),  &F.temperature(k), &F.density(k),  &F.energy(k),    &F.enthalpy(k),
            &F.viscosity(k), &F.soundspeed(k),  &F.velocity(k), &F.machnumber(k)};
}

// Copies the state of face k, with mass flow m, into the network end pair
// element `end`.
void copyfacetoend(Store& s, std::int32_t end, std::int32_t k, double m)
{
    networkendrow(s, end).store(facerow(s.marchfaces, k).load());
    s.bcmassflowrate(end) = m;
}

// True when a and b are the same double, bit for bit (NaN included).
bool samebits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Outcome of one march step.
enum class StepOutcome { converged, accepted, supersonic, nopressure };

// Crosses cell c from face k to face k' = k + d (d = +1 or -1): iterates
// the state at face k' until the momentum and energy balances over the cell
// hold. The state at face k is known.
StepOutcome marchstep(Store& s, std::int32_t k, std::int32_t d, std::int32_t c, double A, double m)
{
    MarchFaces& F = s.marchfaces;
    const std::int32_t knext = k + d;
    const GasRow farface = facerow(F, knext);
    const GasRow cell = cellrow(s, c);
    const double direction = static_cast<double>(d);
    const double dx = s.celllength(c);
    const double pk = F.pressure(k);
    const double Tk = F.temperature(k);
    const double rhok = F.density(k);
    const double uk = F.velocity(k);
    const double hk = F.enthalpy(k);
    const bool flowing = std::abs(m) > noflowmassflow;
    // The cell's inclination is the same in every iteration.
    const double sine = std::sin(s.cellinclination(c));

    // Start from the upstream face; with wall heat, start the temperature
    // half way to the surroundings.
    double ptrial = pk;
    double Ttrial = Tk;
    if (s.heattransfercoefficient(c) > 0.0)
        Ttrial = 0.5 * (Tk + s.ambienttemperature(c));
    double relaxation = 0.5;

    for (std::int32_t n = 1; n <= maximumstepiterations; ++n) {
        const double pbefore = ptrial;
        const double Tbefore = Ttrial;
        // State at the far face from the trial pressure and temperature.
        const GasState next = gasat(s, ptrial, Ttrial, m, A);
        farface.store(next);
        if (next.machnumber > 1.0)
            return StepOutcome::supersonic;
        const double rhonext = next.density;
        const double unext = next.velocity;

        // Cell state at the mean of the two faces, then its sources.
        cell.store(gasat(s, 0.5 * (pk + ptrial), 0.5 * (Tk + Ttrial), m, A));
        const double f = cellfriction(s, c);
        const CellSources q = marchsources(s, c, f, sine);

        // Momentum balance over the cell gives the far-face pressure (each
        // face's momentum flux rho u^2 formed as (rho u) u, as everywhere).
        const double pnew =
            (direction * dx * q.momentum) + rhok * uk * uk - rhonext * unext * unext + pk;
        if (pnew <= 0.0)
            return StepOutcome::nopressure;

        // Energy balance over the cell gives the far-face enthalpy.
        double hnew = 0.0;
        if (flowing)
            hnew = direction * dx * (A / m) * q.energy + hk + (uk * uk - unext * unext) * 0.5;

        // Relax the pressure by one half.
        const double dp = pnew - ptrial;
        ptrial = ptrial + 0.5 * dp;
        F.pressure(knext) = ptrial;
        s.pressure(c) = 0.5 * (pk + ptrial);

        // Temperature: from the energy balance when gas flows, otherwise
        // the upstream or surrounding temperature.
        bool temperatureconverged = true;
        if (flowing) {
            const double Tstar = fluidstate(s, bypressureenthalpy, pnew, hnew).temperature;
            const double Told = Ttrial;
            if (Ttrial > highesttrialtemperature || Ttrial < lowesttrialtemperature) {
                relaxation = relaxation * 0.5;
            } else {
                if (n == relaxationhalvingiteration)
                    relaxation = relaxation * 0.5;
                Ttrial = Ttrial + relaxation * (Tstar - Ttrial);
            }
            temperatureconverged = std::abs((Tstar - Told) / Tstar) <= steptolerance;
        } else if (s.heattransfercoefficient(c) == 0.0) {
            Ttrial = Tk;
        } else {
            const std::int32_t cnext = std::min(c + 1, s.totalcells);
            Ttrial = 0.5 * (s.ambienttemperature(c) + s.ambienttemperature(cnext));
        }
        F.temperature(knext) = Ttrial;
        s.temperature(c) = 0.5 * (Tk + Ttrial);

        // Done when both the pressure and the temperature have settled.
        if (std::abs(dp / pnew) <= steptolerance && temperatureconverged)
            return StepOutcome::converged;
        // An iteration that left both trial values exactly as they were (a
        // state that is not a number, a temperature outside the trusted
        // range, which never moves) does so every time: the relaxation only
        // shrinks, and the gas answers the same to the same arguments. The
        // iterations still to come would repeat it and write the same
        // values, so the step ends unconverged now.
        if (samebits(ptrial, pbefore) && samebits(Ttrial, Tbefore))
            break;
    }

    // No convergence: accept the step; an adiabatic cell takes the
    // surrounding temperature at its far face.
    if (s.heattransfercoefficient(c) == 0.0) {
        F.temperature(knext) = s.ambienttemperature(c);
        s.temperature(c) = 0.5 * (Tk + s.ambienttemperature(c));
    }
    return StepOutcome::accepted;
}

// ---------------------------------------------------------------------------
// Writing the result
// ---------------------------------------------------------------------------

// Every cell from the mean of its two faces, with its conserved variables,
// and the base level as an exact copy.
void writecells(Store& s, double A, double m)
{
    const MarchFaces& F = s.marchfaces;
    const std::int32_t ncells = ductlastcell(s) - ductfirstcell(s) + 1;
    for (std::int32_t i = 1; i <= ncells; ++i) {
        s.massflowrate(i) = m;
        const GasState g = gasat(s, 0.5 * (F.pressure(i) + F.pressure(i + 1)),
                                 0.5 * (F.temperature(i) + F.temperature(i + 1)), m, A);
        cellrow(s, i).store(g);
        s.conserved(1, i) = A * g.density;
        s.conserved(2, i) = m / A;
        s.conserved(3, i) = g.density * g.totalenergy;
    }
    // Same shape as conserved since the load, so this copies in place.
    s.previousconserved = s.conserved;
}

// Boundary values of every pipe from the faces at its two ends.
void writepipeboundaries(Store& s, double m)
{
    const MarchFaces& F = s.marchfaces;
    for (std::int32_t j = 1; j <= s.numberofpipes; ++j) {
        const std::int32_t inletface = s.firstcell(j);
        const std::int32_t outletface = s.lastcell(j) + 1;
        s.inletmassflow(j) = m;
        s.outletmassflow(j) = m;
        s.inletpressure(j) = F.pressure(inletface);
        s.inlettemperature(j) = F.temperature(inletface);
        s.outletpressure(j) = F.pressure(outletface);
        s.outlettemperature(j) = F.temperature(outletface);
    }
}

// ---------------------------------------------------------------------------
// Bisection of the iterative modes
// ---------------------------------------------------------------------------

// What a search varies and which march it runs.
struct Search {
    bool onpressure;       // the upstream pressure, or else the mass flow
    std::int32_t startend; // the end the march starts from
    double trial;          // pressure (Pa) or signed mass flow (kg/s)
    double lower, upper;   // bracket on the pressure, or on abs(mass flow)
    double target;         // required far-end pressure, Pa
    double pressure;       // march pressure when the mass flow is searched
    double temperature;    // march temperature
    double massflow;       // march mass flow when the pressure is searched
};

// The far-end pressure the latest march reached.
double achievedpressure(const Store& s, const Search& q)
{
    return q.startend == PELMORA_INLET ? s.bcpressure(PELMORA_OUTLET) : s.bcpressure(PELMORA_INLET);
}

std::int32_t runtrial(Store& s, const Search& q)
{
    if (q.onpressure)
        return steadymarch(s, q.startend, q.trial, q.temperature, q.massflow);
    return steadymarch(s, q.startend, q.pressure, q.temperature, q.trial);
}

// abs(x) replaced by `size`, keeping the sign of x.
double withsignof(double x, double size) { return x < 0.0 ? -size : size; }

// A trial whose march failed is infeasible: a higher upstream pressure, or a
// smaller mass flow, is needed.
void narrowafterfailure(Search& q)
{
    if (q.onpressure) {
        q.lower = std::max(q.lower, q.trial);
        q.trial = 0.5 * (q.lower + q.upper);
    } else {
        q.upper = std::min(q.upper, std::abs(q.trial));
        q.trial = withsignof(q.trial, 0.5 * (q.lower + q.upper));
    }
}

// Narrows the bracket after a march that reached the far end with error E.
// Returns true when the bracket itself says the search is done.
bool narrowafterreach(Search& q, double error)
{
    if (q.onpressure) {
        if (error > 0.0)
            q.upper = std::min(q.upper, q.trial);
        if (error < 0.0)
            q.lower = std::max(q.lower, q.trial);
        if (std::abs(error) / q.upper < searchtolerance)
            return true;
        q.trial = 0.5 * (q.upper + q.lower);
        return false;
    }
    if (error > 0.0)
        q.lower = std::max(q.lower, std::abs(q.trial));
    if (error < 0.0)
        q.upper = std::min(q.upper, std::abs(q.trial));
    const double mid = 0.5 * (q.lower + q.upper);
    const double width = std::abs((q.upper - q.lower) / q.upper);
    if (width < searchtolerance)
        return true;
    q.trial = withsignof(q.trial, mid);
    return false;
}

// Bisects on the trial until the far-end pressure meets the target. Each
// trial is one march: a duct that is not uniform ends the search; a march
// that fails narrows the bracket towards feasible trials; a march that
// reaches the far end narrows it by the sign of the error, and a bracket
// that has closed ends the search. At most 100 trials; a far-end pressure
// within 1e-6 of the target ends the search and clears bcloaded, so the
// host's next loadbc starts without a ramp. A bracket that gives the same
// trial again (closed to one double, or reaching infinity) would repeat that
// march until the 100th trial: the search fails at once, the store as that
// march left it.
std::int32_t bisect(Store& s, Search& q)
{
    std::int32_t trials = 0;
    for (;;) {
        const double tried = q.trial;
        const std::int32_t status = runtrial(s, q);
        if (status == steadynotuniform)
            return steadynotuniform;
        if (status != steadyfound) {
            narrowafterfailure(q);
            ++trials;
            if (trials >= maximumtrials || samebits(q.trial, tried))
                return steadyfailed;
            continue;
        }
        const double error = achievedpressure(s, q) - q.target;
        if (narrowafterreach(q, error))
            return steadyfound;
        ++trials;
        if (trials >= maximumtrials)
            return steadyfailed;
        if (std::abs(error) / q.target <= searchtolerance) {
            s.bcloaded(1) = logicalfalse;
            s.bcloaded(2) = logicalfalse;
            return steadyfound;
        }
        if (samebits(q.trial, tried))
            return steadyfailed;
    }
}

// Set-up of the searches for the upstream pressure: the mass flow c decides
// which end is upstream.
Search pressuresearch(double a, double b, double c)
{
    Search q{};
    q.onpressure = true;
    q.startend = c >= 0.0 ? PELMORA_INLET : PELMORA_OUTLET;
    q.trial = a;
    q.lower = lowestpressurefactor * a;
    q.upper = highestpressurefactor * a;
    q.target = a;
    q.temperature = b;
    q.massflow = c;
    return q;
}

// Set-up of the searches for the mass flow: a forward flow marches from
// the inlet, a reverse flow from the outlet.
Search massflowsearch(bool forward, double a, double b, double c)
{
    Search q{};
    q.onpressure = false;
    q.startend = forward ? PELMORA_INLET : PELMORA_OUTLET;
    q.trial = forward ? initialmassflowtrial : -initialmassflowtrial;
    q.lower = 0.0;
    q.upper = largestmassflowtrial;
    q.target = c;
    q.pressure = a;
    q.temperature = b;
    return q;
}

// True when every array the march reads or writes covers the cells and faces
// it works on. After a load this always holds; a host restoring a saved state
// may have stored counts and pipe ranges of its own.
bool marcharraysfit(const Store& s)
{
    const MarchFaces& F = s.marchfaces;
    for (const Array1<double>* a : {&F.pressure, &F.temperature, &F.density, &F.energy, &F.enthalpy,
                                    &F.soundspeed, &F.viscosity, &F.velocity, &F.machnumber})
        if (a->size() < s.totalcells + std::int64_t{1})
            return false;
    return arraysholdcounts(s);
}

// True when the store holds a gas and a network of at least one cell whose
// pipes run from cell 1 to the last cell, with arrays that fit.
bool canmarch(const Store& s)
{
    if (!s.networkloaded || !s.fluidloaded || s.numberofpipes < 1 || s.totalcells < 1)
        return false;
    if (!marcharraysfit(s))
        return false;
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p)
        if (!haspipecells(s, p, s.totalcells))
            return false;
    return s.firstcell(1) == 1 && s.lastcell(s.numberofpipes) == s.totalcells;
}

} // namespace

// March from one end of the network to the other. A store the march
// cannot work on is refused (pipe code 3), a duct whose cells differ in
// diameter too (nothing written). The starting face is evaluated and copied
// into the starting end's network values, and a supersonic start ends the
// march there; then the cells are crossed one by one (a supersonic face or
// a pressure at or below 0 ends the march at that step). Last, every cell,
// both conserved levels, the boundary values of every pipe and the far
// end's network values are written.
std::int32_t steadymarch(Store& s, std::int32_t startend, double p0, double T0, double m)
{
    if (!canmarch(s)) {
        refusepipe(s);
        return steadybadmode;
    }
    if (startend != PELMORA_INLET && startend != PELMORA_OUTLET)
        return steadybadmode;
    if (!ductisuniform(s))
        return steadynotuniform;

    const bool forward = startend == PELMORA_INLET;
    const std::int32_t nfaces = ductlastcell(s) - ductfirstcell(s) + 2;
    const double A = ductarea(s);
    const std::int32_t d = forward ? 1 : -1;
    const std::int32_t startface = forward ? 1 : nfaces;
    const std::int32_t farend = forward ? PELMORA_OUTLET : PELMORA_INLET;
    const std::int32_t farface = forward ? nfaces : 1;

    // The starting face keeps the evaluated pressure and temperature, also
    // where the evaluation raised them to their floors.
    facerow(s.marchfaces, startface)
        .store(moving(fluidstate(s, bypressuretemperature, p0, T0), m, A));
    copyfacetoend(s, startend, startface, m);
    if (s.bcmachnumber(startend) > 1.0)
        return steadysupersonicstart;

    for (std::int32_t step = 0; step < nfaces - 1; ++step) {
        const std::int32_t k = startface + d * step;
        const std::int32_t c = forward ? k : k - 1;
        s.currentcell = c;
        const StepOutcome outcome = marchstep(s, k, d, c, A, m);
        if (outcome == StepOutcome::supersonic)
            return steadysupersonicduct;
        if (outcome == StepOutcome::nopressure)
            return steadyfailed;
        if (outcome == StepOutcome::accepted)
            s.pipeerrorcode = std::max<std::int32_t>(s.pipeerrorcode, codemarchunconverged);
    }

    writecells(s, A, m);
    writepipeboundaries(s, m);
    copyfacetoend(s, farend, farface, m);
    return steadyfound;
}

// Steady state of the network in one of six modes (see pelmora.h).
std::int32_t steadystate(Store& s, std::int32_t mode, double a, double b, double c)
{
    if (!canmarch(s) || !std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) {
        refusepipe(s);
        return steadybadmode;
    }
    switch (mode) {
    case PELMORA_MARCH_FROM_INLET:
        return steadymarch(s, PELMORA_INLET, a, b, c);
    case PELMORA_MARCH_FROM_OUTLET:
        return steadymarch(s, PELMORA_OUTLET, a, b, c);
    case PELMORA_FIND_PRESSURE_FORWARD:
    case PELMORA_FIND_PRESSURE_REVERSE: {
        const bool forward = mode == PELMORA_FIND_PRESSURE_FORWARD;
        if ((forward && c < 0.0) || (!forward && c > 0.0))
            return steadysupersonicstart;
        Search q = pressuresearch(a, b, c);
        return bisect(s, q);
    }
    case PELMORA_FIND_FLOW_FORWARD:
    case PELMORA_FIND_FLOW_REVERSE: {
        Search q = massflowsearch(mode == PELMORA_FIND_FLOW_FORWARD, a, b, c);
        return bisect(s, q);
    }
    default:
        return steadybadmode;
    }
}

} // namespace pelmora
