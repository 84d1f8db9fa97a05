// Building small networks in a test's own store.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/store.h"
#include "network/network.h"

namespace pelmora::testing {

struct Pipe {
    double length = 10.0;        // m
    double inletdiameter = 0.5;  // m
    double outletdiameter = 0.5; // m
    double inclination = 0.0;    // rad
    double roughness = 1.0e-5;   // m
    double celllength = 1.0;     // target, m
};

// Loads the pipes through loadpipedata; returns what it returned.
inline bool loadpipes(Store& s, const std::vector<Pipe>& pipes)
{
    std::vector<double> length, din, dout, incl, rough, cell;
    for (const Pipe& p : pipes) {
        length.push_back(p.length);
        din.push_back(p.inletdiameter);
        dout.push_back(p.outletdiameter);
        incl.push_back(p.inclination);
        rough.push_back(p.roughness);
        cell.push_back(p.celllength);
    }
    // A zero-pipe load still needs valid addresses.
    const double none = 1.0;
    auto at = [&](const std::vector<double>& v) { return v.empty() ? &none : v.data(); };
    return loadpipedata(s, static_cast<std::int32_t>(pipes.size()), at(length), at(din), at(dout),
                        at(incl), at(rough), at(cell));
}

// A pipe of `cells` cells of 1 m, diameter d.
inline Pipe pipeofcells(int cells, double d = 0.5)
{
    Pipe p;
    p.length = cells;
    p.inletdiameter = d;
    p.outletdiameter = d;
    return p;
}

} // namespace pelmora::testing
