// Cell state update: the primitive state of every cell from its conserved
// variables (A rho, rho u, rho E), the density floor, and the change measures
// that the steady pipe march reduces to its convergence test.
//
// Two paths compute the same values. The host gas model evaluates every cell
// through fluidstate, which calls the host's routine once per cell in cell
// order, as the host may count on. The ideal gas has closed formulas, so its
// path writes them out inline (the same formulas, the same order of
// operations, the same floors and error code as fluidstate) in loops that
// vectorise.
#include "solver/vectorise.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/errors.h"
#include "fluid/fluid.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

// Flows whose magnitudes add up to no more than a trillionth of rho c A are
// rounding noise around zero.
constexpr double noisefraction = 1.0e-12;

// Relative deviation of a cell's mass flow from the first cell's. Two flows
// that are both rounding noise around zero count as equal: without this a
// gas at rest compares 1e-16 with -1e-16 and never looks steady.
inline double deviation(double mdot, double mfirst, double noisescale)
{
    const double sum = std::abs(mdot) + std::abs(mfirst);
    const double relative = std::abs(mdot - mfirst) / sum;
    return sum <= noisefraction * noisescale ? 0.0 : relative;
}

// ---- The ideal gas, inline -------------------------------------------------------------

struct IdealGas {
    double gamma, cv, viscosity;
};

// What the ideal-gas pass saw besides the values it stored: whether some
// cell's fluid state was raised to its floors, and whether some energy,
// enthalpy or viscosity was not finite (nonzero when so).
struct IdealFlags {
    std::int64_t floored = 0, nonfinite = 0;
};

// The mass flow that the cell update gives a cell: rho u A with the density
// floored, from the cell's conserved variables.
double cellmassflow(const double* conserved, double area)
{
    double rho = conserved[0] / area;
    rho = rho > cellmassdensityfloor ? rho : cellmassdensityfloor;
    const double u = conserved[1] / rho;
    return rho * u * area;
}

// The specific internal energy of the current fluid state after evaluating
// cell c: the value handed to the gas, or cv T where that is not finite.
double replacedenergy(const Store& s, std::int32_t c)
{
    const double e = s.internalenergy(c);
    return std::isfinite(e) ? e : s.cv * s.temperature(c);
}

// The cell update of n cells of the ideal gas, every value stored where it
// belongs (for CellArrays::forthestep, all but the change measures, Mach
// number and total energy). The same steps as the update through
// fluidstate; the fluid evaluation is that of the ideal gas at (rho, e)
// followed by the validation of fluidstate.
// mfirst is the mass flow of the range's first cell. (Conditions become
// numbers through selects of constants: the vectoriser takes those, not
// logical operators on comparisons, and no arithmetic sits inside a select.)
template <CellArrays arrays>
PELMORA_VECTORISED IdealFlags idealcells(
    std::int32_t n, IdealGas gas, double mfirst, double* __restrict conserved,
    const double* __restrict cellarea, double* __restrict velocity,
    double* __restrict densitychange, double* __restrict massflowrate,
    double* __restrict massflowdeviation, double* __restrict density,
    double* __restrict internalenergy, double* __restrict temperature,
    double* __restrict temperaturechange, double* __restrict enthalpy, double* __restrict viscosity,
    double* __restrict pressure, double* __restrict soundspeed, double* __restrict machnumber,
    double* __restrict totalenergy, double* __restrict totalenthalpy)
{
    constexpr double largest = std::numeric_limits<double>::max();
    const double gamma = gas.gamma, gammaminusone = gas.gamma - 1.0, cv = gas.cv;
    const double mu = gas.viscosity;
    std::int64_t floored = 0, nonfinite = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const double area = cellarea[i];
        // Density (floored), velocity, specific total energy.
        const double mass = conserved[3 * i];
        const double momentum = conserved[3 * i + 1];
        const double energy = conserved[3 * i + 2];
        double rho = mass / area;
        rho = rho > cellmassdensityfloor ? rho : cellmassdensityfloor;
        const double u = momentum / rho;
        const double etotal = energy / rho;
        velocity[i] = u;
        // The floored density in the conserved mass (the cell's column is
        // written whole, momentum and energy unchanged).
        conserved[3 * i] = area * rho;
        conserved[3 * i + 1] = momentum;
        conserved[3 * i + 2] = energy;
        // Internal energy, density change, mass flow and its deviation from
        // the first cell's.
        const double e = etotal - 0.5 * u * u;
        if constexpr (arrays == CellArrays::all)
            densitychange[i] = std::abs(rho - density[i]) / rho;
        const double mdot = rho * u * area;
        massflowrate[i] = mdot;
        // Ideal gas at (rho, e), then the floors of the validation: every
        // field that is not strictly above its floor is raised to it.
        const double h = e * gamma;
        const double p = gammaminusone * rho * e;
        const double T = e / cv;
        floored |= (p > pressurefloor ? 0 : 1) | (T > temperaturefloor ? 0 : 1) |
                   (rho > densityfloor ? 0 : 1);
        // An energy, enthalpy or viscosity that is not finite is replaced
        // after the floors (rare: see replacenonfinite below).
        nonfinite |= (std::abs(e) <= largest ? 0 : 1) | (std::abs(h) <= largest ? 0 : 1) |
                     (std::abs(mu) <= largest ? 0 : 1);
        const double pvalid = p > pressurefloor ? p : pressurefloor;
        const double Tvalid = T > temperaturefloor ? T : temperaturefloor;
        const double rhovalid = rho > densityfloor ? rho : densityfloor;
        const double c = std::sqrt(gamma * pvalid / rhovalid);
        // Stored state; pressure, temperature and sound speed as validated.
        density[i] = rho;
        internalenergy[i] = e;
        if constexpr (arrays == CellArrays::all)
            temperaturechange[i] = std::abs(Tvalid - temperature[i]) / Tvalid;
        temperature[i] = Tvalid;
        enthalpy[i] = h;
        viscosity[i] = mu;
        pressure[i] = pvalid;
        soundspeed[i] = c;
        // Derived quantities.
        totalenthalpy[i] = h + 0.5 * u * u;
        if constexpr (arrays == CellArrays::all) {
            machnumber[i] = std::abs(u) / c;
            totalenergy[i] = e + 0.5 * u * u;
            massflowdeviation[i] = deviation(mdot, mfirst, rho * c * area);
        }
    }
    return IdealFlags{floored, nonfinite};
}

