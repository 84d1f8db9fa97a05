// A loaded gas and network in a test's own store, ready for the kernel and
// the drivers.
#pragma once

#include <cstdint>
#include <vector>

#include "drivers/drivers.h"
#include "fluid/fluid.h"
#include "network/network.h"

namespace pelmora::testing {

struct Line {
    double length = 100.0;       // m
    double diameter = 0.5;       // m
    double inclination = 0.0;    // rad
    double roughness = 2e-5;     // m
    double cellsize = 10.0;      // target cell length, m
    double ambient = 288.0;      // K
    double htc = 0.0;            // W/(m2 K)
    double outletdiameter = 0.0; // m; 0: the diameter, no taper
};

// Natural gas on the ideal-gas model (molweight 17, gamma 1.3).
inline bool loadnaturalgas(Store& s, double viscosity = 1.1e-5)
{
    return loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.0, 1.3, viscosity, 1.0, 1);
}

inline bool loadline(Store& s, const std::vector<Line>& pipes)
{
    auto column = [&pipes](double Line::*field) {
        std::vector<double> v;
        for (const Line& p : pipes)
            v.push_back(field == &Line::outletdiameter && p.outletdiameter == 0.0 ? p.diameter
                                                                                  : p.*field);
        return v;
    };
    const bool loaded =
        loadpipedata(s, static_cast<std::int32_t>(pipes.size()), column(&Line::length).data(),
                     column(&Line::diameter).data(), column(&Line::outletdiameter).data(),
                     column(&Line::inclination).data(), column(&Line::roughness).data(),
                     column(&Line::cellsize).data());
    if (loaded)
        loadwalldata(s, column(&Line::ambient).data(), column(&Line::htc).data());
    return loaded;
}

// Uniform state in every pipe.
inline void startuniform(Store& s, const std::vector<double>& p, const std::vector<double>& T,
                         const std::vector<double>& m)
{
    loadinitialconditions(s, p.data(), T.data(), m.data());
}

// Total mass (kg) and total energy (J) of cells first..last.
inline double linemass(const Store& s)
{
    double sum = 0.0;
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        sum += s.conserved(1, c) * s.celllength(c);
    return sum;
}

inline double lineenergy(const Store& s)
{
    double sum = 0.0;
    for (std::int32_t c = 1; c <= s.totalcells; ++c)
        sum += s.conserved(3, c) * s.cellarea(c) * s.celllength(c);
    return sum;
}

} // namespace pelmora::testing
