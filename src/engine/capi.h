// Helpers for the exported C layer.
//
// Every exported entry point is one thin function that forwards to an
// internal routine working on the process-wide store. No C++ exception may
// cross into the host: anything thrown (in practice only std::bad_alloc from
// a network load) is caught here and reported as a refused call.
#pragma once

#include <exception>

#include "engine/errors.h"
#include "engine/store.h"

namespace pelmora {

enum class Side { pipe, fluid };

template <class Body>
void guarded(Side side, Body&& body) noexcept
{
    try {
        body(engine());
    } catch (...) {
        if (side == Side::fluid)
            refusefluid(engine());
        else
            refusepipe(engine());
    }
}

} // namespace pelmora
