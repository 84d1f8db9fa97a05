// Gas description and evaluation of the current fluid state.
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

#include "engine/errors.h"

namespace pelmora {

namespace {

bool positivefinite(double x) { return std::isfinite(x) && x > 0.0; }

// ---- Ideal-gas model ---------------------------------------------------------

void idealbypressuretemperature(Store& s)
{
    const double T = s.curtemperature;
    s.curdensity = s.curpressure / ((s.cp - s.cv) * T);
    s.curenergy = s.cv * T;
    s.curenthalpy = s.cp * T;
    s.curviscosity = s.idealviscosity;
}

void idealbydensityenergy(Store& s)
{
    const double e = s.curenergy;
    s.curenthalpy = e * s.gamma;
    s.curpressure = (s.gamma - 1.0) * s.curdensity * e;
    s.curtemperature = e / s.cv;
    s.curviscosity = s.idealviscosity;
}

void idealbypressureenthalpy(Store& s)
{
    s.curtemperature = s.curenthalpy / s.cp;
    const double T = s.curtemperature;
    s.curdensity = s.curpressure / ((s.cp - s.cv) * T);
    s.curenergy = s.cv * T;
    s.curviscosity = s.idealviscosity;
}

// ---- Host model adapters -------------------------------------------------------
// Each converts the given pair in place into host units, lets the routine
// fill the current-state fields through their addresses, and converts every
// field that was touched back to SI. The given values are restored by the
// inverse operation, not copied back from a saved value.

constexpr double tokilo = 0.001;   // Pa -> kPa, Pa s -> cP inverse
constexpr double perkilo = 1000.0; // kJ/kg -> J/kg
constexpr double celsiuszero = 273.15;

void callhostpt(Store& s)
{
    s.curpressure = s.curpressure * tokilo;
    s.curtemperature = s.curtemperature - celsiuszero;
    s.hostptroutine(s.hostcontext, s.curpressure, s.curtemperature, &s.curdensity, &s.curenergy,
                    &s.curenthalpy, &s.curviscosity, &s.cursoundspeed);
    s.curpressure = s.curpressure / tokilo;
    s.curtemperature = s.curtemperature + celsiuszero;
    s.curenergy = s.curenergy * perkilo;
    s.curenthalpy = s.curenthalpy * perkilo;
    s.curviscosity = s.curviscosity * tokilo;
}

void callhostrhoe(Store& s)
{
    s.curenergy = s.curenergy / perkilo;
    s.hostrhoeroutine(s.hostcontext, s.curdensity, s.curenergy, &s.curpressure, &s.curtemperature,
                      &s.curenthalpy, &s.curviscosity, &s.cursoundspeed);
    s.curenergy = s.curenergy * perkilo;
    s.curenthalpy = s.curenthalpy * perkilo;
    s.curpressure = s.curpressure / tokilo;
    s.curtemperature = s.curtemperature + celsiuszero;
    s.curviscosity = s.curviscosity * tokilo;
}

void callhostph(Store& s)
{
    s.curpressure = s.curpressure * tokilo;
    s.curenthalpy = s.curenthalpy / perkilo;
    s.hostphroutine(s.hostcontext, s.curpressure, s.curenthalpy, &s.curdensity, &s.curtemperature,
                    &s.curenergy, &s.curviscosity, &s.cursoundspeed);
    s.curpressure = s.curpressure / tokilo;
    s.curenthalpy = s.curenthalpy * perkilo;
    s.curtemperature = s.curtemperature + celsiuszero;
    s.curenergy = s.curenergy * perkilo;
    s.curviscosity = s.curviscosity * tokilo;
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

void evaluate(Store& s, std::int32_t selector)
{
    const bool host = s.fluidmodel == 2;
    switch (selector) {
    case bypressuretemperature:
        if (!host)
            idealbypressuretemperature(s);
        else if (hostroutinepresent(s, s.hostptroutine))
            callhostpt(s);
        break;
    case bydensityenergy:
        if (!host)
            idealbydensityenergy(s);
        else if (hostroutinepresent(s, s.hostrhoeroutine))
            callhostrhoe(s);
        break;
    case bypressureenthalpy:
        if (!host)
            idealbypressureenthalpy(s);
        else if (hostroutinepresent(s, s.hostphroutine))
            callhostph(s);
        break;
    default:
        break; // only the validation below runs
    }
}

// A host routine that cannot evaluate a state may leave energy, enthalpy or
// viscosity not finite. Those values would enter the conserved energy and
// poison every later step, so they are replaced by the ideal-gas estimate
// at the (floored) state and reported like a floor. Finite values are left
// as computed: they are not made consistent with clamped pressure,
// temperature or density.
void replacenonfinite(Store& s)
{
    if (std::isfinite(s.curenergy) && std::isfinite(s.curenthalpy) && std::isfinite(s.curviscosity))
        return;
    s.fluiderrorcode = codefluidfloor;
    if (!std::isfinite(s.curenergy))
        s.curenergy = s.cv * s.curtemperature;
    if (!std::isfinite(s.curenthalpy))
        s.curenthalpy = s.curenergy + s.curpressure / s.curdensity;
    if (!std::isfinite(s.curviscosity))
        s.curviscosity = s.idealviscosity;
}

// Raises pressure, temperature and density to their floors where they are
// not strictly above them (a NaN is not above anything), records code 1 if
// any was raised, and recomputes the sound speed from the clamped state.
void validate(Store& s)
{
    if (s.curpressure > pressurefloor && s.curtemperature > temperaturefloor &&
        s.curdensity > densityfloor) {
        if (s.fluiderrorcode < 0)
            s.fluiderrorcode = 0;
    } else {
        s.fluiderrorcode = codefluidfloor;
        if (!(s.curpressure > pressurefloor))
            s.curpressure = pressurefloor;
        if (!(s.curtemperature > temperaturefloor))
            s.curtemperature = temperaturefloor;
        if (!(s.curdensity > densityfloor))
            s.curdensity = densityfloor;
    }
    replacenonfinite(s);
    s.cursoundspeed = std::sqrt(s.gamma * s.curpressure / s.curdensity);
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

void fluidstate(Store& s, std::int32_t selector, double a, double b)
{
    // 1. The given pair becomes part of the current state.
    switch (selector) {
    case bypressuretemperature:
        s.curpressure = a;
        s.curtemperature = b;
        break;
    case bydensityenergy:
        s.curdensity = a;
        s.curenergy = b;
        break;
    case bypressureenthalpy:
        s.curpressure = a;
        s.curenthalpy = b;
        break;
    default:
        break;
    }
    // 2. The model computes the other fields.
    evaluate(s, selector);
    // 3. Floors and sound speed, every call.
    validate(s);
}

} // namespace pelmora
