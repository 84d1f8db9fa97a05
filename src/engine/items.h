// Every item of the engine store, described once.
//
// One row per item: its name, the type of one value, its dimension, its
// lifetime group, the value it starts from, and its argument name in the
// exchange call that carries it. The declaration of the store, allocation and
// release, the exchange calls and their checks, the layout checks before a
// step or a march, the test helper that compares two stores and the fuzzer's
// layout are all derived from these rows; adding or moving an item is an edit
// here (and, for an exchanged one, in the C signatures, which a compile-time
// check holds to these rows).
//
// The rows stand in sections, one per exchange call; within a section they
// stand in the call's argument order, and an end item takes two arguments,
// `argument`1 then `argument`2.
//
//   dimension  single     one value
//              end        one value per network end (1 inlet, 2 outlet)
//              pipe       one per pipe (numberofpipes)
//              variable   one per conserved variable (numberofvariables)
//              cell       one per cell (totalcells)
//              face       one per face (totalfaces = totalcells + 1)
//              varcell    variable x cell: the two levels of the conserved variables
//   lifetime   scalars    held as long as the library is loaded
//              network    allocated by loadpipedata, released by freepipememory
//              geometry   rebuilt by each load, kept when the network is released
//   start      a scalar's value in a fresh store (always zero, false or
//              null); the value a load fills an array with
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "engine/array.h"

