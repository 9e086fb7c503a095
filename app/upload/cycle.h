// The read-and-send cycle: every monitored printer read and its counter record sent to the service, at a fixed
// interval of timer ticks and whenever the user asks for it; one cycle at a time.
#pragma once

#include <functional>

namespace upload {

// Runs one cycle (SendPCC) unless one is already running; false when it started none.
bool runCycle();

// One cycle: the slots in order, each read and sent; the printer list downloaded when no slot is usable. False for
// a cycle that failed: a host that did not resolve ("PIP error"), a list download that failed, the tenth error, or
// a stop. Uploads are handed to the window; whether they arrive is the window's to tell.
bool SendPCC();

// Asks a running cycle to stop after the printer in hand, and a cycle that starts while the request stands to end
// at once (a service shutting down); false withdraws the request.
void requestStop(bool stop = true);
bool stopRequested();

// The timer's schedule, 30-second ticks: a cycle at the first tick, then every IntervalReadMinutes ticks (10 when
// the setting is 0, missing or no number). The cycle runs through runCycle, so a tick during a cycle starts none.
class ReadSchedule {
public:
    static constexpr int TickMilliseconds = 30000;

    explicit ReadSchedule(std::function<bool()> cycle = runCycle);
    // One tick; true when it ran a cycle.
    bool tick();
    int ticks() const { return ticks_; }

private:
    std::function<bool()> cycle_;
    int ticks_ = 0;
};

} // namespace upload
