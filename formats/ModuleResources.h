// Icon resources of Windows modules (PE32, PE32+ and 16-bit NE), for IconContainer.
#pragma once

#include "formats/IconContainer.h"

namespace glyptor::icons {

// Indexes the icon groups of an MZ module, and its RT_ICON images too when `withIcons` is set.
// Kind Pe or Ne with no groups when the module is damaged or has no icons; kind None when the
// bytes are not a PE or NE module at all.
ContainerIndex IndexModule(ByteSource& source, bool withIcons);

} // namespace glyptor::icons
