// Checks of a scenario before it runs (see checks.h).
//
// Warning codes, stable for scripts that read summary.json:
//   bore-step          neighbouring pipes of different bore
//   taper              a pipe whose bore changes along it
//   free-end           an end that imposes nothing
//   pressure-unit      a pressure below 1 kPa (bar typed as Pa?)
//   temperature-unit   a temperature below 150 K (degrees Celsius typed as K?)
//   flow-above-choke   an imposed flow the end bore cannot pass below Mach 1
#include "checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pelmorarun {

namespace {

constexpr double pi = 3.14159265358979323846;
const std::string report = "docs/validation.md";

std::string number(double v, const char* format = "%.4g")
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

std::string pipename(std::size_t i) { return "pipes[" + std::to_string(i) + "]"; }

bool differ(double a, double b) { return std::abs(a - b) > 1e-9 * std::max(a, b); }

// The temperature the scenario starts pipe i with.
double starttemperature(const Scenario& s, std::size_t i)
{
    return s.start.steady ? s.start.b : s.start.temperature[i];
}

// Measured in docs/validation.md#bore-step (1 km of 0.6 m bore, then 1 km of
// the other, 60 kg/s from 60 bar and 288.15 K, settled): the temperature of
// the downstream pipe against the exact answer, which hardly differs from
// the inlet temperature. It follows the area ratio: the scheme carries the
// energy flux per unit area across the step unchanged, so the temperature
// downstream comes out scaled by (d_downstream / d_upstream)^2.
struct BoreStep {
    double ratio; // downstream over upstream diameter
    double error; // K, computed minus exact
};
const BoreStep measuredsteps[] = {
    {0.5, -216.8}, {0.7, -147.6}, {5.0 / 6.0, -88.4}, {0.9, -54.9}, {1.1, 60.5}, {1.2, 126.8},
};

// The measured step closest to a diameter ratio.
const BoreStep& comparable(double ratio)
{
    const BoreStep* best = &measuredsteps[0];
    for (const BoreStep& m : measuredsteps)
        if (std::abs(std::log(m.ratio / ratio)) < std::abs(std::log(best->ratio / ratio)))
            best = &m;
    return *best;
}

// What the area ratio does to the temperature across a bore change: the
// downstream temperature is scaled by (d_downstream / d_upstream)^2.
double steperror(double temperature, double from, double to)
{
    return temperature * ((to / from) * (to / from) - 1.0);
}

// Measured in docs/validation.md#bore-step: spread over a taper pipe, the
// 88 K of a 0.6 m to 0.5 m step become cell-to-cell errors of 21.6 K over 2
// cells, 7.2 K over 10 and 1.5 K over 40: below the step's error divided by
// the taper's cells, which is the estimate quoted.
double tapererror(double steperror, int cells) { return std::abs(steperror) / cells; }

void boresteps(const Scenario& s, Checks& c)
{
    for (std::size_t i = 0; i + 1 < s.pipes.size(); ++i) {
        const double a = s.pipes[i].outletdiameter, b = s.pipes[i + 1].inletdiameter;
        if (!differ(a, b))
            continue;
        const double t = starttemperature(s, i);
        const double down = steperror(t, a, b), up = steperror(t, b, a);
        const BoreStep& m = comparable(b / a);
        c.warnings.push_back(
            {"bore-step", pipename(i) + "/" + pipename(i + 1),
             pipename(i) + " ends in " + number(a) + " m and " + pipename(i + 1) + " starts in " +
                 number(b) +
                 " m: across a bore step the scheme scales the temperature by the area ratio, so "
                 "gas flowing into " +
                 pipename(i + 1) + " comes out about " + number(down, "%+.0f") +
                 " K off, gas flowing back about " + number(up, "%+.0f") + " K, at " +
                 number(t, "%.0f") + " K (measured for " + number(m.ratio, "%.2f") +
                 " times the bore: " + number(m.error, "%+.0f") +
                 " K); pressures and flows are right. A taper pipe of 10 cells between the two "
                 "bores keeps it to about " +
                 number(tapererror(down, 10), "%.0f") + " K. See " + report + "#bore-step"});
    }
}

void tapers(const Scenario& s, Checks& c)
{
    for (std::size_t i = 0; i < s.pipes.size(); ++i) {
        const Pipe& p = s.pipes[i];
        if (!differ(p.inletdiameter, p.outletdiameter))
            continue;
        const int cells = cellcount(p);
        const double step = steperror(starttemperature(s, i), p.inletdiameter, p.outletdiameter);
        c.warnings.push_back(
            {"taper", pipename(i),
             pipename(i) + " tapers from " + number(p.inletdiameter) + " m to " +
                 number(p.outletdiameter) + " m over " + std::to_string(cells) +
                 " cells: inside a taper the scheme leaves temperatures alternating from cell to "
                 "cell, here up to about " +
                 number(tapererror(step, cells), "%.0f") +
                 " K (the plain step's error over the taper's cells; measured 7.2 K for 0.6 m "
                 "to 0.5 m over 10 cells). See " +
                 report + "#bore-step"});
    }
}

void cellratios(const Scenario& s, Checks& c)
{
    for (std::size_t i = 0; i + 1 < s.pipes.size(); ++i) {
        const double a = s.pipes[i].length / cellcount(s.pipes[i]);
        const double b = s.pipes[i + 1].length / cellcount(s.pipes[i + 1]);
        const double ratio = std::max(a, b) / std::min(a, b);
        if (ratio <= largestcellratio || !c.refusal.empty())
            continue;
        c.refusal =
            pipename(i) + " and " + pipename(i + 1) + ": neighbouring cells of " +
            number(a, "%.4g") + " m and " + number(b, "%.4g") + " m (ratio " +
            number(ratio, "%.1f") + ") are beyond the ratio " + number(largestcellratio, "%.0f") +
            " that pelmora-run runs: the scheme diverges from a ratio of about 14 (" + report +
            "#cell-ratio). Bring the cell lengths closer, for example with a pipe of "
            "intermediate cells between them.";
    }
}

void freeends(const Scenario& s, Checks& c)
{
    for (std::size_t e = 0; e < 2; ++e) {
        const EndTable& t = s.ends[e];
        if (t.pressurefixed || t.temperaturefixed || t.massflowfixed)
            continue;
        const std::string name = e == 0 ? "inlet" : "outlet";
        c.warnings.push_back(
            {"free-end", "boundary." + name,
             "boundary." + name +
                 " fixes nothing: every value at that end follows from the cells, which the "
                 "scheme only keeps stable for gentle flows (strong waves diverged). See " +
                 report + "#free-ends"});
    }
}

// Pressures and temperatures that look like bar or degrees Celsius.
struct Units {
    Checks& c;
    void pressure(const std::string& where, double p) const
    {
        if (!(p < 1000.0))
            return;
        c.warnings.push_back({"pressure-unit", where,
                              where + " is " + number(p) + " Pa, below 1 kPa: a value in bar? (" +
                                  number(p) + " bar is " + number(p * 1e5) +
                                  " Pa; pressures are in Pa)"});
    }
    void temperature(const std::string& where, double t) const
    {
        if (!(t < 150.0))
            return;
        c.warnings.push_back({"temperature-unit", where,
                              where + " is " + number(t) +
                                  " K, below 150 K: a value in degrees Celsius? (" + number(t) +
                                  " degC is " + number(t + 273.15) + " K; temperatures are in K)"});
    }
};

void units(const Scenario& s, Checks& c)
{
    const Units u{c};
    for (std::size_t e = 0; e < 2; ++e) {
        const EndTable& t = s.ends[e];
        const std::string table =
            std::string("boundary.") + (e == 0 ? "inlet" : "outlet") + ".table";
        for (std::size_t k = 0; k < t.time.size(); ++k) {
            const std::string row = table + "[" + std::to_string(k) + "]";
            u.pressure(row + ".pressure", t.pressure[k]);
            u.temperature(row + ".temperature", t.temperature[k]);
        }
    }
    if (s.start.steady) {
        u.pressure("initial.a", s.start.a);
        u.temperature("initial.b", s.start.b);
        if (s.start.mode >= 5)
            u.pressure("initial.c", s.start.c);
    } else {
        // One warning for a value given once for every pipe.
        const auto perpipe = [](const std::vector<double>& v, const std::string& name,
                                const auto& check) {
            const bool one = std::all_of(v.begin(), v.end(), [&](double x) { return x == v[0]; });
            for (std::size_t i = 0; i < (one ? 1 : v.size()); ++i)
                check(one ? name : name + "[" + std::to_string(i) + "]", v[i]);
        };
        perpipe(s.start.pressure, "initial.pressure",
                [&](const std::string& w, double p) { u.pressure(w, p); });
        perpipe(s.start.temperature, "initial.temperature",
                [&](const std::string& w, double t) { u.temperature(w, t); });
    }
    for (std::size_t i = 0; i < s.pipes.size(); ++i)
        u.temperature(pipename(i) + ".ambienttemperature", s.pipes[i].ambienttemperature);
}

// The mass flow an end bore passes at Mach 1 at the starting state of the
// end: rho c A = p A sqrt(gamma / (Z R T)).
void chokeflows(const Scenario& s, const GasConstants& gas, Checks& c)
{
    for (std::size_t e = 0; e < 2; ++e) {
        const EndTable& t = s.ends[e];
        if (!t.massflowfixed)
            continue;
        double demand = 0;
        for (double m : t.massflow)
            demand = std::max(demand, std::abs(m));
        const std::size_t pipe = e == 0 ? 0 : s.pipes.size() - 1;
        const double d = e == 0 ? s.pipes.front().inletdiameter : s.pipes.back().outletdiameter;
        double p = 0, temperature = 0;
        if (s.start.steady) {
            // The steady state starts from end 1 in modes 1, 3 and 5; the far
            // end's pressure is not known before the march, so the starting
            // end's stands in for both (an upper bound of what passes).
            p = s.start.a;
            temperature = s.start.b;
        } else {
            p = s.start.pressure[pipe];
            temperature = s.start.temperature[pipe];
        }
        const double sonic =
            p * 0.25 * pi * d * d * std::sqrt(gas.gamma / (gas.gasconstant() * temperature));
        if (!(demand > sonic))
            continue;
        const std::string name = e == 0 ? "inlet" : "outlet";
        c.warnings.push_back(
            {"flow-above-choke", "boundary." + name,
             "boundary." + name + " imposes up to " + number(demand) + " kg/s, more than the " +
                 number(sonic) + " kg/s that its " + number(d) + " m bore passes at Mach 1 at " +
                 number(p / 1e5) + " bar and " + number(temperature, "%.1f") +
                 " K: no real end carries that flow; the engine will be driven supersonic there "
                 "and then to the pressure floor. See " +
                 report + "#choked-vent"});
    }
}

} // namespace

int cellcount(const Pipe& p)
{
    const double r1 = 1.0 / p.celllength;
    const double r2 = std::abs(p.inletdiameter - p.outletdiameter) * 2.0 /
                      (std::min(p.inletdiameter, p.outletdiameter) * p.length);
    const double x = p.length / (1.0 / std::max(r1, r2));
    return std::max(3, static_cast<int>(std::trunc(x + 0.5)));
}

Checks checkscenario(const Scenario& s, const GasConstants& gas)
{
    Checks c;
    boresteps(s, c);
    tapers(s, c);
    cellratios(s, c);
    freeends(s, c);
    units(s, c);
    chokeflows(s, gas, c);
    return c;
}

} // namespace pelmorarun
