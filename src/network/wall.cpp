// Wall data and the time-step limit.
#include <algorithm>
#include <cstdint>

#include "engine/errors.h"
#include "network/network.h"

namespace pelmora {

// Every cell of pipe p takes the pipe's ambient temperature and overall
// heat-transfer coefficient. All ranges are checked before anything is
// written, so a refused call leaves the wall data as it was.
void loadwalldata(Store& s, const double* ambienttemperature, const double* heattransfercoefficient)
{
    if (!s.networkloaded || ambienttemperature == nullptr || heattransfercoefficient == nullptr) {
        refusepipe(s);
        return;
    }
    const std::int64_t ncells =
        std::min(s.ambienttemperature.size(), s.heattransfercoefficient.size());
    for (std::int32_t p = 1; p <= s.numberofpipes; ++p) {
        if (!haspipecells(s, p, ncells)) {
            refusepipe(s);
            return;
        }
    }

    for (std::int32_t p = 1; p <= s.numberofpipes; ++p) {
        for (std::int32_t c = s.firstcell(p); c <= s.lastcell(p); ++c) {
            s.ambienttemperature(c) = ambienttemperature[p - 1];
            s.heattransfercoefficient(c) = heattransfercoefficient[p - 1];
        }
    }
}

// The drivers never take a sub-step longer than this. +infinity means no
// limit; zero, a negative value or NaN would stop every driver, so it is
// refused and the old limit stays.
void maxtimestep(Store& s, double dt)
{
    if (!(dt > 0.0)) {
        refusepipe(s);
        return;
    }
    s.maximumtimestep = dt;
}

} // namespace pelmora
