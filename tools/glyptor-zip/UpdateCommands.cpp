// Commands of glyptor-zip that change an archive. None exists yet; every command word is
// reported as unknown.
#include "Commands.h"

namespace glyptor::tools {

int RunUpdateCommand(const std::string&, std::vector<std::string>) {
    return -1;
}

} // namespace glyptor::tools
