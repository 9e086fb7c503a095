// A main window for tests: it records what the reading engine shows (status texts, progress bar calls, list row
// updates, toner-low notifications, prompts, navigations, list refills) and can be told to fail in one of its members, as a control that cannot be
// updated does.
#pragma once

#include "platform/fault.h"
#include "platform/window.h"

#include <QString>
#include <QStringList>

#include <QUrl>

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace meterlane::test {

class RecordingWindow : public platform::Window {
public:
    struct Row {
        QString host, model, identity, totalBW, totalColour, tonerWarning;
        bool operator==(const Row &) const = default;
    };
    struct TonerNote {
        bool showBalloon = false;
        QString model, description, tonerWarning;
        bool operator==(const TonerNote &) const = default;
    };
    enum class Member {
        None, SetStatus, ShowProgress, SetProgress, HideProgress, UpdatePipRow, NotifyTonerLow, PromptCustomerCode,
        Navigate, RefillPipList
    };

    // The member that raises a fault on every call (after recording it).
    Member failing = Member::None;

    QStringList statuses;
    QStringList barCalls;                     // "show", "hide" and "done/total", in call order
    std::vector<std::pair<int, int>> steps;  // the setProgress calls
    std::vector<Row> rows;
    std::vector<TonerNote> tonerNotes;
    std::vector<QUrl> navigations;
    std::vector<Answered> unanswered; // of the navigations that wanted to hear, in order
    std::vector<std::pair<QUrl, QString>> failedRequests; // address and reason
    int prompts = 0;
    int refills = 0;
    // What the customer-code prompt answers: a code to confirm, or nothing for a cancel.
    std::optional<QString> customerCode;
    // Called on every prompt with the code confirmed (the window stores it; tests decide where).
    std::function<void(const QString &)> storeCustomerCode;
    // Called after every status text, as events that run inside the core's waits would be (a timer's tick).
    std::function<void(const QString &)> statusShown;
    int waitingReadings = 0; // as last told

    bool barVisible() const {
        return barCalls.lastIndexOf(QStringLiteral("show")) > barCalls.lastIndexOf(QStringLiteral("hide"));
    }

    void setStatus(const QString &text) override {
        statuses << text;
        if (statusShown) statusShown(text);
        failIf(Member::SetStatus);
    }
    void showProgress() override {
        barCalls << QStringLiteral("show");
        failIf(Member::ShowProgress);
    }
    void setProgress(int done, int total) override {
        barCalls << QStringLiteral("%1/%2").arg(done).arg(total);
        steps.emplace_back(done, total);
        failIf(Member::SetProgress);
    }
    void hideProgress() override {
        barCalls << QStringLiteral("hide");
        failIf(Member::HideProgress);
    }
    void updatePipRow(const QString &host, const QString &model, const QString &identity, const QString &totalBW,
                      const QString &totalColour, const QString &tonerWarning) override {
        rows.push_back({host, model, identity, totalBW, totalColour, tonerWarning});
        failIf(Member::UpdatePipRow);
    }
    void notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                        const QString &tonerWarning) override {
        tonerNotes.push_back({showBalloon, model, description, tonerWarning});
        failIf(Member::NotifyTonerLow);
    }

    void promptCustomerCode() override {
        ++prompts;
        failIf(Member::PromptCustomerCode);
        if (customerCode && storeCustomerCode) storeCustomerCode(*customerCode);
    }
    void navigate(const QUrl &address, Answered answered = {}) override {
        navigations.push_back(address);
        failIf(Member::Navigate);
        if (answered) unanswered.push_back(std::move(answered));
    }
    // Answers every request still out, in the order sent: failure, or the empty text for one the service took.
    void answerAll(const QString &failure) {
        for (const Answered &answered : std::exchange(unanswered, {})) answered(failure);
    }
    void showWaitingReadings(int count) override { waitingReadings = count; }

    struct StatusCell {
        QString status;
        platform::Attention attention = platform::Attention::None;
        QString details;
    };
    struct ConditionNote {
        QString title, text;
        platform::Attention attention = platform::Attention::None;
    };
    std::map<QString, StatusCell> pipStatus; // by host, as last told
    std::vector<ConditionNote> conditionNotes;
    int needingAttention = 0; // as last told
    void updatePipStatus(const QString &host, const QString &status, platform::Attention attention,
                         const QString &details) override {
        pipStatus[host] = {status, attention, details};
    }
    void notifyCondition(const QString &title, const QString &text, platform::Attention attention) override {
        conditionNotes.push_back({title, text, attention});
    }
    void showPrintersNeedingAttention(int count) override { needingAttention = count; }
    void requestFailed(const QUrl &address, const QString &reason) override {
        failedRequests.emplace_back(address, reason);
    }
    void refillPipList() override {
        ++refills;
        failIf(Member::RefillPipList);
    }

private:
    void failIf(Member member) const {
        if (failing == member) throw platform::Fault(424, QStringLiteral("Object required"));
    }
};

} // namespace meterlane::test
