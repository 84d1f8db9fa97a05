// Runs a byte string as a sequence of calls into the engine's C interface
// (see encoding.h for the encoding). Shared by the libFuzzer target, the
// replay program used under valgrind and for printing reproducers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmorafuzz {

// Starts from a fresh engine, then decodes and runs every operation of the
// input. With trace set, every call is printed to stderr with its arguments
// and the error code it left. Aborts (a finding) when the engine breaks one
// of its documented promises in a way no sanitizer sees: a refused call that
// changed the state or wrote an output, a count beyond what was allocated, a
// host context not handed back.
void runcallsequence(const std::uint8_t* data, std::size_t size, bool trace);

// With whole set, drivers get their spans as the input gives them, as a
// hostile host would pass them, and steadystate runs on any network, instead
// of the work shortened to keep each input fast: for runs that look for slow
// calls (pelmora_replay --whole-spans, scripts/dev/hostile-run), not for
// fuzzing.
void keepspanswhole(bool whole);

} // namespace pelmorafuzz
