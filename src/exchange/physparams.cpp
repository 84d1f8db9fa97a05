// Exchange of the physical state of the network: pipe layout, boundary
// settings and values, end states, cell and face geometry, wall data and
// every per-cell state array.
//
// The store items are listed below by group, each list in the order of the
// host's arguments; the buffer structs of state.h follow the same order.
#include <algorithm>

#include "engine/errors.h"
#include "exchange/state.h"

namespace pelmora {

namespace {

using StorePairs = EndPair<double> Store::*;

// Arguments 2 to 10: per-pipe integers and logicals.
constexpr StoreArrays<std::int32_t, 9> pipeintegers = {
    &Store::pipepassflag,           &Store::firstcell,           &Store::lastcell,
    &Store::inletpressurefixed,     &Store::outletpressurefixed, &Store::inlettemperaturefixed,
    &Store::outlettemperaturefixed, &Store::inletmassflowfixed,  &Store::outletmassflowfixed,
};

// Arguments 12 to 31: end pairs, two arguments each.
constexpr std::array<StorePairs, 10> leadingpairs = {
    &Store::endpressure,    &Store::enddensity,     &Store::endvelocity,
    &Store::endenthalpy,    &Store::midbcpressure,  &Store::midbctemperature,
    &Store::midbcmassflow,  &Store::lastbcpressure, &Store::lastbctemperature,
    &Store::lastbcmassflow,
};

// Arguments 32 to 49: per-pipe boundary values, previous, latest, applied.
constexpr StoreArrays<double, 18> pipereals = {
    &Store::lastinletpressure,    &Store::lastoutletpressure,   &Store::inletpressure,
    &Store::outletpressure,       &Store::lastinlettemperature, &Store::lastoutlettemperature,
    &Store::inlettemperature,     &Store::outlettemperature,    &Store::lastinletmassflow,
    &Store::lastoutletmassflow,   &Store::inletmassflow,        &Store::outletmassflow,
    &Store::midinletpressure,     &Store::midoutletpressure,    &Store::midinlettemperature,
    &Store::midoutlettemperature, &Store::midinletmassflow,     &Store::midoutletmassflow,
};

// Arguments 50 and 51: the ghost conserved vectors, per variable.
constexpr StoreArrays<double, 2> variablereals = {&Store::inletghost, &Store::outletghost};

// Arguments 52 to 54: face geometry.
constexpr StoreArrays<double, 3> facereals = {&Store::facediameter, &Store::facearea,
                                              &Store::faceinclination};

// Arguments 55 to 76: cell geometry, gas state, wall, change measures.
constexpr StoreArrays<double, 22> cellreals = {
    &Store::celldiameter,
    &Store::cellarea,
    &Store::areagradient,
    &Store::cellinclination,
    &Store::relativeroughness,
    &Store::pressure,
    &Store::temperature,
    &Store::soundspeed,
    &Store::density,
    &Store::viscosity,
    &Store::internalenergy,
    &Store::totalenergy,
    &Store::enthalpy,
    &Store::totalenthalpy,
    &Store::velocity,
    &Store::massflowrate,
    &Store::machnumber,
    &Store::ambienttemperature,
    &Store::heattransfercoefficient,
    &Store::densitychange,
    &Store::temperaturechange,
    &Store::massflowdeviation,
};

// Arguments 77 to 104: the rest of the end state, then the network-end state.
constexpr std::array<StorePairs, 14> trailingpairs = {
    &Store::endtemperature, &Store::endmassflow,   &Store::endenergy,      &Store::endsoundspeed,
    &Store::endmachnumber,  &Store::bcpressure,    &Store::bcdensity,      &Store::bcvelocity,
    &Store::bcenthalpy,     &Store::bctemperature, &Store::bcmassflowrate, &Store::bcinternalenergy,
    &Store::bcsoundspeed,   &Store::bcmachnumber,
};

// Every single-valued buffer of the call: the scalars and both ends of the
// pairs, which are copied whatever the counts.
template <class Real, class Integer>
bool scalarbuffersgiven(const PhysicalStateBuffers<Real, Integer>& b)
{
    return b.numberofpipes != nullptr && b.maximumtimestep != nullptr &&
           allpresent(b.leadingpairs) && allpresent(b.trailingpairs) && allpresent(b.bcloaded);
}

// True when every group with the given counts has its buffers and fits the
// store's arrays.
template <class Real, class Integer>
bool groupsfit(const Store& s, const PhysicalStateBuffers<Real, Integer>& b, std::int64_t npipes,
               std::int64_t nvars, std::int64_t nfaces, std::int64_t ncells)
{
    return buffersgiven(npipes, b.pipeintegers) && buffersgiven(npipes, b.pipereals) &&
           buffersgiven(nvars, b.variablereals) && buffersgiven(nfaces, b.facereals) &&
           buffersgiven(ncells, b.cellreals) && countfits(s, npipes, pipeintegers) &&
           countfits(s, npipes, pipereals) && countfits(s, nvars, variablereals) &&
           countfits(s, nfaces, facereals) && countfits(s, ncells, cellreals);
}

// True when the first npipes cell ranges the host gives lie within the
// allocated cells, each running forwards: the pipe loops of the engine walk
// firstcell(p)..lastcell(p) and the faces up to lastcell(p) + 1.
bool cellrangesfit(const Store& s, std::int64_t npipes, const std::int32_t* firstcell,
                   const std::int32_t* lastcell)
{
    const std::int64_t cells = allocatedcells(s);
    for (std::int64_t p = 0; p < npipes; ++p)
        if (firstcell[p] < 1 || lastcell[p] < firstcell[p] || lastcell[p] > cells)
            return false;
    return true;
}

template <std::size_t N>
void copypairsout(const Store& s, const std::array<StorePairs, N>& items,
                  const std::array<double*, 2 * N>& buffers)
{
    for (std::size_t j = 0; j < N; ++j) {
        *buffers[2 * j] = (s.*items[j])(1);
        *buffers[2 * j + 1] = (s.*items[j])(2);
    }
}

template <std::size_t N>
void copypairsin(Store& s, const std::array<StorePairs, N>& items,
                 const std::array<const double*, 2 * N>& buffers)
{
    for (std::size_t j = 0; j < N; ++j) {
        (s.*items[j])(1) = *buffers[2 * j];
        (s.*items[j])(2) = *buffers[2 * j + 1];
    }
}

} // namespace

bool getphysparams(Store& s, const PhysicalStateOut& b)
{
    const std::int64_t npipes = s.numberofpipes;
    const std::int64_t nvars = s.numberofvariables;
    const std::int64_t nfaces = s.totalfaces;
    const std::int64_t ncells = s.totalcells;
    // 1. Check the buffers and that the store's counts fit its arrays; after
    //    freepipememory the counts stay but the arrays are gone.
    if (!scalarbuffersgiven(b) || !groupsfit(s, b, npipes, nvars, nfaces, ncells)) {
        refusepipe(s);
        return false;
    }
    // 2. Scalars and end pairs.
    *b.numberofpipes = s.numberofpipes;
    *b.maximumtimestep = s.maximumtimestep;
    copypairsout(s, leadingpairs, b.leadingpairs);
    copypairsout(s, trailingpairs, b.trailingpairs);
    *b.bcloaded[0] = s.bcloaded(1);
    *b.bcloaded[1] = s.bcloaded(2);
    // 3. Arrays, per pipe, per variable, per face, per cell.
    copyarraysout(s, npipes, pipeintegers, b.pipeintegers);
    copyarraysout(s, npipes, pipereals, b.pipereals);
    copyarraysout(s, nvars, variablereals, b.variablereals);
    copyarraysout(s, nfaces, facereals, b.facereals);
    copyarraysout(s, ncells, cellreals, b.cellreals);
    return true;
}

bool setphysparams(Store& s, const std::int32_t* nvarsgiven, const std::int32_t* nfacesgiven,
                   const std::int32_t* ncellsgiven, const PhysicalStateIn& b)
{
    // 1. Check everything before storing anything.
    if (nvarsgiven == nullptr || nfacesgiven == nullptr || ncellsgiven == nullptr ||
        !scalarbuffersgiven(b)) {
        refusepipe(s);
        return false;
    }
    const std::int64_t npipes = *b.numberofpipes;
    const std::int64_t nvars = *nvarsgiven;
    const std::int64_t nfaces = *nfacesgiven;
    const std::int64_t ncells = *ncellsgiven;
    if (!groupsfit(s, b, npipes, nvars, nfaces, ncells) ||
        !cellrangesfit(s, npipes, b.pipeintegers[1], b.pipeintegers[2])) {
        refusepipe(s);
        return false;
    }
    // 2. numberofpipes, scalars and end pairs. The other three counts drive
    //    the copy only: the store's numberofvariables, totalfaces and
    //    totalcells stay as they are.
    s.numberofpipes = *b.numberofpipes;
    s.maximumtimestep = *b.maximumtimestep;
    copypairsin(s, leadingpairs, b.leadingpairs);
    copypairsin(s, trailingpairs, b.trailingpairs);
    s.bcloaded(1) = *b.bcloaded[0];
    s.bcloaded(2) = *b.bcloaded[1];
    // 3. Per-pipe arrays with the new number of pipes.
    copyarraysin(s, npipes, pipeintegers, b.pipeintegers);
    copyarraysin(s, npipes, pipereals, b.pipereals);
    // 4. Per-variable, per-face and per-cell arrays with their given counts.
    copyarraysin(s, nvars, variablereals, b.variablereals);
    copyarraysin(s, nfaces, facereals, b.facereals);
    copyarraysin(s, ncells, cellreals, b.cellreals);
    return true;
}

} // namespace pelmora
