// Natural gas as a real gas: the model behind the pelmora_realgas routines.
//
// The equation of state is the Dranchuk and Abou-Kassem fit of the
// Standing-Katz compressibility chart. It is explicit in the reduced
// density x = 0.27 Ppr / (Z Tpr) (proportional to the mass density) and the
// inverse reduced temperature tau = Tpc / T:
//
//   Z = 1 + A(tau) x + B(tau) x^2 - C(tau) x^5 + D(tau) (x^2 + k x^4) exp(-k x^2)
//
// Because Z(x, tau) is explicit, the residual Helmholtz energy
// a_res / (R T) = integral from 0 to x of (Z - 1) / x' dx' has a closed form,
// and the residual internal energy, heat capacity and the derivatives of
// pressure follow from it by differentiation in tau and x. The ideal-gas part
// comes from per-component heat-capacity polynomials. So density, energies
// and sound speed all belong to one thermodynamic model.
//
// Units inside: pressure kPa, temperature K, density kg/m3, specific
// energies kJ/kg, heat capacities kJ/(kg K), viscosity cP, sound speed m/s.
#pragma once

#include <array>
#include <optional>

namespace realgas {

struct Component {
    const char* name;
    double molweight;         // kg/kmol
    double tc;                // critical temperature, K
    double pc;                // critical pressure, kPa
    std::array<double, 4> cp; // ideal-gas cp = c0 + c1 T + c2 T^2 + c3 T^3, J/(mol K), T in K
};

constexpr int ncomponents = 11;
extern const std::array<Component, ncomponents> components;

// A full thermodynamic state.
struct State {
    double pressure;    // kPa
    double temperature; // K
    double density;     // kg/m3
    double energy;      // kJ/kg
    double enthalpy;    // kJ/kg
    double viscosity;   // cP
    double soundspeed;  // m/s
    double cp;          // kJ/(kg K)
    double cv;          // kJ/(kg K)
};

// Temperatures outside this range are held at its ends.
constexpr double mintemperature = 20.0;   // K
constexpr double maxtemperature = 3000.0; // K

class NaturalGas {
public:
    // Builds the gas from mole fractions in the order of `components`;
    // nothing when a fraction is negative or not finite or they sum to 0.
    static std::optional<NaturalGas> frommolefractions(const double* fractions);

    double molweight() const { return molweight_; }
    double pseudocriticaltemperature() const { return tpc_; }
    double pseudocriticalpressure() const { return ppc_; }
    double gasconstant() const { return r_; } // kJ/(kg K)

    // The state at the given pair. Inputs that are not finite or out of range
    // are held to the nearest sensible value; every output is finite.
    State atdensitytemperature(double density, double temperature) const;
    State atpressuretemperature(double pressure, double temperature) const;
    State atdensityenergy(double density, double energy) const;
    State atpressureenthalpy(double pressure, double enthalpy) const;

    double compressibility(double pressure, double temperature) const;

private:
    double densityat(double pressure, double temperature) const;

    double molweight_ = 0;
    double r_ = 0;               // specific gas constant, kJ/(kg K)
    double tpc_ = 0;             // pseudo-critical temperature, K (sour-gas corrected)
    double ppc_ = 0;             // pseudo-critical pressure, kPa (sour-gas corrected)
    double rhostar_ = 0;         // density at which x = 1, kg/m3
    std::array<double, 4> cp_{}; // mixture ideal-gas cp polynomial, kJ/(kg K)
};

} // namespace realgas
