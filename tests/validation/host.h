// A minimal host of the engine: it reaches the library only through the
// public C header, the way a process-simulation host does, and gathers the
// per-pipe answers into arrays along the whole line.
#ifndef PELMORA_VALIDATION_HOST_H
#define PELMORA_VALIDATION_HOST_H

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "riemann.h"

namespace validation {

// The built-in ideal gas of the engine: p = Z (8314.3 / molweight) rho T.
struct Gas {
    double molweight = 28.97;
    double gamma = 1.4;
    double viscosity = 0.0; // Pa s; 0 switches wall friction off
    double compressibility = 1.0;
    double gasconstant() const { return compressibility * 8314.3 / molweight; }
    double cp() const { return gamma * gasconstant() / (gamma - 1.0); }
    double soundspeed(double temperature) const
    {
        return std::sqrt(gamma * gasconstant() * temperature);
    }
};

struct Pipe {
    double length = 100.0;       // m
    double diameter = 0.5;       // m, the same at both ends
    double inclination = 0.0;    // rad, positive uphill from inlet to outlet
    double roughness = 0.0;      // m
    double celllength = 1.0;     // m, target
    double ambient = 288.15;     // K
    double heattransfer = 0.0;   // W/(m2 K)
    double outletdiameter = 0.0; // m, for a taper; 0: the same as diameter
};

// The engine reported a refused call (code 3) where the host expected none.
struct EngineRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One network loaded into the (process-wide) engine.
class Line {
public:
    // loadfluid, loadpipedata and loadwalldata; throws EngineRefused on code 3.
    Line(const Gas& gas, const std::vector<Pipe>& pipes);

    const Gas& gas() const { return gas_; }
    const std::vector<Pipe>& pipes() const { return pipes_; }
    int cells() const { return static_cast<int>(centre_.size()); }
    int cells(int pipe) const { return count_[pipe - 1]; }

    // Cell centres measured from the line inlet, cell lengths, flow areas
    // (from the cell diameters the engine reports) and the pipe each cell
    // belongs to (1-based), all along the whole line.
    const std::vector<double>& centres() const { return centre_; }
    const std::vector<double>& widths() const { return width_; }
    const std::vector<double>& areas() const { return area_; }
    const std::vector<int>& owner() const { return owner_; }
    double length() const;

    // Uniform starting state per pipe (loadinitialconditions).
    void start(const std::vector<double>& p, const std::vector<double>& t,
               const std::vector<double>& m);
    // One pressure, temperature and mass flow for every pipe.
    void start(double p, double t, double m);

    // The drivers' first sub-step is also limited by the network-end state,
    // which only a pipe step refreshes: until then it is what the previous
    // network in the process left. One tiny host step (transientpipes with
    // dt) refreshes it, so that a run takes the same sub-steps whatever ran
    // before it. Returns dt.
    double refreshends(double dt);

    // Profile of one per-cell query along the whole line.
    using ProfileQuery = void (*)(int32_t, double*);
    std::vector<double> profile(ProfileQuery query) const;

    // Network-end query (end 1 or 2).
    using EndQuery = void (*)(int32_t, double*);
    static double end(EndQuery query, int end);

    // The current level of the conserved variables, turned into density,
    // velocity and pressure with the ideal-gas law: the state at the end of the
    // last driver call (the profile queries show the state at the start of the
    // last stage, half a sub-step earlier).
    std::vector<GasState> state() const;
    // Mass (kg) and total energy without potential energy (J) in the line.
    double mass() const;
    double energy() const;

    // geterrorcode (reads and clears).
    static int errorcode();

private:
    void conserved(std::vector<double>& current) const;

    Gas gas_;
    std::vector<Pipe> pipes_;
    std::vector<int> count_;
    std::vector<double> centre_, width_, area_;
    std::vector<int> owner_;
};

} // namespace validation

#endif
