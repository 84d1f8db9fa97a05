// The C face of the natural-gas model: creation, description and the three
// host property routines in the engine's host units (kPa, degC, kJ/kg, cP).
#include "pelmora_realgas.h"

#include <cmath>
#include <cstring>
#include <new>

#include "naturalgas.h"

struct pelmora_realgas {
    realgas::NaturalGas gas;
};

namespace {

constexpr double celsiusoffset = 273.15;

// A routine handed no gas still answers, for pure methane, so that whatever
// it writes is finite.
const realgas::NaturalGas& gasof(const void* context)
{
    static const realgas::NaturalGas methane = [] {
        double y[realgas::ncomponents] = {1.0};
        return *realgas::NaturalGas::frommolefractions(y);
    }();
    return context ? static_cast<const pelmora_realgas*>(context)->gas : methane;
}

void fillif(double* target, double value)
{
    if (target)
        *target = value;
}

} // namespace

extern "C" {

const char* realgas_componentname(int32_t i)
{
    if (i < 0 || i >= realgas::ncomponents)
        return nullptr;
    return realgas::components[static_cast<std::size_t>(i)].name;
}

int32_t realgas_componentindex(const char* name)
{
    if (!name)
        return -1;
    for (int32_t i = 0; i < realgas::ncomponents; ++i) {
        if (std::strcmp(name, realgas::components[static_cast<std::size_t>(i)].name) == 0)
            return i;
    }
    return -1;
}

pelmora_realgas* realgas_create(const double* molefractions)
{
    if (!molefractions)
        return nullptr;
    const auto gas = realgas::NaturalGas::frommolefractions(molefractions);
    if (!gas)
        return nullptr;
    return new (std::nothrow) pelmora_realgas{*gas};
}

void realgas_destroy(pelmora_realgas* gas) { delete gas; }

void realgas_description(const pelmora_realgas* gas, double* molweight,
                         double* pseudocriticaltemperature, double* pseudocriticalpressure)
{
    const realgas::NaturalGas& g = gasof(gas);
    fillif(molweight, g.molweight());
    fillif(pseudocriticaltemperature, g.pseudocriticaltemperature());
    fillif(pseudocriticalpressure, g.pseudocriticalpressure());
}

double realgas_z(const pelmora_realgas* gas, double p, double t)
{
    return gasof(gas).compressibility(p, t + celsiusoffset);
}

void realgas_exponents(const pelmora_realgas* gas, double p, double t, double* cpovercv,
                       double* isentropicexponent)
{
    const realgas::State s = gasof(gas).atpressuretemperature(p, t + celsiusoffset);
    fillif(cpovercv, s.cp / s.cv);
    // rho c^2 / p with c in m/s and p in kPa.
    fillif(isentropicexponent, s.density * s.soundspeed * s.soundspeed / (1000.0 * s.pressure));
}

void realgas_pt(void* context, double p, double t, double* density, double* energy,
                double* enthalpy, double* viscosity, double* soundspeed)
{
    const realgas::State s = gasof(context).atpressuretemperature(p, t + celsiusoffset);
    fillif(density, s.density);
    fillif(energy, s.energy);
    fillif(enthalpy, s.enthalpy);
    fillif(viscosity, s.viscosity);
    fillif(soundspeed, s.soundspeed);
}

void realgas_rhoe(void* context, double density, double energy, double* p, double* t,
                  double* enthalpy, double* viscosity, double* soundspeed)
{
    const realgas::State s = gasof(context).atdensityenergy(density, energy);
    fillif(p, s.pressure);
    fillif(t, s.temperature - celsiusoffset);
    fillif(enthalpy, s.enthalpy);
    fillif(viscosity, s.viscosity);
    fillif(soundspeed, s.soundspeed);
}

void realgas_ph(void* context, double p, double enthalpy, double* density, double* t,
                double* energy, double* viscosity, double* soundspeed)
{
    const realgas::State s = gasof(context).atpressureenthalpy(p, enthalpy);
    fillif(density, s.density);
    fillif(t, s.temperature - celsiusoffset);
    fillif(energy, s.energy);
    fillif(viscosity, s.viscosity);
    fillif(soundspeed, s.soundspeed);
}

} // extern "C"
