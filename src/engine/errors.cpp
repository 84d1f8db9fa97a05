#include "engine/errors.h"

#include <algorithm>

#include "engine/store.h"

namespace pelmora {

std::int32_t geterrorcode(Store& s)
{
    const std::int32_t fluid = s.fluiderrorcode;
    const std::int32_t pipe = s.pipeerrorcode;
    s.fluiderrorcode = 0;
    s.pipeerrorcode = 0;
    return std::max<std::int32_t>(std::max(fluid, pipe), 0);
}

void refusepipe(Store& s) { s.pipeerrorcode = coderefused; }

void refusefluid(Store& s) { s.fluiderrorcode = coderefused; }

} // namespace pelmora
