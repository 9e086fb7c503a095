// The read-and-send cycle: every monitored printer read and its counter record sent to the service, at a fixed
// interval of timer ticks and whenever the user asks for it; one cycle at a time.
#pragma once

#include "outbox.h"

#include <chrono>
#include <functional>

namespace upload {

// Runs one cycle (SendPCC) unless one is already running; false when it started none. Asked for during a condition
// poll, the cycle runs right after the poll (true).
bool runCycle();
bool cycleRunning();
// Runs the cycle asked for during a poll, if any; the poll calls it as it ends.
void runDeferredCycle();

// One cycle: the slots in order, each read and sent; the printer list downloaded when no slot is usable. False for
// a cycle that failed: a host that did not resolve ("PIP error"), a list download that failed, the tenth error, or
// a stop. Uploads are handed to the window; whether they arrive is the window's to tell.
bool SendPCC();

// Asks a running cycle to stop after the printer in hand, and a cycle that starts while the request stands to end
// at once (a service shutting down); false withdraws the request.
void requestStop(bool stop = true);
bool stopRequested();

// The length of the timer's tick: 30 s, or the milliseconds of METERLANE_TICK_MS (tests shorten it).
std::chrono::milliseconds tickLength();
// Ticks from one timed cycle to the next by the setting IntervalReadMinutes: 10 when it is 0, missing or no number.
int readingIntervalTicks();
// How long an upload may take in all before it counts as failed: half a tick (15 s), so that a request sent at one
// tick has its outcome before the next.
std::chrono::milliseconds uploadTimeLimit();

// What waits is sent again at a tick: the readings of the outbox, and the alerts, with the daily summaries whose time
// has come.
void sendWaiting();

// The timer's schedule, one call of tick() per tick: a cycle at the first tick, then every readingIntervalTicks().
// The cycle runs through runCycle, so a tick during a cycle starts none. After the cycle's own work, if any, every
// tick outside a cycle sends again what waits (sendWaiting); and every pollIntervalTicks() after the last cycle or
// poll, the condition poll runs.
class ReadSchedule {
public:
    explicit ReadSchedule(std::function<bool()> cycle = runCycle, std::function<void()> retry = sendWaiting,
                          std::function<bool()> poll = defaultPoll());
    // One tick; true when it ran a cycle.
    bool tick();
    int ticks() const { return ticks_; }

private:
    std::function<bool()> cycle_;
    static std::function<bool()> defaultPoll();

    std::function<void()> retry_;
    std::function<bool()> poll_;
    int ticks_ = 0;
    int pollTicks_ = 0;
};

} // namespace upload
