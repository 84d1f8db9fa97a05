// Exported entry point of the network steady state.
#include "pelmora.h"

#include "drivers/drivers.h"
#include "engine/capi.h"

extern "C" {

PELMORA_API void steadystate(int32_t mode, double a, double b, double c, int32_t* status)
{
    if (status == nullptr) {
        // Nowhere to report the outcome: refuse without marching.
        pelmora::guarded(pelmora::Side::pipe, [](pelmora::Store& s) { pelmora::refusepipe(s); });
        return;
    }
    *status = pelmora::steadybadmode;
    pelmora::guarded(pelmora::Side::pipe,
                     [&](pelmora::Store& s) { *status = pelmora::steadystate(s, mode, a, b, c); });
}

} // extern "C"
