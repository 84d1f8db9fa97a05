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
    const auto ncells = static_cast<std::size_t>(s.totalcells);
    const auto nvars = static_cast<std::size_t>(s.numberofvariables);
    KernelScratch& k = s.scratch;
    k.flux.assign(nvars * nfaces, 0.0);
    k.source.assign(nvars * ncells, 0.0);
    k.diffusive.assign(nfaces, 0.0);
    k.antidiffusive.assign(nfaces, 0.0);
    k.difference.assign(nfaces, 0.0);
    k.transported.assign(ncells, 0.0);
    k.diffused.assign(ncells, 0.0);

    MarchFaces& m = s.marchfaces;
    for (Array1<double>* a : {&m.pressure, &m.temperature, &m.density, &m.energy, &m.enthalpy,
                              &m.soundspeed, &m.viscosity, &m.velocity, &m.machnumber})
        a->assign(nfaces, 0.0);
}

void swapworkingstorage(Store& a, Store& b) noexcept
{
    std::swap(a.scratch, b.scratch);
    std::swap(a.marchfaces, b.marchfaces);
}

} // namespace pelmora