namespace pelmora {

// Host property routine: context, two given values, five outputs.
using PropertyRoutine = void (*)(void* context, double a, double b, double* r1, double* r2,
                                 double* r3, double* r4, double* r5);

// clang-format off

// getphysparams / setphysparams: the pipe layout and flags, boundary values,
// end states, cell and face geometry, wall data and the cell states.
#define PELMORA_PHYS_ITEMS(X, C) \
  /* the pipes, their cells, the driver pass flags and which end values are imposed */ \
  X(C, numberofpipes,           std::int32_t,    single,   scalars,  0,            numberofpipes) \
  X(C, pipepassflag,            std::int32_t,    pipe,     network,  logicalfalse, pipepassflag) \
  X(C, firstcell,               std::int32_t,    pipe,     network,  0,            firstcell) \
  X(C, lastcell,                std::int32_t,    pipe,     network,  0,            lastcell) \
  X(C, inletpressurefixed,      std::int32_t,    pipe,     network,  logicaltrue,  inletpressurefixed) \
  X(C, outletpressurefixed,     std::int32_t,    pipe,     network,  logicaltrue,  outletpressurefixed) \
  X(C, inlettemperaturefixed,   std::int32_t,    pipe,     network,  logicaltrue,  inlettemperaturefixed) \
  X(C, outlettemperaturefixed,  std::int32_t,    pipe,     network,  logicaltrue,  outlettemperaturefixed) \
  X(C, inletmassflowfixed,      std::int32_t,    pipe,     network,  logicaltrue,  inletmassflowfixed) \
  X(C, outletmassflowfixed,     std::int32_t,    pipe,     network,  logicaltrue,  outletmassflowfixed) \
  /* the host's limit on the time step */ \
  X(C, maximumtimestep,         double,          single,   scalars,  0.0,          maximumtimestep) \
  /* state at the two end faces of the chain being worked on (more below) */ \
  X(C, endpressure,             double,          end,      scalars,  0.0,          endpressure) \
  X(C, enddensity,              double,          end,      scalars,  0.0,          enddensity) \
  X(C, endvelocity,             double,          end,      scalars,  0.0,          endvelocity) \
  X(C, endenthalpy,             double,          end,      scalars,  0.0,          endenthalpy) \
  /* network-end values: applied in the current stage, carried over to the next */ \
  X(C, midbcpressure,           double,          end,      scalars,  0.0,          midbcpressure) \
  X(C, midbctemperature,        double,          end,      scalars,  0.0,          midbctemperature) \
  X(C, midbcmassflow,           double,          end,      scalars,  0.0,          midbcmassflow) \
  X(C, lastbcpressure,          double,          end,      scalars,  0.0,          lastbcpressure) \
  X(C, lastbctemperature,       double,          end,      scalars,  0.0,          lastbctemperature) \
  X(C, lastbcmassflow,          double,          end,      scalars,  0.0,          lastbcmassflow) \
  /* per-pipe end values: before the latest load, latest, applied in the current stage */ \
  X(C, lastinletpressure,       double,          pipe,     network,  0.0,          lastinletpressure) \
  X(C, lastoutletpressure,      double,          pipe,     network,  0.0,          lastoutletpressure) \
  X(C, inletpressure,           double,          pipe,     network,  0.0,          inletpressure) \
  X(C, outletpressure,          double,          pipe,     network,  0.0,          outletpressure) \
  X(C, lastinlettemperature,    double,          pipe,     network,  0.0,          lastinlettemperature) \
  X(C, lastoutlettemperature,   double,          pipe,     network,  0.0,          lastoutlettemperature) \
  X(C, inlettemperature,        double,          pipe,     network,  0.0,          inlettemperature) \
  X(C, outlettemperature,       double,          pipe,     network,  0.0,          outlettemperature) \
  X(C, lastinletmassflow,       double,          pipe,     network,  0.0,          lastinletmassflow) \
  X(C, lastoutletmassflow,      double,          pipe,     network,  0.0,          lastoutletmassflow) \
  X(C, inletmassflow,           double,          pipe,     network,  0.0,          inletmassflow) \
  X(C, outletmassflow,          double,          pipe,     network,  0.0,          outletmassflow) \
  X(C, midinletpressure,        double,          pipe,     network,  0.0,          midinletpressure) \
  X(C, midoutletpressure,       double,          pipe,     network,  0.0,          midoutletpressure) \
  X(C, midinlettemperature,     double,          pipe,     network,  0.0,          midinlettemperature) \
  X(C, midoutlettemperature,    double,          pipe,     network,  0.0,          midoutlettemperature) \
  X(C, midinletmassflow,        double,          pipe,     network,  0.0,          midinletmassflow) \
  X(C, midoutletmassflow,       double,          pipe,     network,  0.0,          midoutletmassflow) \
  /* ghost conserved vectors beyond the chain's ends */ \
  X(C, inletghost,              double,          variable, network,  0.0,          inletghost) \
  X(C, outletghost,             double,          variable, network,  0.0,          outletghost) \
  /* face and cell geometry */ \
  X(C, facediameter,            double,          face,     network,  0.0,          facediameter) \
  X(C, facearea,                double,          face,     network,  0.0,          facearea) \
  X(C, faceinclination,         double,          face,     network,  0.0,          faceinclination) \
  X(C, celldiameter,            double,          cell,     network,  0.0,          celldiameter) \
  X(C, cellarea,                double,          cell,     network,  0.0,          cellarea) \
  X(C, areagradient,            double,          cell,     network,  0.0,          areagradient) \
  X(C, cellinclination,         double,          cell,     network,  0.0,          cellinclination) \
  X(C, relativeroughness,       double,          cell,     network,  0.0,          relativeroughness) \
  /* cell states */ \
  X(C, pressure,                double,          cell,     network,  0.0,          pressure) \
  X(C, temperature,             double,          cell,     network,  0.0,          temperature) \
  X(C, soundspeed,              double,          cell,     network,  0.0,          soundspeed) \
  X(C, density,                 double,          cell,     network,  0.0,          density) \
  X(C, viscosity,               double,          cell,     network,  0.0,          viscosity) \
  X(C, internalenergy,          double,          cell,     network,  0.0,          internalenergy) \
  X(C, totalenergy,             double,          cell,     network,  0.0,          totalenergy) \
  X(C, enthalpy,                double,          cell,     network,  0.0,          enthalpy) \
  X(C, totalenthalpy,           double,          cell,     network,  0.0,          totalenthalpy) \
  X(C, velocity,                double,          cell,     network,  0.0,          velocity) \
  X(C, massflowrate,            double,          cell,     network,  0.0,          massflowrate) \
  X(C, machnumber,              double,          cell,     network,  0.0,          machnumber) \
  /* the wall: surroundings and overall heat-transfer coefficient */ \
  X(C, ambienttemperature,      double,          cell,     network,  0.0,          ambienttemperature) \
  X(C, heattransfercoefficient, double,          cell,     network,  0.0,          heattransfercoefficient) \
  /* what the latest cell update changed */ \
  X(C, densitychange,           double,          cell,     network,  0.0,          densitychange) \
  X(C, temperaturechange,       double,          cell,     network,  0.0,          temperaturechange) \
  X(C, massflowdeviation,       double,          cell,     network,  0.0,          massflowdeviation) \
  /* the rest of the end-face state, then the state at the network inlet and outlet */ \
  X(C, endtemperature,          double,          end,      scalars,  0.0,          endtemperature) \
  X(C, endmassflow,             double,          end,      scalars,  0.0,          endmassflow) \
  X(C, endenergy,               double,          end,      scalars,  0.0,          endenergy) \
  X(C, endsoundspeed,           double,          end,      scalars,  0.0,          endsoundspeed) \
  X(C, endmachnumber,           double,          end,      scalars,  0.0,          endmachnumber) \
  X(C, bcpressure,              double,          end,      scalars,  0.0,          bcpressure) \
  X(C, bcdensity,               double,          end,      scalars,  0.0,          bcdensity) \
  X(C, bcvelocity,              double,          end,      scalars,  0.0,          bcvelocity) \
  X(C, bcenthalpy,              double,          end,      scalars,  0.0,          bcenthalpy) \
  X(C, bctemperature,           double,          end,      scalars,  0.0,          bctemperature) \
  X(C, bcmassflowrate,          double,          end,      scalars,  0.0,          bcmassflowrate) \
  X(C, bcinternalenergy,        double,          end,      scalars,  0.0,          bcinternalenergy) \
  X(C, bcsoundspeed,            double,          end,      scalars,  0.0,          bcsoundspeed) \
  X(C, bcmachnumber,            double,          end,      scalars,  0.0,          bcmachnumber) \
  /* whether loadbc has set each network end since the flags were cleared */ \
  X(C, bcloaded,                std::int32_t,    end,      scalars,  0,            bcloaded)

// gethyperparams / sethyperparams: the scheme's counts, the evaluation
// context, the end coefficients and the grid spacings. The ghost value
// beyond an end is gradient * end-cell value + value; the weight scales the
// end face's diffusive fluxes.
#define PELMORA_HYPER_ITEMS(X, C) \
  X(C, numberofvariables,       std::int32_t,    single,   scalars,  0,            nvars) \
  X(C, totalcells,              std::int32_t,    single,   scalars,  0,            ncells) \
  X(C, totalfaces,              std::int32_t,    single,   scalars,  0,            nfaces) \
  X(C, currentcell,             std::int32_t,    single,   scalars,  0,            currentcell) \
  X(C, currentface,             std::int32_t,    single,   scalars,  0,            currentface) \
  X(C, atinletface,             std::int32_t,    single,   scalars,  logicalfalse, atinletface) \
  X(C, atoutletface,            std::int32_t,    single,   scalars,  logicalfalse, atoutletface) \
  X(C, simulationtime,          double,          single,   scalars,  0.0,          simulationtime) \
  X(C, inletbcgradient,         double,          variable, geometry, 0.0,          inletbcgradient) \
  X(C, inletbcvalue,            double,          variable, geometry, 0.0,          inletbcvalue) \
  X(C, inletbcweight,           double,          variable, geometry, 1.0,          inletbcweight) \
  X(C, outletbcgradient,        double,          variable, geometry, 0.0,          outletbcgradient) \
  X(C, outletbcvalue,           double,          variable, geometry, 0.0,          outletbcvalue) \
  X(C, outletbcweight,          double,          variable, geometry, 1.0,          outletbcweight) \
  X(C, faceposition,            double,          face,     geometry, 0.0,          faceposition) \
  X(C, facelength,              double,          face,     geometry, 0.0,          facelength) \
  X(C, inversefacelength,       double,          face,     geometry, 0.0,          inversefacelength) \
  X(C, cellcentre,              double,          cell,     geometry, 0.0,          cellcentre) \
  X(C, celllength,              double,          cell,     geometry, 0.0,          celllength) \
  X(C, inversecelllength,       double,          cell,     geometry, 0.0,          inversecelllength)

// getfluidparams / setfluidparams: the gas description and the current
// fluid state, which every evaluation overwrites.
#define PELMORA_FLUID_ITEMS(X, C) \
  X(C, molweight,               double,          single,   scalars,  0.0,          molweight) /* kg/kmol */ \
  X(C, gamma,                   double,          single,   scalars,  0.0,          gamma) /* cp/cv */ \
  X(C, curviscosity,            double,          single,   scalars,  0.0,          viscosity) /* Pa s */ \
  X(C, cp,                      double,          single,   scalars,  0.0,          cp) /* J/(kg K) */ \
  X(C, cv,                      double,          single,   scalars,  0.0,          cv) /* J/(kg K) */ \
  X(C, curdensity,              double,          single,   scalars,  0.0,          density) /* kg/m3 */ \
  X(C, curenergy,               double,          single,   scalars,  0.0,          energy) /* J/kg */ \
  X(C, curenthalpy,             double,          single,   scalars,  0.0,          enthalpy) /* J/kg */ \
  X(C, curpressure,             double,          single,   scalars,  0.0,          pressure) /* Pa */ \
  X(C, curtemperature,          double,          single,   scalars,  0.0,          temperature) /* K */ \
  X(C, cursoundspeed,           double,          single,   scalars,  0.0,          soundspeed) /* m/s */ \
  X(C, fluidmodel,              std::int32_t,    single,   scalars,  0,            model) /* 2: host routines */ \
  X(C, fluidextra1,             double,          single,   scalars,  0.0,          extra1) \
  X(C, fluidextra2,             double,          single,   scalars,  0.0,          extra2)

// getuhistory / setuhistory: both levels of the conserved variables (the
// exchange transposes them; exchange/history.cpp).
#define PELMORA_HISTORY_ITEMS(X, C) \
  X(C, previousconserved,       double,          varcell,  network,  0.0,          previous) \
  X(C, conserved,               double,          varcell,  network,  0.0,          current)

// Not exchanged: the error codes, the end-face areas of the chain being
// worked on, what loadfluid keeps apart from the exchanged description, and
// which groups are loaded.
#define PELMORA_OTHER_ITEMS(X, C) \
  X(C, pipeerrorcode,           std::int32_t,    single,   scalars,  0,            pipeerrorcode) \
  X(C, fluiderrorcode,          std::int32_t,    single,   scalars,  0,            fluiderrorcode) \
  X(C, pipeendarea,             double,          end,      scalars,  0.0,          pipeendarea) \
  X(C, idealviscosity,          double,          single,   scalars,  0.0,          idealviscosity) /* Pa s */ \
  X(C, compressibility,         double,          single,   scalars,  0.0,          compressibility) /* Z */ \
  X(C, hostcontext,             void*,           single,   scalars,  nullptr,      hostcontext) \
  X(C, hostptroutine,           PropertyRoutine, single,   scalars,  nullptr,      hostptroutine) \
  X(C, hostrhoeroutine,         PropertyRoutine, single,   scalars,  nullptr,      hostrhoeroutine) \
  X(C, hostphroutine,           PropertyRoutine, single,   scalars,  nullptr,      hostphroutine) \
  X(C, fluidloaded,             bool,            single,   scalars,  false,        fluidloaded) \
  X(C, networkloaded,           bool,            single,   scalars,  false,        networkloaded) \
  X(C, geometryloaded,          bool,            single,   scalars,  false,        geometryloaded)

// clang-format on

// Every row, section after section.
#define PELMORA_STORE_ITEMS(X)                                                                     \
  PELMORA_PHYS_ITEMS(X, phys)                                                                      \
  PELMORA_HYPER_ITEMS(X, hyper)                                                                    \
  PELMORA_FLUID_ITEMS(X, fluid)                                                                    \
  PELMORA_HISTORY_ITEMS(X, history)                                                                \
  PELMORA_OTHER_ITEMS(X, none)

enum class Call { phys, hyper, fluid, history, none };
enum class Dimension { single, end, pipe, variable, cell, face, varcell };
enum class Lifetime { scalars, network, geometry };

// What holds an item of each dimension in the store.
template <class Element, Dimension D>
struct HolderOf {
    using type = Array1<Element>;
};
template <class Element>
struct HolderOf<Element, Dimension::single> {
    using type = Element;
};
template <class Element>
struct HolderOf<Element, Dimension::end> {
    using type = EndPair<Element>;
};
template <>
struct HolderOf<double, Dimension::varcell> {
    using type = Array2;
};
template <class Element, Dimension D>
using Holder = typename HolderOf<Element, D>::type;

// One row of the registry as plain values.
struct ItemInfo {
    std::string_view name;
    Call call;
    bool integer; // std::int32_t values (the exchange passes them as int32_t*)
    Dimension dimension;
    Lifetime lifetime;
    double start;
    std::string_view argument;

