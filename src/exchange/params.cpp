// Exchange of the physical state, the scheme parameters and the fluid
// parameters: each call copies the items of its section of engine/items.h
// between the store and the host's buffers, one buffer per argument.
#include <algorithm>
#include <cmath>
#include <type_traits>

#include "engine/errors.h"
#include "exchange/state.h"

namespace pelmora {

namespace {

// How many elements of each array dimension a call copies; singles and end
// pairs are always copied.
struct Counts {
    std::int64_t pipe = 0, variable = 0, face = 0, cell = 0;

    std::int64_t of(Dimension dimension) const
    {
        switch (dimension) {
        case Dimension::pipe:
            return pipe;
        case Dimension::variable:
            return variable;
        case Dimension::face:
            return face;
        default:
            return cell;
        }
    }
};

Counts storecounts(const Store& s)
{
    return {s.numberofpipes, s.numberofvariables, s.totalfaces, s.totalcells};
}

// The type of one value of an item held as T.
template <class T>
struct ElementOf {
    using type = T;
};
template <class T>
struct ElementOf<EndPair<T>> {
    using type = T;
};
template <class T>
struct ElementOf<Array1<T>> {
    using type = T;
};

// The value an integer argument of a set call points at (checked not NULL).
template <Call C>
std::int64_t givencount(const Inputs<C>& b, ItemRow row)
{
    return *static_cast<const std::int32_t*>(b[argumentof(row)]);
}

// Calls visit(member, ItemAt<row>{}, first argument) for every item of the
// call, in argument order.
template <Call C, class Visit>
void foreachargument(Visit&& visit)
{
    foreachitem([&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R> at) {
        if constexpr (ItemAt<R>::info.call == C)
            visit(item, at, argumentof(R));
    });
}

// True when the host gave the buffers that are used whatever the counts:
// those of the singles and end pairs.
template <Call C, class Buffers>
bool singlesgiven(const Buffers& b)
{
    constexpr auto arguments = argumentsof<C>();
    for (std::size_t slot = 0; slot < b.size(); ++slot)
        if (!arguments[slot].item->isarray() && b[slot] == nullptr)
            return false;
    return true;
}

// True when every array of the call whose count is above 0 has a buffer and
// holds that many elements as the latest network load allocated it.
template <Call C, class Buffers>
bool arraysfit(const Store& s, const Buffers& b, const Counts& n)
{
    bool fit = true;
    foreachargument<C>(
        [&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>, std::size_t slot) {
            if constexpr (ItemAt<R>::info.isarray()) {
                const std::int64_t count = n.of(ItemAt<R>::info.dimension);
                fit = fit && (count <= 0 || (b[slot] != nullptr && count <= (s.*item).size()));
            }
        });
    return fit;
}

// Copies every item of the call between the store and the host's buffers
// (out to writable ones, in from read-only ones): the singles and end pairs
// first, then the arrays with their counts, each in argument order.
template <Call C, class Buffers>
void transfer(Store& s, const Buffers& b, const Counts& n)
{
    constexpr bool out = std::is_same_v<typename Buffers::value_type, void*>;
    for (const bool arrays : {false, true})
        foreachargument<C>(
            [&]<class Member, ItemRow R>(Member Store::*item, ItemAt<R>, std::size_t slot) {
                constexpr ItemInfo info = ItemAt<R>::info;
                using Element = typename ElementOf<Member>::type;
                using Host = std::conditional_t<out, Element*, const Element*>;
                Member& held = s.*item;
                if (info.isarray() != arrays)
                    return;
                if constexpr (info.isarray()) {
                    const std::int64_t count = n.of(info.dimension);
                    if (count <= 0)
                        return;
                    if constexpr (out)
                        std::copy_n(held.at(1), count, static_cast<Host>(b[slot]));
                    else
                        std::copy_n(static_cast<Host>(b[slot]), count, held.at(1));
                } else if constexpr (info.dimension == Dimension::end) {
                    for (int end = 1; end <= 2; ++end) {
                        if constexpr (out)
                            *static_cast<Host>(b[slot + end - 1]) = held(end);
                        else
                            held(end) = *static_cast<Host>(b[slot + end - 1]);
                    }
                } else if constexpr (out) {
                    *static_cast<Host>(b[slot]) = held;
                } else {
                    held = *static_cast<Host>(b[slot]);
                }
            });
}

// Checks, then copies out with the store's counts.
template <Call C>
bool getparams(Store& s, const Outputs<C>& b)
{
    const Counts n = storecounts(s);
    if (!singlesgiven<C>(b) || !arraysfit<C>(s, b, n)) {
        C == Call::fluid ? refusefluid(s) : refusepipe(s);
        return false;
    }
    transfer<C>(s, b, n);
    return true;
}

// True when the first npipes cell ranges the host gives lie within the
// allocated cells, each running forwards: the pipe loops of the engine walk
// firstcell(p)..lastcell(p) and the faces up to lastcell(p) + 1.
bool cellrangesfit(const Store& s, std::int64_t npipes, const Inputs<Call::phys>& b)
{
    const auto* firstcell = static_cast<const std::int32_t*>(b[argumentof(ItemRow::firstcell)]);
    const auto* lastcell = static_cast<const std::int32_t*>(b[argumentof(ItemRow::lastcell)]);
    const std::int64_t cells = allocatedcells(s);
    for (std::int64_t p = 0; p < npipes; ++p)
        if (firstcell[p] < 1 || lastcell[p] < firstcell[p] || lastcell[p] > cells)
            return false;
    return true;
}

bool positivefinite(double x) { return std::isfinite(x) && x > 0.0; }

} // namespace

// ---- Fluid parameters -------------------------------------------------------------

bool getfluidparams(Store& s, const Outputs<Call::fluid>& b)
{
    return getparams<Call::fluid>(s, b);
}

bool gasisusable(const Store& s)
{
    const bool hostroutines =
        s.hostptroutine != nullptr && s.hostrhoeroutine != nullptr && s.hostphroutine != nullptr;
    return positivefinite(s.molweight) && std::isfinite(s.gamma) && s.gamma > 1.0 &&
           positivefinite(s.cv) && positivefinite(s.cp) && (s.fluidmodel != 2 || hostroutines);
}

bool setfluidparams(Store& s, const Inputs<Call::fluid>& b)
{
    if (!singlesgiven<Call::fluid>(b)) {
        refusefluid(s);
        return false;
    }
    // 1. Plain copies; cp and cv keep the caller's values even when they do
    //    not match gamma.
    transfer<Call::fluid>(s, b, {});
    // 2. The gas is usable from now on exactly when the description defines
    //    one: restoring a saved engine that had a gas gives a usable gas even
    //    before loadfluid, and restoring a blank description (or one that
    //    would divide by zero, or call a missing host routine) makes the
    //    calls that evaluate the gas refuse until the next loadfluid.
    s.fluidloaded = gasisusable(s);
    return true;
}

// ---- Scheme parameters ------------------------------------------------------------

// sethyperparams may have stored counts below the allocation, never above
// it, but a count above it is refused rather than trusted.
bool gethyperparams(Store& s, const Outputs<Call::hyper>& b)
{
    return getparams<Call::hyper>(s, b);
}

bool sethyperparams(Store& s, const Inputs<Call::hyper>& b)
{
    // Check everything before storing anything: the new counts must fit the
    // arrays of the latest load, which are never reallocated here.
    bool accepted = singlesgiven<Call::hyper>(b);
    Counts n;
    if (accepted) {
        n.variable = givencount<Call::hyper>(b, ItemRow::numberofvariables);
        n.face = givencount<Call::hyper>(b, ItemRow::totalfaces);
        n.cell = givencount<Call::hyper>(b, ItemRow::totalcells);
        accepted = arraysfit<Call::hyper>(s, b, n);
    }
    if (!accepted) {
        refusepipe(s);
        return false;
    }
    transfer<Call::hyper>(s, b, n);
    return true;
}

// ---- Physical state ----------------------------------------------------------------

// After freepipememory the counts stay but the arrays are gone, so a get
// with a positive count is refused.
bool getphysparams(Store& s, const Outputs<Call::phys>& b) { return getparams<Call::phys>(s, b); }

bool setphysparams(Store& s, const std::int32_t* nvars, const std::int32_t* nfaces,
                   const std::int32_t* ncells, const Inputs<Call::phys>& b)
{
    // Check everything before storing anything. The three counts drive the
    // copy only: the store's numberofvariables, totalfaces and totalcells
    // stay as they are, while numberofpipes is an item of the call.
    bool accepted =
        nvars != nullptr && nfaces != nullptr && ncells != nullptr && singlesgiven<Call::phys>(b);
    Counts n;
    if (accepted) {
        n = {givencount<Call::phys>(b, ItemRow::numberofpipes), *nvars, *nfaces, *ncells};
        accepted = arraysfit<Call::phys>(s, b, n) && cellrangesfit(s, n.pipe, b);
    }
    if (!accepted) {
        refusepipe(s);
        return false;
    }
    transfer<Call::phys>(s, b, n);
    return true;
}

} // namespace pelmora
