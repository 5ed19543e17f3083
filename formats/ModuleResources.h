// Icon resources of Windows modules (PE32, PE32+ and 16-bit NE), for IconContainer.
#pragma once

#include "formats/IconContainer.h"

#include <string>
#include <vector>

namespace glyptor::icons {

// Indexes the icon groups of an MZ module, and its RT_ICON images too when `withIcons` is set.
// Kind Pe or Ne with no groups when the module is damaged or has no icons; kind None when the
// bytes are not a PE or NE module at all.
ContainerIndex IndexModule(ByteSource& source, bool withIcons);

// What a module calls one of its icon groups: a number or a name, and the language it is
// stored under (0 for NE modules, which have none).
struct GroupKey {
    bool named = false;
    std::uint32_t id = 0;
    std::string name;
    std::uint32_t language = 0;
};

// The keys of the module's icon groups, one per group of IndexModule and in the same order;
// empty when the bytes are not a PE or NE module. Reads the resource directory again, so it is
// meant for the few groups a user looks at, not for a scan.
std::vector<GroupKey> ModuleGroupKeys(ByteSource& source);

} // namespace glyptor::icons
