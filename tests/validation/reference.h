// The exact and analytical solutions the engine is checked against, written
// independently of the engine: the Riemann problem of an ideal gas, steady
// duct flow with friction (isothermal and adiabatic), and isentropic flow
// through an area change.
//
// The steady relations use a constant-area duct and a constant Fanning
// friction factor f: the wall shear stress is f rho u^2 / 2, the friction
// force per unit volume 4 f / D times that. With constant viscosity the
// Reynolds number G D / mu is the same all along the duct (G = rho u is
// constant), so f is truly constant and the relations hold exactly.
#ifndef PELMORA_VALIDATION_REFERENCE_H
#define PELMORA_VALIDATION_REFERENCE_H

namespace validation {

// Standard gravity as the engine's gravity source uses it, m/s2.
inline constexpr double gravity = 9.81;

// Primitive state of the gas: density, velocity, pressure.
struct GasState {
    double density = 0.0, velocity = 0.0, pressure = 0.0;
};

// Exact solution of the Riemann problem for the Euler equations of an ideal
// gas: two uniform states meet at x = 0 at t = 0; the solution depends on
// s = x / t only. The star pressure (between the two nonlinear waves) comes
// from Newton iteration on f(p) = f_L(p) + f_R(p) + u_R - u_L, each f_K the
// velocity jump across a shock (p > p_K) or a rarefaction (p <= p_K).
// Throws std::invalid_argument for data that are not positive or would open
// a vacuum. Any consistent units.
class ExactRiemann {
public:
    ExactRiemann(GasState left, GasState right, double gamma);

    struct Star {
        double pressure = 0, velocity = 0, leftdensity = 0, rightdensity = 0;
        int iterations = 0;
    };
    const Star& star() const { return star_; }

    GasState sample(double s) const;
    // Mean of the solution at time t over [xa, xb] by the midpoint rule on
    // `points` sub-cells.
    GasState average(double xa, double xb, double t, int points) const;
    // The largest |u| + c over the initial states and the star region.
    double fastestsignal() const;

private:
    double wavejump(double p, const GasState& k, double c, double* derivative) const;
    GasState side(double s, const GasState& w, double c, double us, double stardensity) const;

    GasState left_, right_;
    double gamma_, cleft_, cright_;
    Star star_;
};

// Fanning friction factor: 16 / Re for laminar flow (Re <= 2000), above it
// the Jain explicit form of the Colebrook law (written for the Darcy factor,
// 1/sqrt(fD) = 1.14 - 2 log10(eps + 21.25 Re^-0.9), fF = fD / 4).
double fanningfriction(double reynolds, double relativeroughness);

// Isothermal flow (RT the gas constant times temperature, G the mass flux):
// integrating d(p + G^2 RT / p)/dx = -2 f G^2 RT / (p D) gives
//     p1^2 - p2^2 = G^2 RT (4 f L / D + 2 ln(p1 / p2)),
// the logarithm being the kinetic term. p2 at `length` downstream of p1, or
// NaN when the flow would choke first.
double isothermalpressure(double p1, double massflux, double rt, double friction, double diameter,
                          double length);

// The Fanno function 4 f L* / D = (1 - M^2) / (g M^2)
//     + (g + 1) / (2 g) ln[(g + 1) M^2 / (2 + (g - 1) M^2)].
double fannofunction(double mach, double gamma);

// Adiabatic flow with friction, subsonic branch: the state `length`
// downstream of an inlet at Mach m1, p1, t1, from F(M2) = F(M1) - 4 f L / D,
// T2 / T1 = (2 + (g-1) M1^2) / (2 + (g-1) M2^2), p2 / p1 = (M1 / M2)
// sqrt(T2 / T1). NaN fields when the duct is longer than the choking length.
struct FannoState {
    double mach = 0, pressure = 0, temperature = 0;
};
FannoState fannodownstream(double m1, double p1, double t1, double gamma, double friction,
                           double diameter, double length);

// Steady isentropic flow of `massflow` from area a1 (pressure p1,
// temperature t1) into area a2, subsonic on both sides: the stagnation state
// is kept and the temperature at a2 solves massflow / a2 =
// rho0 (T / T0)^(1 / (g - 1)) sqrt(2 cp (T0 - T)) above the critical 2 T0 /
// (g + 1). NaN fields when a2 is too small to pass the flow.
struct AreaChangeState {
    double pressure = 0, temperature = 0;
};
AreaChangeState isentropicareachange(double p1, double t1, double massflow, double a1, double a2,
                                     double gamma, double gasconstant);

} // namespace validation

#endif
