// Exported entry points of the engine core.
#include "pelmora.h"

#include "engine/capi.h"

extern "C" {

PELMORA_API void geterrorcode(int32_t* code)
{
    if (code == nullptr)
        return; // nowhere to report: leave both codes for a later call
    pelmora::guarded(pelmora::Side::pipe,
                     [&](pelmora::Store& s) { *code = pelmora::geterrorcode(s); });
}

} // extern "C"
