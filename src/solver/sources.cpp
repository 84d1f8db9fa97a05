// Cell source terms and the Fanning friction factor.
//
// The source vector completes the quasi-one-dimensional Euler equations
// whose mass variable is A rho (per unit length) while momentum and energy
// are per unit volume:
//   S1 = 0                                    no mass source
//   S2 = G - rho u^2 K + W                    gravity, area change, wall shear
//   S3 = (-rho h0 K + G) u + Q                area change, work of gravity, wall heat
// with K = (1/A) dA/dx, G = -g rho sin(theta), W the wall shear per unit
// volume and Q the wall heat flow per unit volume.
//
// One function, sourcesof, forms them for one cell; cellsource, the
// batched cellsources and the steady march's marchsources all go through
// it. The power and logarithm of the friction factor are the C library's
// values everywhere: a power within an ulp of the library's is not enough,
// since the limiter's sign switches and the steady march's sub-step count
// turn a one-ulp difference of a friction factor into differences of 1e-9
// within a minute of simulated time. cellsources computes them for a run of
// cells at once with vecmath, which gives the library's bits several at a
// time where it can and calls the library where it cannot.
#include "solver/vectorise.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "engine/errors.h"
#include "vecmath/vecmath.h"
#include "solver/solver.h"

namespace pelmora {

namespace {

// Reynolds number below which there is no friction, and above which the
// flow is turbulent (no transition blending: the value jumps there).
constexpr double noflowreynolds = 0.001;
constexpr double laminarreynolds = 2000.0;

// L = log10(eps + 21.25 / Re^0.9) of the turbulent formula, from the C
// library's functions.
inline double turbulentlog(double re, double relativeroughness)
{
    return std::log10(relativeroughness + 21.25 / std::pow(re, 0.9));
}

// The friction factor from the Reynolds number and, for a turbulent flow,
// the logarithm L: no friction with Re not above 0.001 (NaN included);
// 0.25 / (1.14 - L - L)^2 above Re = 2000 (explicit Jain-type formula);
// 16 / Re in between (laminar).
// Written with selects, so that a loop using it vectorises; one division
// serves both regimes.
inline double frictionfromlog(double re, double l)
{
    const bool turbulent = re > laminarreynolds;
    const double t = 1.14 - l - l;
    const double tt = t * t;
    const double numerator = turbulent ? 0.25 : 16.0;
    const double denominator = turbulent ? tt : re;
    const double f = numerator / denominator;
    return re > noflowreynolds ? f : 0.0;
}

// What the sources of one cell depend on besides its friction factor.
struct SourceInputs {
    double density, velocity, temperature, totalenthalpy; // the gas in the cell
    double diameter, area, areagradient, sine;            // the duct
    double ambienttemperature, heattransfercoefficient;   // the wall
};

// Which grouping of the terms: the transient scheme's, or the steady
// march's. The march writes its steady balances with the terms in another
// order: the wall shear with its factors the other way round and first in
// the momentum sum, the wall heat with the coefficient first. The two differ
// in the last bit, and each keeps its own so that transients and marches
// stay identical with what they computed before.
enum class Grouping { scheme, march };

// Momentum and energy sources of one cell with friction factor f.
template <Grouping grouping>
inline CellSources sourcesof(const SourceInputs& c, double f)
{
    const double rho = c.density;
    const double u = c.velocity;
    const double perimeter = pi * c.diameter;
    const double g = -gravity * rho * c.sine;
    const double areachange = rho * u * u * c.areagradient;
    if constexpr (grouping == Grouping::scheme) {
        const double w = -(0.5 * f) * rho * u * std::abs(u) * perimeter / c.area;
        const double q =
            (c.ambienttemperature - c.temperature) * c.heattransfercoefficient * perimeter / c.area;
        return {g - areachange + w, (-rho * c.totalenthalpy * c.areagradient + g) * u + q};
    } else {
        const double w = -(rho * 0.5 * u * std::abs(u) * perimeter * f) / c.area;
        const double q =
            c.heattransfercoefficient * perimeter * (c.ambienttemperature - c.temperature) / c.area;
        return {w + g - areachange, (g - rho * c.totalenthalpy * c.areagradient) * u + q};
    }
}

// The inputs of cell c from its state in the store.
SourceInputs sourceinputs(const Store& s, std::int32_t c, double sine)
{
    return {s.density(c),
            s.velocity(c),
            s.temperature(c),
            s.totalenthalpy(c),
            s.celldiameter(c),
            s.cellarea(c),
            s.areagradient(c),
            sine,
            s.ambienttemperature(c),
            s.heattransfercoefficient(c)};
}

} // namespace

double frictionfactor(double re, double relativeroughness)
{
    const double l = re > laminarreynolds ? turbulentlog(re, relativeroughness) : 0.0;
    return frictionfromlog(re, l);
}

double cellfriction(Store& s, std::int32_t c)
{
    const double mu = s.viscosity(c);
    if (!(mu > 0.0))
        return 0.0;
    double re = s.density(c) * std::abs(s.velocity(c)) * s.celldiameter(c) / mu;
    if (re > reynoldscap) {
        re = reynoldscap;
        s.pipeerrorcode = std::max<std::int32_t>(s.pipeerrorcode, codereynoldscapped);
    }
    return frictionfactor(re, s.relativeroughness(c));
}

void cellsource(Store& s, std::int32_t c, double source[3])
{
    const double f = cellfriction(s, c);
    const CellSources q =
        sourcesof<Grouping::scheme>(sourceinputs(s, c, std::sin(s.cellinclination(c))), f);
    source[0] = 0.0;
    source[1] = q.momentum;
    source[2] = q.energy;
}

CellSources marchsources(const Store& s, std::int32_t c, double f, double sine)
{
    return sourcesof<Grouping::march>(sourceinputs(s, c, sine), f);
}

namespace {

// cellsources works through a run in passes of this many cells, with its
// intermediate arrays on the stack.
constexpr std::int32_t passcells = 256;

// sin(angle), reusing the latest value when the angle has not changed.
double sineof(InclinationSine& cache, double angle)
{
    const auto bits = std::bit_cast<std::uint64_t>(angle);
    if (bits != cache.anglebits) {
        cache.anglebits = bits;
        cache.sine = std::sin(angle);
    }
    return cache.sine;
}

// How many cells of a pass had their Reynolds number capped, and how many
// flow turbulently.
struct ReynoldsCounts {
    int capped, turbulent;
};

// Pass 1 of cellsources over n cells: the Reynolds numbers, capped at 1e10,
// or NaN where there is no viscosity, hence no friction.
PELMORA_VECTORISED
ReynoldsCounts reynoldsnumbers(std::int32_t n, const double* __restrict density,
                               const double* __restrict velocity,
                               const double* __restrict celldiameter,
                               const double* __restrict viscosity, double* __restrict reynolds)
{
    const double nofriction = std::numeric_limits<double>::quiet_NaN();
    int capped = 0, turbulent = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const double mu = viscosity[i];
        const double re = density[i] * std::abs(velocity[i]) * celldiameter[i] / mu;
        const double limited = re > reynoldscap ? reynoldscap : re;
        const double stored = mu > 0.0 ? limited : nofriction;
        reynolds[i] = stored;
        capped += mu > 0.0 && re > reynoldscap ? 1 : 0;
        turbulent += stored > laminarreynolds ? 1 : 0;
    }
    return {capped, turbulent};
}

// argument[i] = eps[i] + 21.25 / power[i].
PELMORA_VECTORISED
void logarguments(std::int32_t n, const double* __restrict relativeroughness,
                  const double* __restrict power, double* __restrict argument)
{
    for (std::int32_t i = 0; i < n; ++i)
        argument[i] = relativeroughness[i] + 21.25 / power[i];
}

// logarithm[i] = log10(eps[i] + 21.25 / power[i]).
void logsfrompowers(std::int32_t n, const double* relativeroughness, const double* power,
                    double* argument, double* logarithm)
{
    logarguments(n, relativeroughness, power, argument);
    vecmath::log10s(n, argument, logarithm);
}

// Pass 2 of cellsources: L = log10(eps + 21.25 / Re^0.9) where the flow is
// turbulent, else 0; the power and logarithm come from vecmath, for the
// whole run at once. A run that is not turbulent throughout passes only its
// turbulent cells, packed, so that laminar cells and cells without friction
// cost nothing and pass nothing odd to the library.
void turbulentlogs(std::int32_t n, const double* reynolds, const double* relativeroughness,
                   bool allturbulent, double* logarithm)
{
    double power[passcells], argument[passcells];
    if (allturbulent) {
        vecmath::powers(n, reynolds, 0.9, power);
        logsfrompowers(n, relativeroughness, power, argument, logarithm);
        return;
    }
    std::int32_t lane[passcells];
    double packed[passcells], roughness[passcells], result[passcells];
    std::int32_t m = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        logarithm[i] = 0.0;
        if (reynolds[i] > laminarreynolds) {
            lane[m] = i;
            roughness[m] = relativeroughness[i];
            packed[m++] = reynolds[i];
        }
    }
    vecmath::powers(m, packed, 0.9, power);
    logsfrompowers(m, roughness, power, argument, result);
    for (std::int32_t j = 0; j < m; ++j)
        logarithm[lane[j]] = result[j];
}

