// State exchange: copying the engine store out to the host and back in.
//
//   getfluidparams / setfluidparams   gas description and current fluid state
//   gethyperparams / sethyperparams   scheme counts, evaluation context, end
//                                     coefficients and grid spacings
//   getuhistory / setuhistory         both levels of the conserved variables
//   getphysparams / setphysparams     the whole physical state of the network
//
// Together they let a host save the engine's state and restore it later, so
// that the same calls afterwards give the same results bit for bit. All of
// them are plain copies: nothing is computed or reallocated.
//
// Every routine first checks everything it is about to read or write (a
// pointer the copy needs must not be NULL, a positive count must fit the
// arrays the latest network load allocated) and only then copies. A call
// that fails a check changes nothing, writes nothing, sets code 3 on its
// side and returns false. A count of 0 or less skips its group of arrays,
// and the pointers of a skipped group are not looked at.
//
// The host's buffers are described by small structs of pointers, one field
// (or one slot of a std::array) per argument of the exported entry point, in
// argument order. The same struct serves both directions: the "Out" form has
// writable pointers for the get routines, the "In" form const pointers for
// the set routines.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "engine/store.h"

namespace pelmora {

// ---- Helpers shared by the copy routines ---------------------------------------

// True when none of the pointers is NULL.
template <class Pointer, std::size_t N>
bool allpresent(const std::array<Pointer, N>& pointers)
{
    return std::none_of(pointers.begin(), pointers.end(),
                        [](const auto* p) { return p == nullptr; });
}

// A list of store arrays, by member, in the order of the host's arguments.
template <class Item, std::size_t N>
using StoreArrays = std::array<Array1<Item> Store::*, N>;

// True when a group with this count may be copied to or from these store
// arrays: a count of 0 or less copies nothing, a positive one must fit every
// array as the latest network load allocated it.
template <class Item, std::size_t N>
bool countfits(const Store& s, std::int64_t count, const StoreArrays<Item, N>& items)
{
    return count <= 0 || std::all_of(items.begin(), items.end(),
                                     [&](auto item) { return count <= (s.*item).size(); });
}

// True when the host gave a buffer for every array of a group that will be
// copied (count above 0).
template <class Pointer, std::size_t N>
bool buffersgiven(std::int64_t count, const std::array<Pointer, N>& buffers)
{
    return count <= 0 || allpresent(buffers);
}

// Copies the first count elements of each listed store array to the host
// buffer in the same slot, or back. A count of 0 or less copies nothing.
template <class Item, std::size_t N>
void copyarraysout(const Store& s, std::int64_t count, const StoreArrays<Item, N>& items,
                   const std::array<Item*, N>& buffers)
{
    if (count <= 0)
        return;
    for (std::size_t j = 0; j < N; ++j)
        std::copy_n((s.*items[j]).at(1), count, buffers[j]);
}
template <class Item, std::size_t N>
void copyarraysin(Store& s, std::int64_t count, const StoreArrays<Item, N>& items,
                  const std::array<const Item*, N>& buffers)
{
    if (count <= 0)
        return;
    for (std::size_t j = 0; j < N; ++j)
        std::copy_n(buffers[j], count, (s.*items[j]).at(1));
}

// ---- Fluid description and current fluid state (14 items) -------------------
template <class Real, class Integer>
struct FluidParamBuffers {
    Real* molweight;
    Real* gamma;
    Real* viscosity; // the current state's viscosity, not the ideal-gas constant
    Real* cp;
    Real* cv;
    Real* density;
    Real* energy;
    Real* enthalpy;
    Real* pressure;
    Real* temperature;
    Real* soundspeed;
    Integer* model;
    Real* extra1;
    Real* extra2;
};
using FluidParamsOut = FluidParamBuffers<double, std::int32_t>;
using FluidParamsIn = FluidParamBuffers<const double, const std::int32_t>;

bool getfluidparams(Store& s, const FluidParamsOut& b);

// Stores the 14 items as given (cp and cv are not derived again). The gas
// counts as loaded afterwards exactly when the stored items describe one the
// engine can evaluate (see gasisusable); no code is set either way.
bool setfluidparams(Store& s, const FluidParamsIn& b);

// True when molweight is positive and finite, gamma finite and above 1, cv
// and cp positive and finite, and, for the host model, all three property
// routines are present.
bool gasisusable(const Store& s);

// ---- Scheme parameters (20 items) ---------------------------------------------
template <class Real, class Integer>
struct HyperParamBuffers {
    Integer* numberofvariables;
    Integer* totalcells;
    Integer* totalfaces;
    Integer* currentcell;
    Integer* currentface;
    Integer* atinletface;
    Integer* atoutletface;
    Real* simulationtime;
    // inletbcgradient, inletbcvalue, inletbcweight,
    // outletbcgradient, outletbcvalue, outletbcweight: one element per variable
    std::array<Real*, 6> variablereals;
    // faceposition, facelength, inversefacelength: one element per face
    std::array<Real*, 3> facereals;
    // cellcentre, celllength, inversecelllength: one element per cell
    std::array<Real*, 3> cellreals;
};
using HyperParamsOut = HyperParamBuffers<double, std::int32_t>;
using HyperParamsIn = HyperParamBuffers<const double, const std::int32_t>;

// Copies the eight scalars, then each array group with the store's count.
bool gethyperparams(Store& s, const HyperParamsOut& b);

// Stores the eight scalars (the three counts included), then copies each
// array group in with the new counts. Refused as a whole when a new positive
// count exceeds the allocated length of its arrays.
bool sethyperparams(Store& s, const HyperParamsIn& b);

// ---- Both levels of the conserved variables -------------------------------------
// Host layout: variable k of cell i at element (k-1)*ncells + (i-1), the
// transpose of the store's.
bool getuhistory(Store& s, double* previous, double* current);
bool setuhistory(Store& s, const std::int32_t* nvars, const std::int32_t* ncells,
                 const double* previous, const double* current);

// ---- Physical state (106 items) ------------------------------------------------
// Each end-pair item takes two consecutive slots, end 1 then end 2.
template <class Real, class Integer>
struct PhysicalStateBuffers {
    Integer* numberofpipes;               // 1
    std::array<Integer*, 9> pipeintegers; // 2 to 10: pass flag, cell range, six fixed flags
    Real* maximumtimestep;                // 11
    std::array<Real*, 20> leadingpairs;   // 12 to 31: end state, applied and previous bc values
    std::array<Real*, 18> pipereals;      // 32 to 49: per-pipe boundary values
    std::array<Real*, 2> variablereals;   // 50, 51: ghost vectors
    std::array<Real*, 3> facereals;       // 52 to 54: face geometry
    std::array<Real*, 22> cellreals;      // 55 to 76: cell geometry, state and wall
    std::array<Real*, 28> trailingpairs;  // 77 to 104: rest of the end state, network-end state
    std::array<Integer*, 2> bcloaded;     // 105, 106
};
using PhysicalStateOut = PhysicalStateBuffers<double, std::int32_t>;
using PhysicalStateIn = PhysicalStateBuffers<const double, const std::int32_t>;

// Copies every scalar and end pair, then each array group with the store's
// count (numberofpipes, numberofvariables, totalfaces, totalcells).
bool getphysparams(Store& s, const PhysicalStateOut& b);

// Stores numberofpipes and every scalar and end pair, then copies the
// per-pipe arrays (b.numberofpipes elements), the per-variable arrays
// (nvars), the per-face arrays (nfaces) and the per-cell arrays (ncells).
// Besides the count checks, refused when a copied cell range does not lie
// within the allocated cells (1 <= firstcell <= lastcell <= cells), since
// every pipe loop of the engine walks those ranges.
bool setphysparams(Store& s, const std::int32_t* nvars, const std::int32_t* nfaces,
                   const std::int32_t* ncells, const PhysicalStateIn& b);

} // namespace pelmora
