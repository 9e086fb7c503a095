#include "eventpump.h"

namespace platform {
namespace {
std::function<void()> &currentPump() {
    static std::function<void()> pump;
    return pump;
}
} // namespace

void setEventPump(std::function<void()> pump) { currentPump() = std::move(pump); }

void pumpEvents() {
    if (const auto &pump = currentPump()) pump();
}

} // namespace platform
