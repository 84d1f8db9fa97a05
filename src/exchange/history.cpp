// Exchange of both levels of the conserved variables.
//
// The store keeps variable k of cell i at conserved(k, i), the variable index
// running fastest. The host gets each level as one array with the cell index
// running fastest instead: element (k-1)*n + (i-1) for n cells, so that each
// variable's profile along the network is one contiguous run.
#include "engine/errors.h"
#include "exchange/state.h"

namespace pelmora {

namespace {

// True when m variables of n cells lie inside both stored levels.
bool levelsfit(const Store& s, std::int64_t m, std::int64_t n)
{
    return m <= s.conserved.nrows() && n <= s.conserved.ncols() &&
           m <= s.previousconserved.nrows() && n <= s.previousconserved.ncols();
}

void transposeout(const Array2& level, std::int64_t m, std::int64_t n, double* host)
{
    for (std::int64_t k = 1; k <= m; ++k)
        for (std::int64_t i = 1; i <= n; ++i)
            host[(k - 1) * n + (i - 1)] = level(k, i);
}

void transposein(const double* host, std::int64_t m, std::int64_t n, Array2& level)
{
    for (std::int64_t k = 1; k <= m; ++k)
        for (std::int64_t i = 1; i <= n; ++i)
            level(k, i) = host[(k - 1) * n + (i - 1)];
}

// Copies both levels in the given direction after checking the counts and
// the buffers; counts below 1 copy nothing and need no buffers.
template <class Copy>
bool exchangelevels(Store& s, std::int64_t m, std::int64_t n, const void* previous,
                    const void* current, Copy copy)
{
    if (m < 1 || n < 1)
        return true;
    if (previous == nullptr || current == nullptr || !levelsfit(s, m, n)) {
        refusepipe(s);
        return false;
    }
    copy();
    return true;
}

} // namespace

bool getuhistory(Store& s, double* previous, double* current)
{
    const std::int64_t m = s.numberofvariables;
    const std::int64_t n = s.totalcells;
    return exchangelevels(s, m, n, previous, current, [&] {
        transposeout(s.previousconserved, m, n, previous);
        transposeout(s.conserved, m, n, current);
    });
}

bool setuhistory(Store& s, const std::int32_t* nvars, const std::int32_t* ncells,
                 const double* previous, const double* current)
{
    if (nvars == nullptr || ncells == nullptr) {
        refusepipe(s);
        return false;
    }
    // The two counts drive the copy only; the store's counts stay.
    const std::int64_t m = *nvars;
    const std::int64_t n = *ncells;
    return exchangelevels(s, m, n, previous, current, [&] {
        transposein(previous, m, n, s.previousconserved);
        transposein(current, m, n, s.conserved);
    });
}

} // namespace pelmora
