#include "platform/core/ProgramState.h"

#include <QCoreApplication>

namespace glyptor {

void PumpMessages(ProgramState& state) {
    const std::uint32_t now = state.TickSource();
    if (static_cast<std::uint32_t>(now - state.LastPumpTick) > state.PumpInterval) {
        state.LastPumpTick = now;
        QCoreApplication::processEvents();
    }
}

} // namespace glyptor
