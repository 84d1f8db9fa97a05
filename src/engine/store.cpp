#include "engine/store.h"

namespace pelmora {

Store& engine()
{
    // Constructed on first use, lives for the lifetime of the loaded library.
    static Store instance;
    return instance;
}

} // namespace pelmora