// True when every angle[i] has the bits of angle.
PELMORA_VECTORISED
bool allequal(const double* __restrict angles, std::int32_t n, std::uint64_t anglebits)
{
    int count = 0;
    for (std::int32_t i = 0; i < n; ++i)
        count += std::bit_cast<std::uint64_t>(angles[i]) == anglebits ? 1 : 0;
    return count == n;
}

// sines[i] = sin(angle[i]), through the cache: a run of one inclination (the
// usual case) costs one comparison per cell and at most one sine.
void sinesof(InclinationSine& cache, const double* angles, std::int32_t n, double* sines)
{
    if (n > 0)
        sineof(cache, angles[0]); // the run's first angle is the one to compare with
    if (!allequal(angles, n, cache.anglebits))
        for (std::int32_t i = 0; i < n; ++i)
            sines[i] = sineof(cache, angles[i]);
    else
        for (std::int32_t i = 0; i < n; ++i)
            sines[i] = cache.sine;
}

// Pass 3: the source vectors, given the Reynolds numbers, the logarithms of
// the turbulent cells and the sines of the inclinations (a NaN Reynolds
// number gives no friction).
PELMORA_VECTORISED
void sourcevectors(std::int32_t n, const double* __restrict reynolds,
                   const double* __restrict logarithm, const double* __restrict sine,
                   const double* __restrict density, const double* __restrict velocity,
                   const double* __restrict celldiameter, const double* __restrict cellarea,
                   const double* __restrict areagradient,
                   const double* __restrict ambienttemperature,
                   const double* __restrict temperature,
                   const double* __restrict heattransfercoefficient,
                   const double* __restrict totalenthalpy, double* __restrict source1,
                   double* __restrict source2, double* __restrict source3)
{
    for (std::int32_t i = 0; i < n; ++i) {
        const CellSources q =
            sourcesof<Grouping::scheme>({density[i], velocity[i], temperature[i], totalenthalpy[i],
                                         celldiameter[i], cellarea[i], areagradient[i], sine[i],
                                         ambienttemperature[i], heattransfercoefficient[i]},
                                        frictionfromlog(reynolds[i], logarithm[i]));
        source1[i] = 0.0;
        source2[i] = q.momentum;
        source3[i] = q.energy;
    }
}

} // namespace

