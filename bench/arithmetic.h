// The arithmetic one cell stage cannot avoid, as a yardstick for the
// kernel: per cell eight divisions, a square root, a power and a base-10
// logarithm (density, velocity, energy, temperature, sound speed, Mach
// number, Reynolds number and the friction factor's 21.25 / Re^0.9 and
// 0.25 / t^2), on arrays of cell values.
#pragma once

#include <cstdint>

namespace pelmora::bench {

struct CellInputs {
    const double* mass;     // A rho
    const double* momentum; // rho u
    const double* energy;   // rho E
    const double* area;
    const double* diameter;
    const double* roughness; // relative roughness
};

// One value at a time, with the C library's functions.
void unavoidablescalar(const CellInputs& in, double* out, std::int32_t n);

// With vector instructions and the vector maths library: built with
// options the engine never uses (-ffast-math), it stands for what the
// hardware can do, not for what the engine may do.
void unavoidablevector(const CellInputs& in, double* out, std::int32_t n);

} // namespace pelmora::bench