// fluidstate replaces an energy, enthalpy or viscosity that is not finite
// (after the floors: energy cv T, enthalpy e + p / rho, the gas's
// viscosity) and reports it like a floor. The stored internal energy stays
// the value handed to the gas; the enthalpy, and so the total enthalpy,
// take the replacement. Done one cell at a time, for the rare range where
// the pass saw such a value.
void replacenonfinite(Store& s, std::int32_t from, std::int32_t to)
{
    for (std::int32_t c = from; c <= to; ++c) {
        if (!std::isfinite(s.enthalpy(c))) {
            const double rho = s.density(c);
            const double rhovalid = rho > densityfloor ? rho : densityfloor;
            const double u = s.velocity(c);
            s.enthalpy(c) = replacedenergy(s, c) + s.pressure(c) / rhovalid;
            s.totalenthalpy(c) = s.enthalpy(c) + 0.5 * u * u;
        }
        if (!std::isfinite(s.viscosity(c)))
            s.viscosity(c) = s.idealviscosity;
    }
}

// The current fluid state as fluidstate leaves it after evaluating cell c.
void leavecurrentstate(Store& s, std::int32_t c)
{
    const double rho = s.density(c);
    FluidState f;
    f.pressure = s.pressure(c);
    f.temperature = s.temperature(c);
    f.density = rho > densityfloor ? rho : densityfloor;
    f.energy = replacedenergy(s, c);
    f.enthalpy = s.enthalpy(c);
    f.viscosity = s.viscosity(c);
    f.soundspeed = s.soundspeed(c);
    setcurrentfluidstate(s, f);
}

// Cells from..to of a range whose first cell has, or is about to get, the
// mass flow mfirst.
void updateidealcells(Store& s, std::int32_t from, std::int32_t to, double mfirst,
                      CellArrays arrays)
{
    const IdealGas gas{s.gamma, s.cv, s.idealviscosity};
    double* conserved = s.conserved.raw().data() + 3 * (from - 1);
    auto pass = arrays == CellArrays::all ? idealcells<CellArrays::all>
                                          : idealcells<CellArrays::forthestep>;
    const IdealFlags flags =
        pass(to - from + 1, gas, mfirst, conserved, s.cellarea.at(from), s.velocity.at(from),
             s.densitychange.at(from), s.massflowrate.at(from), s.massflowdeviation.at(from),
             s.density.at(from), s.internalenergy.at(from), s.temperature.at(from),
             s.temperaturechange.at(from), s.enthalpy.at(from), s.viscosity.at(from),
             s.pressure.at(from), s.soundspeed.at(from), s.machnumber.at(from),
             s.totalenergy.at(from), s.totalenthalpy.at(from));
    if (flags.nonfinite != 0)
        replacenonfinite(s, from, to);
    // fluidstate's error rule, cell after cell: a floored state sets code 1,
    // a valid one clears only a negative code.
    if (flags.floored != 0 || flags.nonfinite != 0)
        s.fluiderrorcode = codefluidfloor;
    else if (s.fluiderrorcode < 0)
        s.fluiderrorcode = 0;
    leavecurrentstate(s, to);
}

} // namespace

