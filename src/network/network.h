// Network setup: pipe data loading, boundary conditions, wall data, the
// time-step limit and releasing the network.
#pragma once

#include <cstdint>

#include "engine/store.h"

namespace pelmora {

// Creates the network (see pelmora.h). Refuses invalid pipe data with
// pipe code 3, leaving the previous network exactly as it was. Returns
// whether the network was loaded.
bool loadpipedata(Store& s, std::int32_t npipes, const double* length, const double* inletdiameter,
                  const double* outletdiameter, const double* inclination, const double* roughness,
                  const double* celllength);

// Releases the network group; counts and the geometry-and-coefficient group
// stay. Does nothing when no network is loaded.
void freepipememory(Store& s);

void loadbc(Store& s, std::int32_t end, double p, double T, double m, std::int32_t pfixed,
            std::int32_t tfixed, std::int32_t mfixed);
void loadbcpipe(Store& s, std::int32_t pipe, std::int32_t end, double p, double T, double m,
                std::int32_t pfixed, std::int32_t tfixed, std::int32_t mfixed);
void loadwalldata(Store& s, const double* ambienttemperature,
                  const double* heattransfercoefficient);
void maxtimestep(Store& s, double dt);

} // namespace pelmora
