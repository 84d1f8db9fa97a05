// Exchange of the fluid parameters and of the scheme parameters.
#include <cmath>

#include "engine/errors.h"
#include "exchange/state.h"

namespace pelmora {

namespace {

// The per-variable end coefficients, in the order of the host's arguments
// 9 to 14: the ghost value beyond an end is gradient * end-cell value +
// value, and the weight scales the end face's diffusive fluxes.
constexpr StoreArrays<double, 6> endcoefficients = {
    &Store::inletbcgradient,  &Store::inletbcvalue,  &Store::inletbcweight,
    &Store::outletbcgradient, &Store::outletbcvalue, &Store::outletbcweight,
};

// Grid spacings by face (arguments 15 to 17) and by cell (18 to 20).
constexpr StoreArrays<double, 3> facespacings = {&Store::faceposition, &Store::facelength,
                                                 &Store::inversefacelength};
constexpr StoreArrays<double, 3> cellspacings = {&Store::cellcentre, &Store::celllength,
                                                 &Store::inversecelllength};

template <class Real, class Integer>
std::array<const void*, 14> fluidpointers(const FluidParamBuffers<Real, Integer>& b)
{
    return {b.molweight, b.gamma,    b.viscosity,   b.cp,         b.cv,    b.density, b.energy,
            b.enthalpy,  b.pressure, b.temperature, b.soundspeed, b.model, b.extra1,  b.extra2};
}

template <class Real, class Integer>
std::array<const void*, 8> hyperscalarpointers(const HyperParamBuffers<Real, Integer>& b)
{
    return {b.numberofvariables, b.totalcells,  b.totalfaces,   b.currentcell,
            b.currentface,       b.atinletface, b.atoutletface, b.simulationtime};
}

bool positivefinite(double x) { return std::isfinite(x) && x > 0.0; }

} // namespace

// ---- Fluid parameters -------------------------------------------------------------

bool getfluidparams(Store& s, const FluidParamsOut& b)
{
    if (!allpresent(fluidpointers(b))) {
        refusefluid(s);
        return false;
    }
    *b.molweight = s.molweight;
    *b.gamma = s.gamma;
    *b.viscosity = s.curviscosity;
    *b.cp = s.cp;
    *b.cv = s.cv;
    *b.density = s.curdensity;
    *b.energy = s.curenergy;
    *b.enthalpy = s.curenthalpy;
    *b.pressure = s.curpressure;
    *b.temperature = s.curtemperature;
    *b.soundspeed = s.cursoundspeed;
    *b.model = s.fluidmodel;
    *b.extra1 = s.fluidextra1;
    *b.extra2 = s.fluidextra2;
    return true;
}

bool gasisusable(const Store& s)
{
    const bool hostroutines =
        s.hostptroutine != nullptr && s.hostrhoeroutine != nullptr && s.hostphroutine != nullptr;
    return positivefinite(s.molweight) && std::isfinite(s.gamma) && s.gamma > 1.0 &&
           positivefinite(s.cv) && positivefinite(s.cp) && (s.fluidmodel != 2 || hostroutines);
}

bool setfluidparams(Store& s, const FluidParamsIn& b)
{
    if (!allpresent(fluidpointers(b))) {
        refusefluid(s);
        return false;
    }
    // 1. Plain copies; cp and cv keep the caller's values even when they do
    //    not match gamma.
    s.molweight = *b.molweight;
    s.gamma = *b.gamma;
    s.curviscosity = *b.viscosity;
    s.cp = *b.cp;
    s.cv = *b.cv;
    s.curdensity = *b.density;
    s.curenergy = *b.energy;
    s.curenthalpy = *b.enthalpy;
    s.curpressure = *b.pressure;
    s.curtemperature = *b.temperature;
    s.cursoundspeed = *b.soundspeed;
    s.fluidmodel = *b.model;
    s.fluidextra1 = *b.extra1;
    s.fluidextra2 = *b.extra2;
    // 2. The gas is usable from now on exactly when the description defines
    //    one: restoring a saved engine that had a gas gives a usable gas even
    //    before loadfluid, and restoring a blank description (or one that
    //    would divide by zero, or call a missing host routine) makes the
    //    calls that evaluate the gas refuse until the next loadfluid.
    s.fluidloaded = gasisusable(s);
    return true;
}

// ---- Scheme parameters ------------------------------------------------------------

bool gethyperparams(Store& s, const HyperParamsOut& b)
{
    const std::int64_t nvars = s.numberofvariables;
    const std::int64_t nfaces = s.totalfaces;
    const std::int64_t ncells = s.totalcells;
    // 1. Check the buffers and that the store's counts fit its arrays
    //    (sethyperparams may have stored counts below the allocation, never
    //    above it, but a count above it is refused rather than trusted).
    const bool accepted = allpresent(hyperscalarpointers(b)) &&
                          buffersgiven(nvars, b.variablereals) &&
                          buffersgiven(nfaces, b.facereals) && buffersgiven(ncells, b.cellreals) &&
                          countfits(s, nvars, endcoefficients) &&
                          countfits(s, nfaces, facespacings) && countfits(s, ncells, cellspacings);
    if (!accepted) {
        refusepipe(s);
        return false;
    }
    // 2. The eight scalars.
    *b.numberofvariables = s.numberofvariables;
    *b.totalcells = s.totalcells;
    *b.totalfaces = s.totalfaces;
    *b.currentcell = s.currentcell;
    *b.currentface = s.currentface;
    *b.atinletface = s.atinletface;
    *b.atoutletface = s.atoutletface;
    *b.simulationtime = s.simulationtime;
    // 3. The arrays, per variable, per face, per cell.
    copyarraysout(s, nvars, endcoefficients, b.variablereals);
    copyarraysout(s, nfaces, facespacings, b.facereals);
    copyarraysout(s, ncells, cellspacings, b.cellreals);
    return true;
}

bool sethyperparams(Store& s, const HyperParamsIn& b)
{
    if (!allpresent(hyperscalarpointers(b))) {
        refusepipe(s);
        return false;
    }
    const std::int64_t nvars = *b.numberofvariables;
    const std::int64_t nfaces = *b.totalfaces;
    const std::int64_t ncells = *b.totalcells;
    // 1. Check everything before storing anything: the new counts must fit
    //    the arrays of the latest load, which are never reallocated here.
    const bool accepted = buffersgiven(nvars, b.variablereals) &&
                          buffersgiven(nfaces, b.facereals) && buffersgiven(ncells, b.cellreals) &&
                          countfits(s, nvars, endcoefficients) &&
                          countfits(s, nfaces, facespacings) && countfits(s, ncells, cellspacings);
    if (!accepted) {
        refusepipe(s);
        return false;
    }
    // 2. The eight scalars, the three counts included.
    s.numberofvariables = *b.numberofvariables;
    s.totalcells = *b.totalcells;
    s.totalfaces = *b.totalfaces;
    s.currentcell = *b.currentcell;
    s.currentface = *b.currentface;
    s.atinletface = *b.atinletface;
    s.atoutletface = *b.atoutletface;
    s.simulationtime = *b.simulationtime;
    // 3. The arrays with the new counts.
    copyarraysin(s, nvars, endcoefficients, b.variablereals);
    copyarraysin(s, nfaces, facespacings, b.facereals);
    copyarraysin(s, ncells, cellspacings, b.cellreals);
    return true;
}

} // namespace pelmora