// ---- Any gas model: one fluidstate evaluation per cell ------------------------------

namespace {

// The loop of updatethroughfluidstate. The mass-flow deviation refers to
// mfirst, or to the cell's own flow for cell `first` and to that flow from
// then on.
void throughfluidstate(Store& s, std::int32_t first, std::int32_t from, std::int32_t to,
                       double mfirst)
{
    for (std::int32_t c = from; c <= to; ++c) {
        const double area = s.cellarea(c);
        // Density from the mass per unit length, floored (NaN included).
        double rho = s.conserved(1, c) / area;
        if (!(rho > cellmassdensityfloor))
            rho = cellmassdensityfloor;
        // Velocity and specific total energy.
        const double u = s.conserved(2, c) / rho;
        const double etotal = s.conserved(3, c) / rho;
        s.velocity(c) = u;
        // A floored density is reflected in the conserved mass.
        s.conserved(1, c) = area * rho;
        // Specific internal energy, density change against the previous
        // update, mass flow.
        const double e = etotal - 0.5 * u * u;
        s.densitychange(c) = std::abs(rho - s.density(c)) / rho;
        const double mdot = rho * u * area;
        s.massflowrate(c) = mdot;
        // The gas at (rho, e). The cell keeps the density and energy handed
        // to it, not its floored ones.
        const FluidState f = fluidstate(s, bydensityenergy, rho, e);
        s.density(c) = rho;
        s.internalenergy(c) = e;
        // Temperature and its change, the rest of the state.
        s.temperaturechange(c) = std::abs(f.temperature - s.temperature(c)) / f.temperature;
        s.temperature(c) = f.temperature;
        s.enthalpy(c) = f.enthalpy;
        s.viscosity(c) = f.viscosity;
        s.pressure(c) = f.pressure;
        s.soundspeed(c) = f.soundspeed;
        // Derived quantities.
        s.machnumber(c) = std::abs(u) / s.soundspeed(c);
        s.totalenergy(c) = e + 0.5 * u * u;
        s.totalenthalpy(c) = s.enthalpy(c) + 0.5 * u * u;
        // Deviation of the mass flow from the first cell of the range.
        if (c == first)
            mfirst = mdot;
        s.massflowdeviation(c) = deviation(mdot, mfirst, rho * s.soundspeed(c) * area);
    }
}

// The mass flow that the cell update is about to store for cell c, from its
// conserved variables.
double comingmassflow(const Store& s, std::int32_t c)
{
    return cellmassflow(s.conserved.raw().data() + 3 * (c - 1), s.cellarea(c));
}

} // namespace

void updatethroughfluidstate(Store& s, std::int32_t first, std::int32_t from, std::int32_t to)
{
    throughfluidstate(s, first, from, to, from == first ? 0.0 : s.massflowrate(first));
}

void updatecellrange(Store& s, std::int32_t first, std::int32_t from, std::int32_t to,
                     CellArrays arrays)
{
    if (to < from)
        return;
    if (s.fluidmodel == 2)
        updatethroughfluidstate(s, first, from, to);
    else
        updateidealcells(s, from, to,
                         from == first ? comingmassflow(s, first) : s.massflowrate(first), arrays);
}

void continuecellrange(Store& s, double mfirst, std::int32_t from, std::int32_t to,
                       CellArrays arrays)
{
    if (to < from)
        return;
    if (s.fluidmodel == 2)
        throughfluidstate(s, 0, from, to, mfirst);
    else
        updateidealcells(s, from, to, mfirst, arrays);
}

void updatecells(Store& s, std::int32_t first, std::int32_t last)
{
    updatecellrange(s, first, first, last);
}

GasRow cellrow(Store& s, std::int32_t c)
{
    return {&s.pressure(c),   &s.temperature(c), &s.density(c),      &s.internalenergy(c),
            &s.enthalpy(c),   &s.viscosity(c),   &s.soundspeed(c),   &s.velocity(c),
            &s.machnumber(c), &s.totalenergy(c), &s.totalenthalpy(c)};
}

} // namespace pelmora