void cellsources(Store& s, std::int32_t from, std::int32_t to, InclinationSine& sine,
                 double* source1, double* source2, double* source3)
{
    double reynolds[passcells], logarithm[passcells], sines[passcells];
    for (std::int32_t c0 = from; c0 <= to; c0 += passcells) {
        const std::int32_t n = c0 + passcells - 1 <= to ? passcells : to - c0 + 1;
        // Reynolds numbers.
        const ReynoldsCounts counts =
            reynoldsnumbers(n, s.density.at(c0), s.velocity.at(c0), s.celldiameter.at(c0),
                            s.viscosity.at(c0), reynolds);
        if (counts.capped != 0)
            s.pipeerrorcode = std::max<std::int32_t>(s.pipeerrorcode, codereynoldscapped);
        // The logarithms of the turbulent formula, and the sines of the
        // inclinations.
        turbulentlogs(n, reynolds, s.relativeroughness.at(c0), counts.turbulent == n, logarithm);
        sinesof(sine, s.cellinclination.at(c0), n, sines);
        // The source vectors.
        const std::int32_t offset = c0 - from;
        sourcevectors(n, reynolds, logarithm, sines, s.density.at(c0), s.velocity.at(c0),
                      s.celldiameter.at(c0), s.cellarea.at(c0), s.areagradient.at(c0),
                      s.ambienttemperature.at(c0), s.temperature.at(c0),
                      s.heattransfercoefficient.at(c0), s.totalenthalpy.at(c0), source1 + offset,
                      source2 + offset, source3 + offset);
    }
}

} // namespace pelmora
