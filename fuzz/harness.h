// The fuzzing harness: the byte encoding of a call sequence and the table of
// entry points it drives, shared by the interpreter (callsequence.cpp), the
// seed writer (make_corpus.cpp), the libFuzzer target and pelmora_replay.
//
// An input is a run of operations. Each operation is one byte, taken modulo
// the number of operations, followed by its arguments in argument order.
// Reading past the end of the input yields zero bytes, so every input is a
// valid sequence. An operation is an entry point, a group of entry points of
// one signature (then one more byte picks the member), or a harness
// operation.
//
// Arguments by kind (the letters of the table below):
//   i e   int32_t by value (e: a network end)            one integer
//   r f   double by value (f: a value that is not finite  one real
//         must be refused with code 3)
//   I     const int32_t* (a pipe number)                  one integer
//   R S   const double* (S: a driver's span)              one real
//   N     const int32_t*: npipes for the arrays after it  one integer
//   A     const double*, one per pipe                     one array
//   c h   the host context and a property routine         one byte for the three
//                                                         routines and the context
//   o O   int32_t*, double* output                        nothing
//   V     double* output, one per cell of the pipe before nothing
//   x     the exchange call's own outputs                 nothing
//   X     the exchange call's own inputs, laid out by the store's registry:
//         one byte (not 0 mod 4: from the copy the last get call saved, if
//         any), one byte (odd, or no copy: counts follow), the counts (nvars,
//         nfaces, ncells, npipes: four integers), then per argument a fill
//         value, a byte k and k times (element byte, value)
//   n F C const int32_t*: the copy counts nvars, nfaces, ncells of X
// Marks that are no argument:
//   # a refusal (code 3) changes nothing readable   = a network load
//   W outputs may be written whatever the code      * may settle early
//   ~ steadystate                                   0 the error codes just cleared
//   + one more member of the previous operation's group
// After the arguments, a call with pointer arguments reads a null byte:
// below 240 every pointer is valid; otherwise one more byte k, and pointer
// argument k % (the number of pointer arguments), from 0, is NULL.
//
// Values: an integer is one tag byte: below integertablesize an entry of the
// integer table (some entries depend on the loaded network); 255 four raw
// little-endian bytes; anything else the small value tag - integertablesize.
// A real is one tag byte: below realtablesize an entry of the real table;
// 255 eight raw little-endian bytes; anything else one more byte u and the
// entry (tag - realtablesize) % realtablesize scaled by 1 + (u - 128) / 512.
// An array is one byte, then reals: even, one value for every element; odd,
// one value per element.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/items.h"

// X(entry point, argument kinds, exchange call); a group's members follow its first.
// clang-format off
#define PELMORA_FUZZ_ENTRIES(X) \
  X(loadfluid, "#chhhRRRRI", none) X(loadpipedata, "#=NAAAAAA", none) \
  X(loadbc, "#efffiii", none) X(loadbcpipe, "#iefffiii", none) X(loadwalldata, "#AA", none) \
  X(maxtimestep, "#R", none) X(loadinitialconditions, "#AAA", none) X(freepipememory, "", none) \
  X(transientpipes, "WS", none) X(transientpipe, "WIS", none) X(steadypipes, "WSO", none) \
  X(steadypipe, "W*ISO", none) X(steadystate, "W~irrro", none) \
  X(approxchokepressure, "WfffO", none) X(gettotalnumberofcells, "o", none) \
  X(getshape, "oooo", none) X(getnumberofcells, "io", none) \
  X(getdiameter, "iV", none) X(getdensity, "+iV", none) X(getenthalpy, "+iV", none) \
  X(getinternalenergy, "+iV", none) X(getmachnumber, "+iV", none) \
  X(getmassflowrate, "+iV", none) X(getpressure, "+iV", none) X(getsoundspeed, "+iV", none) \
  X(gettemperature, "+iV", none) X(getvelocity, "+iV", none) \
  X(getbcdensity, "eO", none) X(getbcenthalpy, "+eO", none) X(getbcinternalenergy, "+eO", none) \
  X(getbcmachnumber, "+eO", none) X(getbcmassflowrate, "+eO", none) \
  X(getbcpressure, "+eO", none) X(getbcsoundspeed, "+eO", none) \
  X(getbctemperature, "+eO", none) X(getbcvelocity, "+eO", none) X(geterrorcode, "0o", none) \
  X(getfluidparams, "x", fluid) X(setfluidparams, "#X", fluid) \
  X(gethyperparams, "x", hyper) X(sethyperparams, "#X", hyper) \
  X(getuhistory, "x", history) X(setuhistory, "#nCX", history) \
  X(getphysparams, "x", phys) X(setphysparams, "#nFCX", phys)
