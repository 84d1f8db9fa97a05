#include "engine/store.h"

#include <cstddef>
#include <utility>

namespace pelmora {

Store& engine()
{
    // Constructed on first use, lives for the lifetime of the loaded library.
    static Store instance;
    return instance;
}

void sizeworkingstorage(Store& s)
{
    const auto nfaces = static_cast<std::size_t>(s.totalfaces);
    MarchFaces& m = s.marchfaces;
    for (Array1<double>* a : {&m.pressure, &m.temperature, &m.density, &m.energy, &m.enthalpy,
                              &m.soundspeed, &m.viscosity, &m.velocity, &m.machnumber})
        a->assign(nfaces, 0.0);
}

void swapworkingstorage(Store& a, Store& b) noexcept { std::swap(a.marchfaces, b.marchfaces); }

} // namespace pelmora
