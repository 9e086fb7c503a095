#include "pingbase.h"

#include "echochannel.h"
#include "platform/eventpump.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace discovery {
namespace {

constexpr int PollMs = 5;          // the longest wait of one pass
constexpr int SingleLimitMs = 1000; // PingHostSingle's fixed limit

// PingHostSingle's wait: the result once the outcome is known, -1 once the limit has passed.
int waitForSingle(EchoChannel &channel) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        channel.wait(PollMs);
        platform::pumpEvents();
        if (clock.elapsed() >= SingleLimitMs) {
            platform::pumpEvents();
            return -1;
        }
        if (const std::optional<EchoOutcome> outcome = channel.outcome(0))
            return outcome->answered ? outcome->roundTripMs : -1;
    }
}

} // namespace

// One PingHostList run. The requests go out a window at a time: slots 0 to N first, then N more each time N of
// the current window's slots have completed. Each pass waits up to PollMs for news, then examines every
// outstanding slot in index order, raising its event as soon as its outcome is known; the event pump runs after
// each examination. A slot left outstanding when its window moves on keeps being examined, so that every request
// gets its true outcome within TimeOutHost. The run ends when every slot has completed or TimeOutAll has passed;
// the final sweep then reports the rest through PingFail, in index order.
class PingRun {
public:
    PingRun(ClassPingBase &pinger, const QStringList &addresses, int width, int timeOutHost, int timeOutAll)
        : pinger_(pinger), addresses_(addresses), slotCount_(std::max<int>(addresses.size() - 1, 0)), width_(width),
          timeOutHost_(timeOutHost), timeOutAll_(timeOutAll), completed_(slotCount_, false) {}

    void run() {
        if (slotCount_ > 0) ping();
        finalSweep();
    }

private:
    void ping() {
        QString why;
        channel_ = openEchoChannel(slotCount_, width_, why);
        pinger_.lastError_ = why;
        if (!channel_) return;
        pinger_.lastMethod_ = channel_->method();
        QElapsedTimer clock;
        clock.start();
        openWindow(0, std::min(width_, slotCount_ - 1));
        for (;;) {
            pass();
            if (clock.elapsed() >= timeOutAll_) {
                platform::pumpEvents();
                break;
            }
            if (done_ >= slotCount_) break;
            if (windowDone_ >= width_ && last_ < slotCount_ - 1)
                openWindow(last_ + 1, last_ + std::min(width_, slotCount_ - 1 - last_));
        }
        pinger_.lastError_ = channel_->problem();
    }

    void openWindow(int first, int last) {
        first_ = first;
        last_ = last;
        windowDone_ = 0;
        for (int slot = first_; slot <= last_; ++slot) channel_->send(slot, addresses_[slot], timeOutHost_);
    }

    void pass() {
        channel_->wait(PollMs);
        while (lowestOutstanding_ < slotCount_ && completed_[lowestOutstanding_]) ++lowestOutstanding_;
        for (int slot = lowestOutstanding_; slot <= last_; ++slot) {
            if (completed_[slot]) continue;
            if (const std::optional<EchoOutcome> outcome = channel_->outcome(slot)) complete(slot, *outcome);
            platform::pumpEvents();
        }
    }

    void complete(int slot, const EchoOutcome &outcome) {
        completed_[slot] = true;
        ++done_;
        if (slot >= first_) ++windowDone_;
        if (outcome.answered)
            emit pinger_.PingSuccess(addresses_[slot], outcome.roundTripMs, slot);
        else
            emit pinger_.PingFail(addresses_[slot], -1, slot);
    }

    void finalSweep() {
        for (int slot = 0; slot < slotCount_; ++slot)
            if (!completed_[slot]) emit pinger_.PingFail(addresses_[slot], -1, slot);
    }

    ClassPingBase &pinger_;
    const QStringList addresses_;
    const int slotCount_; // U
    const int width_;     // N
    const int timeOutHost_, timeOutAll_;
    std::unique_ptr<EchoChannel> channel_;
    std::vector<bool> completed_;
    int first_ = 0, last_ = -1;   // the current window
    int done_ = 0;                // D: slots completed
    int windowDone_ = 0;          // W: slots of the current window completed
    int lowestOutstanding_ = 0;   // every slot below has completed
};

ClassPingBase::ClassPingBase(QObject *parent) : QObject(parent) {}

bool ClassPingBase::PingHostList(QStringList &saIpAdresses, int TimeOutHost, int TimeOutAll) {
    if (listPingRunning_) return false;
    listPingRunning_ = true;
    lastMethod_.clear();
    lastError_.clear();
    PingRun(*this, saIpAdresses, std::max(numParalellActions_, 1), TimeOutHost, TimeOutAll).run();
    listPingRunning_ = false; // a fault from a handler leaves it set, as it leaves the run
    return false;
}

int ClassPingBase::PingHostSingle(const QString &sHostIP, int /*TimeOut: the limit is fixed*/) {
    QString why;
    const std::unique_ptr<EchoChannel> channel = openEchoChannel(1, 1, why);
    lastMethod_ = channel ? channel->method() : QString();
    lastError_ = why;
    if (!channel) return -2;
    channel->send(0, sHostIP, SingleLimitMs);
    const int result = waitForSingle(*channel);
    lastError_ = channel->problem();
    return result;
}

} // namespace discovery
