// Error codes the host reads through geterrorcode.
//
// Failures never stop a computation: the engine clamps or substitutes a value,
// records a positive code on the side where it happened, and carries on.
// geterrorcode reports the larger of the two codes and clears both.
#pragma once

#include <cstdint>

#include "pelmora.h"

namespace pelmora {

struct Store;

// The codes, as the header names them for the host:
//   codefluidfloor        a fluid state was raised to its floors (100 Pa,
//                         1 K, 0.01 kg/m3)
//   codereynoldscapped    a Reynolds number was capped at 1e10
//   coderefused           call refused or cut short: invalid input or state
//   codemarchunconverged  the steady march accepted a step that did not
//                         converge
enum ErrorCode : std::int32_t {
    codenone = PELMORA_CODE_NONE,
    codefluidfloor = PELMORA_CODE_FLOORED,
    codereynoldscapped = PELMORA_CODE_REYNOLDS_CAPPED,
    coderefused = PELMORA_CODE_REFUSED,
    codemarchunconverged = PELMORA_CODE_UNCONVERGED,
};

// Reads the larger of fluiderrorcode and pipeerrorcode (0 if not positive)
// and clears both.
std::int32_t geterrorcode(Store& s);

// Record a refusal on the network/solver side or the fluid side.
void refusepipe(Store& s);
void refusefluid(Store& s);

} // namespace pelmora