    constexpr bool isarray() const
    {
        return dimension != Dimension::single && dimension != Dimension::end;
    }
    // Arguments the item takes in its exchange call.
    constexpr std::size_t width() const { return dimension == Dimension::end ? 2 : 1; }
};

template <class Start>
constexpr double startnumber(Start start)
{
    if constexpr (std::is_arithmetic_v<Start>)
        return static_cast<double>(start);
    else
        return 0.0;
}

#define PELMORA_ITEM_INFO(C, name, element, dimension, lifetime, start, argument)                  \
  ItemInfo{#name,                                                                                  \
           Call::C,                                                                                \
           std::is_same_v<element, std::int32_t>,                                                  \
           Dimension::dimension,                                                                   \
           Lifetime::lifetime,                                                                     \
           startnumber(start),                                                                     \
           #argument},
inline constexpr ItemInfo iteminfo[] = {PELMORA_STORE_ITEMS(PELMORA_ITEM_INFO)};
#undef PELMORA_ITEM_INFO

// The row number of each item: ItemRow::pressure.
#define PELMORA_ITEM_ROW(C, name, ...) name,
enum class ItemRow : std::size_t { PELMORA_STORE_ITEMS(PELMORA_ITEM_ROW) };
#undef PELMORA_ITEM_ROW

// An item as a type, for code that works on every item at compile time.
template <ItemRow Row>
struct ItemAt {
    static constexpr const ItemInfo& info = iteminfo[static_cast<std::size_t>(Row)];
};

// True for the first array of each dimension and lifetime group. A load
// sizes every array of a group alike and a release empties them together,
// so this one stands for its group in the layout checks.
constexpr bool firstofgroup(ItemRow row)
{
    const ItemInfo& item = iteminfo[static_cast<std::size_t>(row)];
    for (std::size_t r = 0; r < static_cast<std::size_t>(row); ++r)
        if (iteminfo[r].dimension == item.dimension && iteminfo[r].lifetime == item.lifetime)
            return false;
    return item.isarray();
}

// Number of arguments of an exchange call (an end item takes two).
constexpr std::size_t argumentcount(Call call)
{
    std::size_t n = 0;
    for (const ItemInfo& item : iteminfo)
        n += item.call == call ? item.width() : 0;
    return n;
}

// The argument of an exchange call at which an item's values start.
constexpr std::size_t argumentof(ItemRow row)
{
    const ItemInfo& target = iteminfo[static_cast<std::size_t>(row)];
    std::size_t n = 0;
    for (std::size_t r = 0; r < static_cast<std::size_t>(row); ++r)
        n += iteminfo[r].call == target.call ? iteminfo[r].width() : 0;
    return n;
}

// One argument of an exchange call: the item it belongs to and, for an end
// item, the end.
struct ArgumentInfo {
    const ItemInfo* item;
    int end; // 1 or 2 for an end item, 0 otherwise
};

// Argument number `slot` (from 0) of an exchange call.
constexpr ArgumentInfo argumentat(Call call, std::size_t slot)
{
    std::size_t n = 0;
    for (const ItemInfo& item : iteminfo) {
        if (item.call != call)
            continue;
        if (slot < n + item.width())
            return {&item, item.dimension == Dimension::end ? static_cast<int>(slot - n) + 1 : 0};
        n += item.width();
    }
    return {nullptr, 0};
}

// Every argument of an exchange call, in argument order.
template <Call C>
constexpr std::array<ArgumentInfo, argumentcount(C)> argumentsof()
{
    std::array<ArgumentInfo, argumentcount(C)> arguments{};
    for (std::size_t slot = 0; slot < arguments.size(); ++slot)
        arguments[slot] = argumentat(C, slot);
    return arguments;
}

} // namespace pelmora