// clang-format on

namespace pelmorafuzz {

constexpr bool among(char kind, std::string_view kinds) { return kinds.find(kind) != kinds.npos; }

struct Entry {
    std::string_view name, kinds;
    pelmora::Call call = pelmora::Call::none;
    constexpr bool joins() const { return kinds.starts_with('+'); }
    constexpr bool has(char kind) const { return among(kind, kinds); }
};
#define PELMORA_FUZZ_ENTRY(name, kinds, call) Entry{#name, kinds, pelmora::Call::call},
constexpr Entry entries[] = {PELMORA_FUZZ_ENTRIES(PELMORA_FUZZ_ENTRY)};
#undef PELMORA_FUZZ_ENTRY
constexpr int entrycount = sizeof(entries) / sizeof(entries[0]);

// Operations after the entry points, each reading one byte (b) or nothing:
// how the host property routines misbehave from now on; the engine as a
// freshly loaded library has it; the whole state read into the harness's
// save area by every get call; the save area written back by every set call.
constexpr Entry harnessops[] = {
    {"sethostbehaviour", "b"}, {"freshengine", ""}, {"savestate", ""}, {"restorestate", ""}};

// Operations: one per group of entries, then the harness operations.
constexpr int groupcount = int(std::ranges::count_if(entries, [](Entry e) { return !e.joins(); }));
constexpr int opcount = groupcount + 4;

// Ways the host property routines can behave: an ideal gas in the host's
// units; every output NaN; negative; left as the engine passed them;
// +infinity; 1e300; 0; only the first two written, sensibly; good and NaN on
// alternate calls.
// clang-format off
enum HostBehaviour : std::uint8_t {
    hostgood, hostnan, hostnegative, hostunwritten, hostinfinite, hosthuge, hostzero, hostpartial,
    hostalternate, hostbehaviours
};
// clang-format on

constexpr std::uint8_t rawtag = 255;
constexpr std::uint8_t firstnulltag = 240;

// The integer table: fixed values, then eight entries that stand for a count
// of the loaded network (npipes, npipes + 1, ncells, ncells + 1, nfaces,
// nfaces + 1, npipes - 1, ncells - 1).
constexpr std::int32_t integertable[] = {0, 1,  2, 3,   -1,      4,         5,        6,
                                         7, -2, 8, 100, 1000000, INT32_MAX, INT32_MIN};
constexpr int fixedintegers = sizeof(integertable) / sizeof(integertable[0]);
constexpr int integertablesize = fixedintegers + 8;

// Zeros, units, NaN, infinities, the extremes of double, pressures (Pa),
// temperatures (K), lengths, molecular weights, ratios of specific heats,
// viscosity and roughness, just under the pressure floor, a vertical pipe.
// clang-format off
constexpr double realtable[] = {
    0.0, -0.0, 1.0, -1.0, NAN, INFINITY, -INFINITY, DBL_MAX, -DBL_MAX, DBL_MIN, 5e-324, 1e-300,
    1e300, 1.0e5, 5.0e6, 7.0e6, 288.15, 300.0, 273.15, 10.0, 100.0, 1000.0, 1.0e4, 0.5, 0.3, 0.1,
    0.05, 0.01, 1e-3, 1e-5, 1e-9, 28.97, 16.04, 1.4, 1.31, 1.8e-5, 4.5e-5, 0.9, 2.0, 3.0, 50.0,
    -50.0, 20.0, -20.0, -0.05, 99.0, 1.5707963267948966, 2147483648.0, 1.0e9, 1.0e7};
// clang-format on
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

// Starts from a fresh engine, then decodes and runs every operation of the
// input. With trace set, every call is printed to stderr with its arguments
// and the error code it left. Aborts (a finding) when the engine breaks a
// promise of its header that no sanitizer sees.
void runcallsequence(const std::uint8_t* data, std::size_t size, bool trace);

// With whole set, drivers get their spans as the input gives them and
// steadystate runs on any network, instead of the work shortened to keep
// each input fast: for runs that look for slow calls (pelmora_replay
// --whole-spans, scripts/dev/hostile-run), not for fuzzing.
void keepspanswhole(bool whole);

} // namespace pelmorafuzz
