#include "exchange/queries.h"

#include <algorithm>

#include "engine/errors.h"

namespace pelmora {

void gettotalnumberofcells(Store& s, std::int32_t* n)
{
    if (n == nullptr) {
        refusepipe(s);
        return;
    }
    *n = s.totalcells;
}

void getshape(Store& s, std::int32_t* nvars, std::int32_t* ncells, std::int32_t* nfaces,
              std::int32_t* npipes)
{
    if (nvars == nullptr || ncells == nullptr || nfaces == nullptr || npipes == nullptr) {
        refusepipe(s);
        return;
    }
    *nvars = s.numberofvariables;
    *ncells = s.totalcells;
    *nfaces = s.totalfaces;
    *npipes = s.numberofpipes;
}

// Cells a query may report: those the store counts and the arrays hold. A
// parameter exchange can store a smaller count than the load allocated, and
// a host sizes its buffers from getnumberofcells, so the cell count and the
// profiles must agree on one bound.
namespace {
std::int64_t reportablecells(const Store& s, std::int64_t arraysize)
{
    return std::min<std::int64_t>(s.totalcells, arraysize);
}
} // namespace

void getnumberofcells(Store& s, std::int32_t pipe, std::int32_t* n)
{
    if (n == nullptr || !haspipecells(s, pipe, reportablecells(s, s.celldiameter.size()))) {
        refusepipe(s);
        return;
    }
    *n = s.lastcell(pipe) - s.firstcell(pipe) + 1;
}

void getprofile(Store& s, const Array1<double>& quantity, std::int32_t pipe, double* values)
{
    if (values == nullptr || !haspipecells(s, pipe, reportablecells(s, quantity.size()))) {
        refusepipe(s);
        return;
    }
    std::copy(quantity.at(s.firstcell(pipe)), quantity.at(s.lastcell(pipe)) + 1, values);
}

void getendvalue(Store& s, const EndPair<double>& quantity, std::int32_t end, double* value)
{
    if (end != 1 && end != 2)
        return;
    if (value == nullptr) {
        refusepipe(s);
        return;
    }
    *value = quantity(end);
}

} // namespace pelmora
