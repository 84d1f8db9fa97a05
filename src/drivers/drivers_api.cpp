// Exported entry points of the drivers: transient and steady marching and
// the uniform initial conditions.
#include "pelmora.h"

#include "drivers/drivers.h"
#include "engine/capi.h"

using pelmora::Side;
using pelmora::Store;

extern "C" {

PELMORA_API void transientpipes(const double* dt)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        if (!dt)
            return pelmora::refusepipe(s);
        pelmora::transientpipes(s, *dt);
    });
}

PELMORA_API void transientpipe(const int32_t* pipe, const double* dt)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        if (!pipe || !dt)
            return pelmora::refusepipe(s);
        pelmora::transientpipe(s, *pipe, *dt);
    });
}

PELMORA_API void steadypipes(const double* tmax, double* elapsed)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        if (!tmax || !elapsed)
            return pelmora::refusepipe(s);
        pelmora::steadypipes(s, *tmax, *elapsed);
    });
}

PELMORA_API void steadypipe(const int32_t* pipe, const double* tmax, double* elapsed)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        if (!pipe || !tmax || !elapsed)
            return pelmora::refusepipe(s);
        pelmora::steadypipe(s, *pipe, *tmax, *elapsed);
    });
}

PELMORA_API void loadinitialconditions(const double* p, const double* T, const double* m)
{
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::loadinitialconditions(s, p, T, m); });
}

} // extern "C"
