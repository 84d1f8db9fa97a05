// A pipeline scenario: the gas, the pipes, the starting state, the boundary
// conditions over time, the time stepping and what to write. Read from
// JSON; every quantity is in SI units (Pa, K, kg/s, m, s, rad, W/(m2 K)).
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace pelmorarun {

// A scenario that cannot be used. The message starts with the path of the
// offending field, e.g. "pipes[1].length: expected a positive number".
struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct IdealGas {
    double molweight = 0;       // kg/kmol
    double gamma = 0;           // cp/cv
    double viscosity = 0;       // Pa s
    double compressibility = 1; // Z
};

struct RealGas {
    // Mole fractions in the provider's component order.
    std::vector<double> molefractions;
    // State at which the engine's constant gamma (it sets the sound speed)
    // and Z are taken from the real gas: the starting state unless given.
    double referencepressure = 0;    // Pa, 0 = from the starting state
    double referencetemperature = 0; // K, 0 = from the starting state
};

struct Gas {
    bool real = false;
    IdealGas ideal;
    RealGas realgas;
};

struct Pipe {
    double length = 0;                  // m
    double inletdiameter = 0;           // m
    double outletdiameter = 0;          // m
    double inclination = 0;             // rad, positive uphill in the flow direction
    double roughness = 0;               // m
    double celllength = 0;              // m, target
    double ambienttemperature = 288.15; // K
    double heattransfercoefficient = 0; // W/(m2 K)
};

struct StartState {
    bool steady = false;
    // Uniform: one value per pipe.
    std::vector<double> pressure, temperature, massflow;
    // Steady: mode 1..6 and its three values.
    int mode = 0;
    double a = 0, b = 0, c = 0;
    // Optional settling march with the first boundary values, s.
    double settletime = 0;
};

// Boundary values at one network end as a table in time; the host
// interpolates linearly between rows and holds the first and last rows
// outside the table.
struct EndTable {
    bool pressurefixed = false, temperaturefixed = false, massflowfixed = false;
    std::vector<double> time, pressure, temperature, massflow;
};

struct EndValues {
    double pressure, temperature, massflow;
};

struct Output {
    std::string directory;            // empty = no files
    double interval = 0;              // s between time-series rows, 0 = every host step
    std::vector<double> profiletimes; // s
    bool plots = false;
};

struct Scenario {
    std::string name;
    std::string description;
    Gas gas;
    std::vector<Pipe> pipes;
    StartState start;
    std::array<EndTable, 2> ends; // inlet (end 1), outlet (end 2)
    double timestep = 0;          // host step, s
    double endtime = 0;           // s
    double maxtimestep = 0;       // s, 0 = no limit
    Output output;
};

// The constants the engine is loaded with: the ideal gas's own, or for the
// real gas those at its reference state (the engine keeps a constant gamma
// for its sound speed sqrt(gamma p / rho), and the real gas's isentropic
// exponent there makes it right at that state; Z and viscosity likewise).
struct GasConstants {
    double molweight = 0;       // kg/kmol
    double gamma = 0;           // cp/cv
    double viscosity = 0;       // Pa s
    double compressibility = 1; // Z
    // Specific gas constant Z R / M, J/(kg K).
    double gasconstant() const { return compressibility * 8314.3 / molweight; }
};

// Throws ScenarioError when the real-gas provider refuses the composition.
GasConstants gasconstants(const Scenario& scenario);

// Builds a scenario from parsed JSON; throws ScenarioError naming the field.
Scenario scenariofromjson(const nlohmann::json& document);

// Parses JSON text (a syntax error is a ScenarioError too) and builds the
// scenario.
Scenario parsescenario(const std::string& text);

// Boundary values of one end at time t.
EndValues valuesat(const EndTable& table, double t);

} // namespace pelmorarun
