// Error codes the host reads through geterrorcode.
//
// Failures never stop a computation: the engine clamps or substitutes a value,
// records a positive code on the side where it happened, and carries on.
// geterrorcode reports the larger of the two codes and clears both.
#pragma once

#include <cstdint>

namespace pelmora {

struct Store;

enum ErrorCode : std::int32_t {
    codenone = 0,
    codefluidfloor = 1,       // fluid state raised to its floors (100 Pa, 1 K, 0.01 kg/m3)
    codereynoldscapped = 2,   // a Reynolds number was capped at 1e10
    coderefused = 3,          // call refused or cut short: invalid input or state
    codemarchunconverged = 4, // the steady march accepted a step that did not converge
};

// Reads the larger of fluiderrorcode and pipeerrorcode (0 if not positive)
// and clears both.
std::int32_t geterrorcode(Store& s);

// Record a refusal on the network/solver side or the fluid side.
void refusepipe(Store& s);
void refusefluid(Store& s);

} // namespace pelmora
