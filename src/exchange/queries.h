// Result queries: plain copies from the store into the caller's memory.
//
// The counts answer at any time (zeros before the first load, the last
// load's counts after a release). A profile or a pipe's cell count needs a
// loaded network and a pipe in range, otherwise nothing is written and the
// call is refused with pipe code 3. The network-end queries ignore an end
// other than 1 or 2.
#pragma once

#include <cstdint>

#include "engine/store.h"

namespace pelmora {

void gettotalnumberofcells(Store& s, std::int32_t* n);
void getshape(Store& s, std::int32_t* nvars, std::int32_t* ncells, std::int32_t* nfaces,
              std::int32_t* npipes);
void getnumberofcells(Store& s, std::int32_t pipe, std::int32_t* n);

// Copies the cells of pipe `pipe` of a per-cell array (celldiameter,
// pressure, ...) into values[0], values[1], ..., from the inlet on.
void getprofile(Store& s, const Array1<double>& quantity, std::int32_t pipe, double* values);

// Writes element `end` of a network-end pair (bcpressure, ...).
void getendvalue(Store& s, const EndPair<double>& quantity, std::int32_t end, double* value);

} // namespace pelmora
