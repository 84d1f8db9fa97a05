// State exchange: copying the engine store out to the host and back in.
//
//   getfluidparams / setfluidparams   gas description and current fluid state
//   gethyperparams / sethyperparams   scheme counts, evaluation context, end
//                                     coefficients and grid spacings
//   getuhistory / setuhistory         both levels of the conserved variables
//   getphysparams / setphysparams     the whole physical state of the network
//
// Together they let a host save the engine's state and restore it later, so
// that the same calls afterwards give the same results bit for bit. All of
// them are plain copies: nothing is computed or reallocated.
//
// Every routine first checks everything it is about to read or write (a
// pointer the copy needs must not be NULL, a positive count must fit the
// arrays the latest network load allocated) and only then copies. A call
// that fails a check changes nothing, writes nothing, sets code 3 on its
// side and returns false. A count of 0 or less skips its group of arrays,
// and the pointers of a skipped group are not looked at.
//
// The items of each call and their order are those of its section of
// engine/items.h. The host's buffers come as one pointer per argument of the
// exported entry point, in argument order: writable for the get routines,
// read-only for the set routines.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "engine/store.h"

namespace pelmora {

template <Call C>
using Outputs = std::array<void*, argumentcount(C)>;
template <Call C>
using Inputs = std::array<const void*, argumentcount(C)>;

// ---- Fluid description and current fluid state ----------------------------------
bool getfluidparams(Store& s, const Outputs<Call::fluid>& b);

// Stores the items as given (cp and cv are not derived again). The gas counts
// as loaded afterwards exactly when the stored items describe one the engine
// can evaluate (see gasisusable); no code is set either way.
bool setfluidparams(Store& s, const Inputs<Call::fluid>& b);

// True when molweight is positive and finite, gamma finite and above 1, cv
// and cp positive and finite, and, for the host model, all three property
// routines are present.
bool gasisusable(const Store& s);

// ---- Scheme parameters ----------------------------------------------------------
// Copies the scalars, then each array group with the store's count.
bool gethyperparams(Store& s, const Outputs<Call::hyper>& b);

// Stores the scalars (the three counts included), then copies each array
// group in with the new counts. Refused as a whole when a new positive count
// exceeds the allocated length of its arrays.
bool sethyperparams(Store& s, const Inputs<Call::hyper>& b);

// ---- Both levels of the conserved variables -------------------------------------
// Host layout: variable k of cell i at element (k-1)*ncells + (i-1), the
// transpose of the store's.
bool getuhistory(Store& s, double* previous, double* current);
bool setuhistory(Store& s, const std::int32_t* nvars, const std::int32_t* ncells,
                 const double* previous, const double* current);

// ---- Physical state ---------------------------------------------------------------
// Copies every scalar and end pair, then each array group with the store's
// count (numberofpipes, numberofvariables, totalfaces, totalcells).
bool getphysparams(Store& s, const Outputs<Call::phys>& b);

// Stores numberofpipes and every scalar and end pair, then copies the
// per-pipe arrays (the new numberofpipes elements), the per-variable arrays
// (nvars), the per-face arrays (nfaces) and the per-cell arrays (ncells).
// Besides the count checks, refused when a copied cell range does not lie
// within the allocated cells (1 <= firstcell <= lastcell <= cells), since
// every pipe loop of the engine walks those ranges.
bool setphysparams(Store& s, const std::int32_t* nvars, const std::int32_t* nfaces,
                   const std::int32_t* ncells, const Inputs<Call::phys>& b);

// ---- The exported signatures against the registry ---------------------------------

namespace signature {

constexpr bool identifierchar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The tokens of a parameter list: identifiers and single other characters,
// white space and comments skipped; an empty token at the end.
class Tokens {
public:
    constexpr explicit Tokens(std::string_view text) : rest(text) {}
    constexpr std::string_view next()
    {
        for (;;) {
            if (!rest.empty() && (rest.front() == ' ' || rest.front() == '\n' ||
                                  rest.front() == '\t' || rest.front() == '\r'))
                rest.remove_prefix(1);
            else if (rest.starts_with("/*"))
                rest.remove_prefix(std::min(rest.size(), rest.find("*/", 2) + 2));
            else if (rest.starts_with("//"))
                rest.remove_prefix(std::min(rest.size(), rest.find('\n')));
            else
                break;
        }
        std::size_t n = rest.empty() ? 0 : 1;
        if (n == 1 && identifierchar(rest.front()))
            while (n < rest.size() && identifierchar(rest[n]))
                ++n;
        const std::string_view token = rest.substr(0, n);
        rest.remove_prefix(n);
        return token;
    }

private:
    std::string_view rest;
};

// Reads one parameter "[const] type* name" and the comma after it (nothing
// after the last); true when it is the expected one. `end` is the suffix
// '1' or '2' of an end item's argument, or 0.
constexpr bool parameter(Tokens& t, bool constant, std::string_view type, std::string_view name,
                         char end, bool last)
{
    if ((constant && t.next() != "const") || t.next() != type || t.next() != "*")
        return false;
    std::string_view given = t.next();
    if (end != 0) {
        if (given.empty() || given.back() != end)
            return false;
        given.remove_suffix(1);
    }
    return given == name && t.next() == (last ? "" : ",");
}

} // namespace signature

// True when `parameters`, the text of an exported exchange entry point's
// parameter list, declares first the int32_t counts named in `leading`
// (separated by spaces) and then every argument of the call's items in the
// registry's order, each with its type, const for a set routine.
constexpr bool followsregistry(Call call, bool writable, std::string_view leading,
                               std::string_view parameters)
{
    signature::Tokens t(parameters), names(leading);
    for (std::string_view name = names.next(); !name.empty(); name = names.next())
        if (!signature::parameter(t, !writable, "int32_t", name, 0, false))
            return false;
    const std::size_t n = argumentcount(call);
    for (std::size_t slot = 0; slot < n; ++slot) {
        const ArgumentInfo a = argumentat(call, slot);
        const char end = a.end == 0 ? '\0' : static_cast<char>('0' + a.end);
        if (!signature::parameter(t, !writable, a.item->integer ? "int32_t" : "double",
                                  a.item->argument, end, slot + 1 == n))
            return false;
    }
    return true;
}

} // namespace pelmora
