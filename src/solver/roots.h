// Square roots of an array, several per instruction.
#pragma once

#include <cstdint>

namespace pelmora {

// out[i] = sqrt(in[i]) for i = 0..n-1, correctly rounded as std::sqrt.
void squareroots(const double* in, double* out, std::int32_t n);

} // namespace pelmora
