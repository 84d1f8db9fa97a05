// Choked ends (see choke.h).
#include "choke.h"

#include <algorithm>
#include <cmath>

namespace pelmorarun {

double criticalpressure(const VentingEnd& end, double gamma, double cp)
{
    // Stagnation state of the end cell, then isentropic expansion to Mach 1.
    const double exponent = gamma / (gamma - 1.0);
    const double stagnation = end.celltemperature + 0.5 * end.cellspeed * end.cellspeed / cp;
    const double p0 = end.cellpressure * std::pow(stagnation / end.celltemperature, exponent);
    return p0 * std::pow(2.0 / (gamma + 1.0), exponent);
}

ChokeDecision chokedend(const VentingEnd& end, double gamma, double cp,
                        const ChokePressure& chokepressure, const ChokeSettings& settings)
{
    ChokeDecision d;
    d.pressure = end.tablepressure;
    const double held = 1.0 + settings.margin;
    // 1. A table pressure the end cannot choke against is imposed as it is
    //    (also when the cell state is not a usable number).
    if (!(end.tablepressure < held * criticalpressure(end, gamma, cp)))
        return d;
    // 2. Held above the choke pressure of the leaving flow, and falling at
    //    most by the bound per step.
    double choke = 0;
    if (end.outflow > 0 && end.temperature > 0 && end.diameter > 0)
        choke = chokepressure(end.temperature, end.diameter, end.outflow);
    d.chokepressure = std::max(choke, 0.0);
    const double sonic = held * d.chokepressure;
    const double floor = settings.fall * end.lastimposed;
    d.pressure = std::max({end.tablepressure, sonic, floor});
    d.choked = d.pressure > end.tablepressure && sonic >= floor;
    d.opening = d.pressure > end.tablepressure && floor > sonic;
    return d;
}

} // namespace pelmorarun
