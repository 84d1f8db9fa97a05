// Gas description, evaluation of a state of the gas, and the gas moving
// through a duct.
//
// Two property models exist. The built-in ideal gas has a constant ratio of
// specific heats, compressibility factor and viscosity:
//     p = (cp - cv) rho T = (gamma - 1) rho e,   e = cv T,   h = cp T.
// The host model hands every evaluation to one of three routines that the
// host supplied; the host works in kPa, degrees Celsius, kJ/kg and
// centipoise, and the adapters below convert on the way in and out.
// Whatever model is used, the result is validated against physical floors
// and the sound speed is recomputed by the engine.
#include "fluid/fluid.h"

#include <cmath>
#include <utility>

#include "engine/errors.h"

namespace pelmora {

namespace {

bool positivefinite(double x) { return std::isfinite(x) && x > 0.0; }

// ---- Ideal-gas model ---------------------------------------------------------

void idealbypressuretemperature(const Store& s, FluidState& f)
{
    const double T = f.temperature;
    f.density = f.pressure / ((s.cp - s.cv) * T);
    f.energy = s.cv * T;
    f.enthalpy = s.cp * T;
    f.viscosity = s.idealviscosity;
}

void idealbydensityenergy(const Store& s, FluidState& f)
{
    const double e = f.energy;
    f.enthalpy = e * s.gamma;
    f.pressure = (s.gamma - 1.0) * f.density * e;
    f.temperature = e / s.cv;
    f.viscosity = s.idealviscosity;
}

void idealbypressureenthalpy(const Store& s, FluidState& f)
{
    f.temperature = f.enthalpy / s.cp;
    const double T = f.temperature;
    f.density = f.pressure / ((s.cp - s.cv) * T);
    f.energy = s.cv * T;
    f.viscosity = s.idealviscosity;
}

// ---- Host model adapters -------------------------------------------------------
// Each converts the given pair in place into host units, lets the routine
// fill the state's fields through their addresses, and converts every field
// that was touched back to SI. The given values are restored by the inverse
// operation, not copied back from a saved value. A field the routine leaves
// alone keeps the value of the latest evaluation.

constexpr double tokilo = 0.001;   // Pa -> kPa, Pa s -> cP inverse
constexpr double perkilo = 1000.0; // kJ/kg -> J/kg
constexpr double celsiuszero = 273.15;

void callhostpt(const Store& s, FluidState& f)
{
    f.pressure = f.pressure * tokilo;
    f.temperature = f.temperature - celsiuszero;
    s.hostptroutine(s.hostcontext, f.pressure, f.temperature, &f.density, &f.energy, &f.enthalpy,
                    &f.viscosity, &f.soundspeed);
    f.pressure = f.pressure / tokilo;
    f.temperature = f.temperature + celsiuszero;
    f.energy = f.energy * perkilo;
    f.enthalpy = f.enthalpy * perkilo;
    f.viscosity = f.viscosity * tokilo;
}

void callhostrhoe(const Store& s, FluidState& f)
{
    f.energy = f.energy / perkilo;
    s.hostrhoeroutine(s.hostcontext, f.density, f.energy, &f.pressure, &f.temperature, &f.enthalpy,
                      &f.viscosity, &f.soundspeed);
    f.energy = f.energy * perkilo;
    f.enthalpy = f.enthalpy * perkilo;
    f.pressure = f.pressure / tokilo;
    f.temperature = f.temperature + celsiuszero;
    f.viscosity = f.viscosity * tokilo;
}

void callhostph(const Store& s, FluidState& f)
{
    f.pressure = f.pressure * tokilo;
    f.enthalpy = f.enthalpy / perkilo;
    s.hostphroutine(s.hostcontext, f.pressure, f.enthalpy, &f.density, &f.temperature, &f.energy,
                    &f.viscosity, &f.soundspeed);
    f.pressure = f.pressure / tokilo;
    f.enthalpy = f.enthalpy * perkilo;
    f.temperature = f.temperature + celsiuszero;
    f.energy = f.energy * perkilo;
    f.viscosity = f.viscosity * tokilo;
}

// The host model with a routine missing (possible only after a parameter
// exchange switched the model): nothing can be evaluated, so the state is
// left as given and the fluid side reports a refused evaluation.
bool hostroutinepresent(Store& s, PropertyRoutine routine)
{
    if (routine != nullptr)
        return true;
    s.fluiderrorcode = coderefused;
    return false;
}

// Places the given pair (a, b) named by selector in f and fills the other
// fields from the model. Any other selector leaves f as it is.
void evaluate(Store& s, FluidState& f, std::int32_t selector, double a, double b)
{
    const bool host = s.fluidmodel == 2;
    switch (selector) {
    case bypressuretemperature:
        f.pressure = a;
        f.temperature = b;
        if (!host)
            idealbypressuretemperature(s, f);
        else if (hostroutinepresent(s, s.hostptroutine))
            callhostpt(s, f);
        break;
    case bydensityenergy:
        f.density = a;
        f.energy = b;
        if (!host)
            idealbydensityenergy(s, f);
        else if (hostroutinepresent(s, s.hostrhoeroutine))
            callhostrhoe(s, f);
        break;
    case bypressureenthalpy:
        f.pressure = a;
        f.enthalpy = b;
        if (!host)
            idealbypressureenthalpy(s, f);
        else if (hostroutinepresent(s, s.hostphroutine))
            callhostph(s, f);
        break;
    default:
        break; // fluidstate only validates f
    }
}

// A host routine that cannot evaluate a state may leave energy, enthalpy or
// viscosity not finite. Those values would enter the conserved energy and
// poison every later step, so they are replaced by the ideal-gas estimate
// at the (floored) state and reported like a floor. Finite values are left
// as computed: they are not made consistent with clamped pressure,
// temperature or density.
void replacenonfinite(Store& s, FluidState& f)
{
    if (std::isfinite(f.energy) && std::isfinite(f.enthalpy) && std::isfinite(f.viscosity))
        return;
    s.fluiderrorcode = codefluidfloor;
    if (!std::isfinite(f.energy))
        f.energy = s.cv * f.temperature;
    if (!std::isfinite(f.enthalpy))
        f.enthalpy = f.energy + f.pressure / f.density;
    if (!std::isfinite(f.viscosity))
        f.viscosity = s.idealviscosity;
}

// Raises pressure, temperature and density to their floors where they are
// not strictly above them (a NaN is not above anything), records code 1 if
// any was raised, and recomputes the sound speed from the clamped state.
void validate(Store& s, FluidState& f)
{
    if (f.pressure > pressurefloor && f.temperature > temperaturefloor &&
        f.density > densityfloor) {
        if (s.fluiderrorcode < 0)
            s.fluiderrorcode = 0;
    } else {
        s.fluiderrorcode = codefluidfloor;
        if (!(f.pressure > pressurefloor))
            f.pressure = pressurefloor;
        if (!(f.temperature > temperaturefloor))
            f.temperature = temperaturefloor;
        if (!(f.density > densityfloor))
            f.density = densityfloor;
    }
    replacenonfinite(s, f);
    f.soundspeed = std::sqrt(s.gamma * f.pressure / f.density);
}

} // namespace

bool loadfluid(Store& s, void* context, PropertyRoutine pt, PropertyRoutine rhoe,
               PropertyRoutine ph, double molweight, double gamma, double viscosity,
               double compressibility, std::int32_t model)
{
    const bool definesgas = positivefinite(molweight) && std::isfinite(gamma) && gamma > 1.0 &&
                            std::isfinite(viscosity) && viscosity >= 0.0 &&
                            positivefinite(compressibility);
    const bool routinespresent = model != 2 || (pt && rhoe && ph);
    if (!definesgas || !routinespresent) {
        refusefluid(s);
        return false;
    }

    s.hostcontext = context;
    s.hostptroutine = pt;
    s.hostrhoeroutine = rhoe;
    s.hostphroutine = ph;
    s.molweight = molweight;
    s.gamma = gamma;
    s.idealviscosity = viscosity;
    s.compressibility = compressibility;
    s.fluidmodel = model;
    // Gas constant including the compressibility factor, split by gamma.
    s.cv = compressibility * gasconstant / ((gamma - 1.0) * molweight);
    s.cp = gamma * s.cv;
    s.fluiderrorcode = 0;
    s.fluidloaded = true;
    return true;
}

FluidState fluidstate(Store& s, std::int32_t selector, double a, double b)
{
    // A host routine finds the latest evaluation in the fields it fills.
    FluidState f{s.curpressure, s.curtemperature, s.curdensity,   s.curenergy,
                 s.curenthalpy, s.curviscosity,   s.cursoundspeed};
    // The given pair and the other fields from the model, then the floors
    // and the sound speed (every call).
    evaluate(s, f, selector, a, b);
    validate(s, f);
    setcurrentfluidstate(s, f);
    return f;
}

void setcurrentfluidstate(Store& s, const FluidState& f)
{
    s.curpressure = f.pressure;
    s.curtemperature = f.temperature;
    s.curdensity = f.density;
    s.curenergy = f.energy;
    s.curenthalpy = f.enthalpy;
    s.curviscosity = f.viscosity;
    s.cursoundspeed = f.soundspeed;
}

// ---- The gas moving through a duct -------------------------------------------------

GasState moving(const FluidState& f, double m, double A)
{
    GasState g;
    static_cast<FluidState&>(g) = f;
    g.velocity = m / (A * f.density);
    g.machnumber = std::abs(g.velocity) / f.soundspeed;
    g.totalenergy = f.energy + 0.5 * g.velocity * g.velocity;
    g.totalenthalpy = f.enthalpy + 0.5 * g.velocity * g.velocity;
    return g;
}

GasState gasat(Store& s, double p, double T, double m, double A)
{
    GasState g = moving(fluidstate(s, bypressuretemperature, p, T), m, A);
    g.pressure = p;
    g.temperature = T;
    return g;
}

namespace {

// Each quantity's element in a row and value in a state.
constexpr std::pair<double * GasRow::*, double GasState::*> quantities[] = {
    {&GasRow::pressure, &GasState::pressure},
    {&GasRow::temperature, &GasState::temperature},
    {&GasRow::density, &GasState::density},
    {&GasRow::energy, &GasState::energy},
    {&GasRow::enthalpy, &GasState::enthalpy},
    {&GasRow::viscosity, &GasState::viscosity},
    {&GasRow::soundspeed, &GasState::soundspeed},
    {&GasRow::velocity, &GasState::velocity},
    {&GasRow::machnumber, &GasState::machnumber},
    {&GasRow::totalenergy, &GasState::totalenergy},
    {&GasRow::totalenthalpy, &GasState::totalenthalpy}};

} // namespace

void GasRow::store(const GasState& g) const
{
    for (const auto& [element, value] : quantities)
        if (this->*element != nullptr)
            *(this->*element) = g.*value;
}

GasState GasRow::load() const
{
    GasState g;
    for (const auto& [element, value] : quantities)
        if (this->*element != nullptr)
            g.*value = *(this->*element);
    return g;
}

} // namespace pelmora
