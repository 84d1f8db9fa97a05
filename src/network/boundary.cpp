// Boundary values at the ends of pipes.
//
// Every pipe end has a pressure, a temperature and a mass flow, each either
// imposed (its flag true) or left to follow from the cells next to the end.
// Both entry points keep the value that held before the change, so that the
// drivers can ramp the applied value from the previous to the latest one
// across a host step.
#include <cmath>
#include <cstdint>

#include "engine/errors.h"
#include "network/network.h"

namespace pelmora {

namespace {

// The new current values and flags; flags are stored as the host gave them.
void storeboundary(PipeEnd& e, double p, double T, double m, std::int32_t pfixed,
                   std::int32_t tfixed, std::int32_t mfixed)
{
    e.pressure = p;
    e.temperature = T;
    e.massflow = m;
    e.pressurefixed = pfixed;
    e.temperaturefixed = tfixed;
    e.massflowfixed = mfixed;
}

bool validend(std::int32_t end) { return end == 1 || end == 2; }

// A value that is not a number or infinite would be ramped into the next
// step and leave a state that is not a number behind; such a call is
// refused before anything is stored.
bool finitevalues(double p, double T, double m)
{
    return std::isfinite(p) && std::isfinite(T) && std::isfinite(m);
}

} // namespace

void loadbc(Store& s, std::int32_t end, double p, double T, double m, std::int32_t pfixed,
            std::int32_t tfixed, std::int32_t mfixed)
{
    if (!validend(end))
        return;
    // End 1 is the inlet of the first pipe, end 2 the outlet of the last.
    const std::int32_t pipe = end == 1 ? 1 : s.numberofpipes;
    if (!haspipe(s, pipe) || !finitevalues(p, T, m)) {
        refusepipe(s);
        return;
    }
    PipeEnd e = pipeend(s, pipe, end);

    // The previous values: those in force before this call, or, for the
    // first call since the flags were cleared, the new values themselves,
    // so that the first step sees no ramp from the starting state.
    if (istrue(s.bcloaded(end))) {
        e.lastpressure = e.pressure;
        e.lasttemperature = e.temperature;
        e.lastmassflow = e.massflow;
    } else {
        e.lastpressure = p;
        e.lasttemperature = T;
        e.lastmassflow = m;
    }

    // The new values and flags.
    storeboundary(e, p, T, m, pfixed, tfixed, mfixed);

    // This end is loaded; the drivers start the network end from the
    // previous values.
    s.bcloaded(end) = logicaltrue;
    s.lastbcpressure(end) = e.lastpressure;
    s.lastbctemperature(end) = e.lasttemperature;
    s.lastbcmassflow(end) = e.lastmassflow;
}

void loadbcpipe(Store& s, std::int32_t pipe, std::int32_t end, double p, double T, double m,
                std::int32_t pfixed, std::int32_t tfixed, std::int32_t mfixed)
{
    if (!validend(end))
        return;
    if (!haspipe(s, pipe) || !finitevalues(p, T, m)) {
        refusepipe(s);
        return;
    }
    PipeEnd e = pipeend(s, pipe, end);

    // The previous values are always the ones before this call; the
    // network-end bookkeeping (bcloaded and the carried-over pairs)
    // belongs to loadbc and the drivers and stays as it is.
    e.lastpressure = e.pressure;
    e.lasttemperature = e.temperature;
    e.lastmassflow = e.massflow;

    // The new values and flags.
    storeboundary(e, p, T, m, pfixed, tfixed, mfixed);
}

} // namespace pelmora
