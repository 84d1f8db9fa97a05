// Face fluxes and end coefficients of the gas model.
//
// The interior flux is centred, built from the arithmetic means of the two
// neighbouring cells' primitive values (not from averaged fluxes); all
// upwinding and monotonicity come from the diffusion and the limited
// antidiffusion of the transport step. End faces take the end states that
// the step preparation computed.
#include "solver/vectorise.h"

#include "solver/solver.h"

namespace pelmora {

namespace {

// Euler flux of a state: mass flow, momentum flux, energy flux.
inline void eulerflux(double mdot, double rho, double u, double p, double h, double& flux1,
                      double& flux2, double& flux3)
{
    flux1 = mdot;
    flux2 = rho * u * u + p;
    flux3 = u * rho * (0.5 * u * u + h);
}

void endflux(const Store& s, int end, double flux[3])
{
    eulerflux(s.endmassflow(end), s.enddensity(end), s.endvelocity(end), s.endpressure(end),
              s.endenthalpy(end), flux[0], flux[1], flux[2]);
}

} // namespace

void faceflux(const Store& s, std::int32_t f, std::int32_t first, std::int32_t last, double flux[3])
{
    if (f == first) {
        endflux(s, 1, flux);
        return;
    }
    if (f == last + 1) {
        endflux(s, 2, flux);
        return;
    }
    interiorfluxes(s, f, f, &flux[0], &flux[1], &flux[2]);
}

namespace {

// The loop of interiorfluxes. (A function built for several instruction
// sets stays inside this file: its dispatcher would otherwise be exported.)
PELMORA_VECTORISED
void interiorfluxloop(const Store& s, std::int32_t from, std::int32_t to, double* __restrict flux1,
                      double* __restrict flux2, double* __restrict flux3)
{
    // Cell arrays from the cell left of the first face on: face from + i lies
    // between cells [i] and [i + 1] of these.
    const double* __restrict massflowrate = s.massflowrate.at(from - 1);
    const double* __restrict density = s.density.at(from - 1);
    const double* __restrict velocity = s.velocity.at(from - 1);
    const double* __restrict pressure = s.pressure.at(from - 1);
    const double* __restrict enthalpy = s.enthalpy.at(from - 1);
    const std::int32_t n = to - from + 1;
    for (std::int32_t i = 0; i < n; ++i) {
        const double mdot = 0.5 * (massflowrate[i] + massflowrate[i + 1]);
        const double rho = 0.5 * (density[i] + density[i + 1]);
        const double u = 0.5 * (velocity[i] + velocity[i + 1]);
        const double p = 0.5 * (pressure[i] + pressure[i + 1]);
        const double h = 0.5 * (enthalpy[i] + enthalpy[i + 1]);
        eulerflux(mdot, rho, u, p, h, flux1[i], flux2[i], flux3[i]);
    }
}

} // namespace

void interiorfluxes(const Store& s, std::int32_t from, std::int32_t to, double* flux1,
                    double* flux2, double* flux3)
{
    interiorfluxloop(s, from, to, flux1, flux2, flux3);
}

void setinletend(Store& s, std::int32_t k, double ghost)
{
    s.inletbcgradient(k) = 0.0;
    s.inletbcvalue(k) = ghost;
    s.inletbcweight(k) = 1.0;
}

void setoutletend(Store& s, std::int32_t k, double ghost)
{
    s.outletbcgradient(k) = 0.0;
    s.outletbcvalue(k) = ghost;
    s.outletbcweight(k) = 1.0;
}

// Every ghost beyond an end becomes the fixed ghost vector that the step
// preparation formed, whatever the end cell holds, and the end faces carry
// diffusion and antidiffusion at full weight.
void setendcoefficients(Store& s)
{
    const std::int32_t nv = kernelvariables(s);
    for (std::int32_t k = 1; k <= nv; ++k) {
        setinletend(s, k, s.inletghost(k));
        setoutletend(s, k, s.outletghost(k));
    }
}

} // namespace pelmora
