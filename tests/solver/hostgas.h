// A gas evaluated by host routines: p = rho R T (1 + b rho), e = cv T, and a
// viscosity mu0 (T / 288.15)^n. The routines work in kPa, degrees Celsius,
// kJ/kg and centipoise; they count their calls and keep the arguments of
// the latest density-energy calls in a ring. The sound speeds they return
// (-1) must always be replaced by the engine.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace pelmora::testing {

struct HostGas {
    double R, cv, b, mu0, exponent; // J/(kg K), J/(kg K), m3/kg, cP, -
    long rhoecalls = 0, othercalls = 0;
    std::vector<double> lastrho{0.0}, laste{0.0}; // ring of the latest density-energy calls
    std::size_t next = 0;

    double viscosity(double T) const { return mu0 * std::pow(T / 288.15, exponent); }
    // Density from pressure (Pa) and temperature (K): root of b rho^2 + rho - p/(R T).
    double densityof(double p, double T) const
    {
        const double q = p / (R * T);
        return 2.0 * q / (1.0 + std::sqrt(1.0 + 4.0 * b * q));
    }
};

inline void hostpt(void* ctx, double pkpa, double tc, double* rho, double* e, double* h, double* mu,
                   double* c)
{
    auto* g = static_cast<HostGas*>(ctx);
    ++g->othercalls;
    const double T = tc + 273.15, p = pkpa * 1000.0;
    *rho = g->densityof(p, T);
    *e = g->cv * T / 1000.0;
    *h = (g->cv * T + p / *rho) / 1000.0;
    *mu = g->viscosity(T);
    *c = -1.0;
}

inline void hostrhoe(void* ctx, double rho, double ekj, double* pkpa, double* tc, double* h,
                     double* mu, double* c)
{
    auto* g = static_cast<HostGas*>(ctx);
    ++g->rhoecalls;
    g->lastrho[g->next] = rho;
    g->laste[g->next] = ekj;
    g->next = (g->next + 1) % g->lastrho.size();
    const double T = ekj * 1000.0 / g->cv, p = rho * g->R * T * (1.0 + g->b * rho);
    *pkpa = p / 1000.0;
    *tc = T - 273.15;
    *h = (g->cv * T + p / rho) / 1000.0;
    *mu = g->viscosity(T);
    *c = -1.0;
}

// h = cv T + R T (1 + b rho(p, T)): a few fixed-point passes on T.
inline void hostph(void* ctx, double pkpa, double hkj, double* rho, double* tc, double* e,
                   double* mu, double* c)
{
    auto* g = static_cast<HostGas*>(ctx);
    ++g->othercalls;
    const double p = pkpa * 1000.0, h = hkj * 1000.0;
    double T = h / (g->cv + g->R);
    for (int pass = 0; pass < 30; ++pass)
        T = h / (g->cv + g->R * (1.0 + g->b * g->densityof(p, T)));
    *rho = g->densityof(p, T);
    *tc = T - 273.15;
    *e = g->cv * T / 1000.0;
    *mu = g->viscosity(T);
    *c = -1.0;
}

} // namespace pelmora::testing
