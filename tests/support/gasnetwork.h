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
    double length = 100.0;    // m
    double diameter = 0.5;    // m
    double inclination = 0.0; // rad
    double roughness = 2e-5;  // m
    double cellsize = 10.0;   // target cell length, m
    double ambient = 288.0;   // K
    double htc = 0.0;         // W/(m2 K)
};

// Natural gas on the ideal-gas model (molweight 17, gamma 1.3).
inline bool loadnaturalgas(Store& s, double viscosity = 1.1e-5)
{
    return loadfluid(s, nullptr, nullptr, nullptr, nullptr, 17.0, 1.3, viscosity, 1.0, 1);
}

inline bool loadline(Store& s, const std::vector<Line>& pipes)
{
    std::vector<double> L, Din, Dout, incl, rough, cell, amb, htc;
    for (const Line& p : pipes) {
        L.push_back(p.length);
        Din.push_back(p.diameter);
        Dout.push_back(p.diameter);
        incl.push_back(p.inclination);
        rough.push_back(p.roughness);
        cell.push_back(p.cellsize);
        amb.push_back(p.ambient);
        htc.push_back(p.htc);
    }
    if (!loadpipedata(s, static_cast<std::int32_t>(pipes.size()), L.data(), Din.data(), Dout.data(),
                      incl.data(), rough.data(), cell.data()))
        return false;
    loadwalldata(s, amb.data(), htc.data());
    return true;
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
