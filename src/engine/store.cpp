#include "engine/store.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>

namespace pelmora {

Store& engine()
{
    // Constructed on first use, lives for the lifetime of the loaded library.
    static Store instance;
    return instance;
}

std::int64_t allocatedcells(const Store& s)
{
    std::int64_t n = std::numeric_limits<std::int64_t>::max();
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        constexpr Dimension dimension = ItemAt<R>::info.dimension;
        if constexpr (!firstofgroup(R))
            return;
        else if constexpr (dimension == Dimension::cell)
            n = std::min(n, (s.*item).size());
        else if constexpr (dimension == Dimension::face)
            n = std::min(n, (s.*item).size() - 1);
        else if constexpr (dimension == Dimension::varcell)
            n = std::min(n, (s.*item).ncols());
    });
    return n;
}

bool arraysholdcounts(const Store& s)
{
    const std::int64_t cells = s.totalcells;
    bool holds = true;
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>) {
        constexpr Dimension dimension = ItemAt<R>::info.dimension;
        const Member& a = s.*item;
        if constexpr (!firstofgroup(R))
            return;
        else if constexpr (dimension == Dimension::pipe)
            holds = holds && a.size() >= s.numberofpipes;
        else if constexpr (dimension == Dimension::variable)
            holds = holds && a.size() >= gasvariables;
        else if constexpr (dimension == Dimension::cell)
            holds = holds && a.size() >= cells;
        else if constexpr (dimension == Dimension::face)
            holds = holds && a.size() >= cells + 1;
        else if constexpr (dimension == Dimension::varcell)
            holds = holds && a.nrows() >= gasvariables && a.ncols() >= cells;
    });
    return holds;
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
