// Closed-form and quadrature solutions of steady pipe flow that the engine
// is checked against: isothermal flow with friction, adiabatic flow with
// friction (Fanno flow), and the isothermal hydrostatic column.
//
// All use a constant-area duct and a constant Fanning friction factor f, so
// the wall shear stress is f rho u^2 / 2 and the friction force per unit
// volume is 4 f / D times that. With constant viscosity the Reynolds number
// G D / mu is the same all along the duct (G = rho u is constant), so f is
// truly constant and the relations hold exactly.
#ifndef PELMORA_VALIDATION_RELATIONS_H
#define PELMORA_VALIDATION_RELATIONS_H

namespace validation {

// Standard gravity as the engine's gravity source uses it, m/s2.
inline constexpr double gravity = 9.81;

// Fanning friction factor: 16 / Re for laminar flow (Re <= 2000), the Jain
// explicit approximation of the Colebrook law above (written for the Darcy
// factor 1/sqrt(fD) = 1.14 - 2 log10(eps + 21.25 Re^-0.9), and fF = fD / 4).
double fanningfriction(double reynolds, double relativeroughness);

// Isothermal steady flow of an ideal gas (gas constant times temperature
// RT, mass flux G): integrating d(p + G^2 RT / p)/dx = -2 f G^2 RT / (p D)
// gives
//     p1^2 - p2^2 = G^2 RT (4 f L / D + 2 ln(p1 / p2)),
// the second term in the bracket being the kinetic (acceleration) term.
// Returns p2 at distance `length` downstream of p1, or NaN when the flow
// would choke (isothermal Mach 1/sqrt(gamma), p2^2 = G^2 RT) first.
double isothermalpressure(double p1, double massflux, double rt, double friction, double diameter,
                          double length);

// The Fanno function 4 f L* / D = (1 - M^2) / (g M^2)
//     + (g + 1) / (2 g) ln[(g + 1) M^2 / (2 + (g - 1) M^2)],
// the friction length from Mach M to choking.
double fannofunction(double mach, double gamma);

struct FannoState {
    double mach = 0;
    double pressure = 0;
    double temperature = 0;
};

// State a distance `length` downstream of an inlet at Mach m1, p1, T1 in
// adiabatic flow with friction (subsonic branch):
//     F(M2) = F(M1) - 4 f L / D,
//     T2 / T1 = (2 + (g-1) M1^2) / (2 + (g-1) M2^2),
//     p2 / p1 = (M1 / M2) sqrt(T2 / T1).
// NaN fields when the duct is longer than the choking length.
FannoState fannodownstream(double m1, double p1, double t1, double gamma, double friction,
                           double diameter, double length);

// Steady isentropic flow of mass flow `massflow` from area a1, where it has
// pressure p1 and temperature t1, into area a2 (subsonic on both sides): the
// stagnation state T0 = T1 + u1^2 / (2 cp), p0 = p1 (T0 / T1)^(g / (g - 1))
// is kept, and the temperature at a2 solves
//     massflow / a2 = rho0 (T / T0)^(1 / (g - 1)) sqrt(2 cp (T0 - T))
// on the subsonic branch (T above the critical 2 T0 / (g + 1)). The
// pressure follows as p0 (T / T0)^(g / (g - 1)). NaN fields when a2 is too
// small to pass the flow (the flow would choke).
struct AreaChangeState {
    double pressure = 0;
    double temperature = 0;
};
AreaChangeState isentropicareachange(double p1, double t1, double massflow, double a1, double a2,
                                     double gamma, double gasconstant);

} // namespace validation

#endif
