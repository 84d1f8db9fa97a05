// Solution drivers and network initialisation.
//
//   transientpipes / transientpipe   one host time step, sub-stepped
//   steadypipes / steadypipe         settling march in time towards a steady state
//   steadystate / steadymarch        steady state by face-by-face marching
//   loadinitialconditions            uniform starting state per pipe
#pragma once

#include <cstdint>

#include "engine/store.h"
#include "pelmora.h"

namespace pelmora {

// Steady march statuses (also the statuses of steadystate), as the header
// names them for the host.
enum SteadyStatus : std::int32_t {
    steadyfound = PELMORA_STEADY_FOUND,
    steadynotuniform = PELMORA_STEADY_NOT_UNIFORM,
    steadybadmode = PELMORA_STEADY_REFUSED,
    steadysupersonicstart = PELMORA_STEADY_SUPERSONIC_START, // also: flow sign against the mode
    steadysupersonicduct = PELMORA_STEADY_SUPERSONIC,
    steadyfailed = PELMORA_STEADY_FAILED, // pressure <= 0, or no convergence in 100 marches
};

// Largest number of sub-steps a steady march takes before giving up with
// pipe code 3.
constexpr std::int64_t maximumsubsteps = 100000000;

void transientpipes(Store& s, double dt);
void transientpipe(Store& s, std::int32_t pipe, double dt);
void steadypipes(Store& s, double tmax, double& elapsed);
void steadypipe(Store& s, std::int32_t pipe, double tmax, double& elapsed);

// One march from end startend (PELMORA_INLET or PELMORA_OUTLET), starting at
// pressure p0 and temperature T0 with mass flow m.
std::int32_t steadymarch(Store& s, std::int32_t startend, double p0, double T0, double m);
std::int32_t steadystate(Store& s, std::int32_t mode, double a, double b, double c);

void loadinitialconditions(Store& s, const double* p, const double* T, const double* m);

} // namespace pelmora
