// The byte encoding of a call sequence, shared by the interpreter that runs
// it (callsequence.cpp) and the program that writes the seed corpus
// (make_corpus.cpp).
//
// An input is a run of operations. Each operation is one byte, taken modulo
// the number of operations, followed by its arguments. Reading past the end
// of the input yields zero bytes, so every input is a valid sequence.
//
// Argument encodings:
//   integer  one tag byte: below integertablesize an entry of the integer
//            table (some entries depend on the loaded network: npipes,
//            ncells, ...); 255 four raw little-endian bytes; anything else
//            the small value tag - integertablesize.
//   real     one tag byte: below realtablesize an entry of the real table;
//            255 eight raw little-endian bytes; anything else one more byte u
//            and the table entry (tag - realtablesize) % realtablesize scaled
//            by 1 + (u - 128) / 512.
//   nullarg  one byte: below 240 every pointer is valid; otherwise one more
//            byte k, and pointer argument k % (the call's pointer count),
//            from 0, is passed as NULL.
//   array    one mode byte, then reals: even mode, one real for every
//            element; odd mode, one real per element.
#pragma once

#include <cstdint>
#include <limits>

namespace pelmorafuzz {

enum Op : std::uint8_t {
    oploadfluid,
    oploadpipedata,
    oploadbc,
    oploadbcpipe,
    oploadwalldata,
    opmaxtimestep,
    oploadinitialconditions,
    opfreepipememory,
    optransientpipes,
    optransientpipe,
    opsteadypipes,
    opsteadypipe,
    opsteadystate,
    opapproxchokepressure,
    opgettotalnumberofcells,
    opgetshape,
    opgetnumberofcells,
    opgetprofile, // one byte selects which of the ten profile queries
    opgetbcvalue, // one byte selects which of the nine network-end queries
    opgeterrorcode,
    opgetfluidparams,
    opsetfluidparams,
    opgethyperparams,
    opsethyperparams,
    opgetuhistory,
    opsetuhistory,
    opgetphysparams,
    opsetphysparams,
    // Harness operations: not entry points themselves.
    opsethostbehaviour, // how the host property routines misbehave from now on
    opstandardsetup,    // a realistic gas, network, wall, start and boundary values
    opsavestate,        // read the whole state into the harness's save area
    oprestorestate,     // write the save area back through every set entry point
    opnumberofops
};

// Ways the host property routines can behave.
enum HostBehaviour : std::uint8_t {
    hostgood,      // an ideal gas in the host's units
    hostnan,       // every output NaN
    hostnegative,  // negative density, pressure and temperature
    hostunwritten, // outputs left as the engine passed them
    hostinfinite,  // every output +infinity
    hosthuge,      // every output 1e300
    hostzero,      // every output 0
    hostpartial,   // only the first two outputs written, sensibly
    hostalternate, // good and NaN on alternate calls
    hostbehaviours
};

constexpr std::uint8_t rawtag = 255;
constexpr std::uint8_t firstnulltag = 240;

// Integer table entries that are not fixed numbers.
enum IntegerEntry : std::int32_t {
    intnpipes = -1000001,
    intnpipesplusone = -1000002,
    intncells = -1000003,
    intncellsplusone = -1000004,
    intnfaces = -1000005,
    intnfacesplusone = -1000006,
    intnpipesminusone = -1000007,
    intncellsminusone = -1000008,
};

constexpr std::int32_t integertable[] = {
    0,
    1,
    2,
    3,
    -1,
    4,
    5,
    6,
    7,
    -2,
    8,
    100,
    1000000,
    std::numeric_limits<std::int32_t>::max(),
    std::numeric_limits<std::int32_t>::min(),
    intnpipes,
    intnpipesplusone,
    intncells,
    intncellsplusone,
    intnfaces,
    intnfacesplusone,
    intnpipesminusone,
    intncellsminusone,
};
constexpr int integertablesize = sizeof(integertable) / sizeof(integertable[0]);

constexpr double realtable[] = {
    0.0,
    -0.0,
    1.0,
    -1.0,
    std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(),
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::denorm_min(),
    1e-300,
    1e300,
    1.0e5,
    5.0e6,
    7.0e6, // pressures, Pa
    288.15,
    300.0,
    273.15, // temperatures, K
    10.0,
    100.0,
    1000.0,
    1.0e4,
    0.5,
    0.3,
    0.1,
    0.05,
    0.01,
    1e-3,
    1e-5,
    1e-9,
    28.97,
    16.04, // molecular weights
    1.4,
    1.31, // ratios of specific heats
    1.8e-5,
    4.5e-5, // viscosity, roughness
    0.9,
    2.0,
    3.0,
    50.0,
    -50.0,
    20.0,
    -20.0,
    -0.05,
    99.0,               // just under the pressure floor
    1.5707963267948966, // vertical pipe
    2147483648.0,
    1.0e9,
    1.0e7,
};
constexpr int realtablesize = sizeof(realtable) / sizeof(realtable[0]);

// Harness limits that keep one input fast. The engine must refuse whatever
// lies beyond what it allocated; these only stop the harness from asking for
// work or memory that a real host would not.
constexpr std::int64_t maximumcells = 2048;      // cells of a network the harness loads
constexpr std::int32_t maximumpipes = 64;        // pipes of a network the harness loads
constexpr std::int64_t maximumsteadycells = 256; // cells for which steadystate is called
constexpr double maximumcellsteps = 1.0e5;       // cell updates per driver call
// The same over a whole input, so that a slow input means a slow engine:
constexpr double maximuminputcellsteps = 1.0e6;       // cell updates over all driver calls
constexpr std::int64_t maximuminputsteadycells = 512; // cells over all steadystate calls
constexpr std::int64_t maximumbuffer = 8192;          // elements of one buffer handed to a set call
constexpr std::int64_t maximumcheckedcells = 256;     // cells up to which refusals are checked

} // namespace pelmorafuzz
