// The engine store: every scalar and array the engine keeps between calls.
//
// The engine holds one pipe network at a time. Pipes 1..numberofpipes lie in
// series; cells are numbered globally 1..totalcells, pipe p owning
// firstcell(p)..lastcell(p); face f lies between cells f-1 and f, so faces run
// 1..totalfaces = totalcells + 1 and the outlet face of pipe p is the inlet
// face of pipe p+1. End 1 is the upstream (inlet) end, end 2 the downstream
// (outlet) end; mass flow is positive from end 1 towards end 2.
//
// Internal routines take the store by reference, so tests can build a fresh
// store per case; only the exported C layer touches the process-wide one.
#pragma once

#include <cstdint>
#include <limits>

#include "engine/array.h"

namespace pelmora {

// Host property routine: context, two given values, five outputs.
using PropertyRoutine = void (*)(void* context, double a, double b, double* r1, double* r2,
                                 double* r3, double* r4, double* r5);

constexpr double largestdouble = std::numeric_limits<double>::max();

// Working face arrays of the steady march, sized when a network is loaded.
struct MarchFaces {
    Array1<double> pressure, temperature, density, energy, enthalpy, soundspeed, viscosity,
        velocity, machnumber;
};

struct Store {
    // ---- Counts and settings -------------------------------------------
    std::int32_t numberofpipes = 0;
    std::int32_t numberofvariables = 0;
    std::int32_t totalcells = 0;
    std::int32_t totalfaces = 0;
    double maximumtimestep = 0.0;
    double simulationtime = 0.0;

    // ---- Error codes (see errors.h) ---------------------------------------
    std::int32_t pipeerrorcode = 0;
    std::int32_t fluiderrorcode = 0;

    // ---- Kernel evaluation context -----------------------------------------
    std::int32_t currentcell = 0;
    std::int32_t currentface = 0;
    std::int32_t atinletface = logicalfalse;
    std::int32_t atoutletface = logicalfalse;

    // ---- Network-end boundary bookkeeping -----------------------------------
    EndPair<std::int32_t> bcloaded;
    EndPair<double> lastbcpressure, lastbctemperature, lastbcmassflow;
    EndPair<double> midbcpressure, midbctemperature, midbcmassflow;

    // ---- State at the two end faces of the chain being worked on ------------
    EndPair<double> endpressure, endtemperature, endmassflow, enddensity, endvelocity, endenergy,
        endenthalpy, endsoundspeed, endmachnumber;

    // ---- State at the network inlet (1) and outlet (2) ----------------------
    EndPair<double> bcpressure, bctemperature, bcmassflowrate, bcdensity, bcvelocity,
        bcinternalenergy, bcenthalpy, bcsoundspeed, bcmachnumber;

    EndPair<double> pipeendarea;

    // ---- Fluid description ---------------------------------------------------
    bool fluidloaded = false;
    double molweight = 0.0;       // kg/kmol
    double gamma = 0.0;           // cp/cv
    double idealviscosity = 0.0;  // Pa s
    double compressibility = 0.0; // Z of the ideal-gas model
    std::int32_t fluidmodel = 0;  // 2: host routines, anything else: ideal gas
    double cv = 0.0;              // J/(kg K)
    double cp = 0.0;              // J/(kg K)
    void* hostcontext = nullptr;
    PropertyRoutine hostptroutine = nullptr;
    PropertyRoutine hostrhoeroutine = nullptr;
    PropertyRoutine hostphroutine = nullptr;
    double fluidextra1 = 0.0;
    double fluidextra2 = 0.0;

    // ---- Current fluid state (overwritten by every evaluation) ---------------
    double curpressure = 0.0;    // Pa
    double curtemperature = 0.0; // K
    double curdensity = 0.0;     // kg/m3
    double curenergy = 0.0;      // J/kg
    double curenthalpy = 0.0;    // J/kg
    double curviscosity = 0.0;   // Pa s
    double cursoundspeed = 0.0;  // m/s

    // ==== Network group: allocated by loadpipedata, released by freepipememory
    bool networkloaded = false;

    // Per pipe.
    Array1<std::int32_t> firstcell, lastcell, pipepassflag;
    Array1<double> inletpressure, outletpressure, inlettemperature, outlettemperature,
        inletmassflow, outletmassflow;
    Array1<double> lastinletpressure, lastoutletpressure, lastinlettemperature,
        lastoutlettemperature, lastinletmassflow, lastoutletmassflow;
    Array1<double> midinletpressure, midoutletpressure, midinlettemperature, midoutlettemperature,
        midinletmassflow, midoutletmassflow;
    Array1<std::int32_t> inletpressurefixed, outletpressurefixed, inlettemperaturefixed,
        outlettemperaturefixed, inletmassflowfixed, outletmassflowfixed;

    // Per variable: ghost conserved vectors beyond the chain's ends.
    Array1<double> inletghost, outletghost;

    // Variable x cell.
    Array2 conserved, previousconserved;

    // Per cell: geometry and wall.
    Array1<double> celldiameter, cellarea, areagradient, cellinclination, relativeroughness;
    Array1<double> ambienttemperature, heattransfercoefficient;
    // Per cell: gas state.
    Array1<double> density, pressure, temperature, viscosity, soundspeed, internalenergy,
        totalenergy, enthalpy, totalenthalpy, velocity, massflowrate, machnumber;
    // Per cell: change measures of the latest cell update.
    Array1<double> massflowdeviation, temperaturechange, densitychange;

    // Per face.
    Array1<double> facediameter, facearea, faceinclination;

    // ==== Geometry-and-coefficient group: rebuilt by every load, kept by a free
    bool geometryloaded = false;
    Array1<double> celllength, inversecelllength, cellcentre;
    Array1<double> facelength, inversefacelength, faceposition;
    Array1<double> inletbcgradient, inletbcvalue, inletbcweight;
    Array1<double> outletbcgradient, outletbcvalue, outletbcweight;

    // ==== Working storage sized at load
    MarchFaces marchfaces;
    // The chain update's working window (solver/fct.cpp): a fixed size that
    // does not depend on the network, taken on the first update and kept.
    Array1<double> chainwindow;
};

// The one store that the exported entry points work on.
Store& engine();

// Sizes the steady-march face arrays for the counts
// of the network just loaded (totalfaces).
void sizeworkingstorage(Store& s);

// Exchanges the working storage of two stores. A network load sizes it in
// the store it builds and swaps it in together with the new arrays, so a
// failed allocation leaves the loaded network untouched. Anything added to
// sizeworkingstorage belongs here as well.
void swapworkingstorage(Store& a, Store& b) noexcept;

// True when a network is loaded and p names one of its pipes.
inline bool haspipe(const Store& s, std::int64_t p)
{
    return s.networkloaded && p >= 1 && p <= s.numberofpipes && p <= s.firstcell.size();
}

// True when pipe p is loaded and its cell range firstcell(p)..lastcell(p)
// lies within a per-cell array of `ncells` elements. After a load this holds
// for every pipe; a host restoring a saved state could have stored any range.
inline bool haspipecells(const Store& s, std::int64_t p, std::int64_t ncells)
{
    if (!haspipe(s, p) || p > s.lastcell.size())
        return false;
    const std::int64_t first = s.firstcell(p);
    const std::int64_t last = s.lastcell(p);
    return first >= 1 && first <= last && last <= ncells;
}

} // namespace pelmora
