// libFuzzer entry: every input is a call sequence (see harness.h).
#include <cstddef>
#include <cstdint>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pelmorafuzz::runcallsequence(data, size, false);
    return 0;
}
