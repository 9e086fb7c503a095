// The window interface on a terminal: status texts and toner notes as lines on standard error, request addresses
// on standard output, the customer code asked on the terminal. Unlike the desktop window's browser it examines the
// answers, so that a script learns which requests failed.
#pragma once

#include "platform/window.h"

#include <QHash>

class QNetworkAccessManager;
class QNetworkReply;

namespace cli {

class ConsoleWindow : public platform::Window {
public:
    ConsoleWindow() = default;
    ConsoleWindow(const ConsoleWindow &) = delete;
    ConsoleWindow &operator=(const ConsoleWindow &) = delete;
    ~ConsoleWindow() override;

    void setStatus(const QString &text) override;
    void showProgress() override {}
    void setProgress(int, int) override {}
    void hideProgress() override {}
    void updatePipRow(const QString &, const QString &, const QString &, const QString &, const QString &,
                      const QString &) override {}
    void notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                        const QString &tonerWarning) override;
    // Asks on the terminal. Without one (the system service), nobody answers: the code stored in the configuration
    // file, else [Vendor] CID of zov.vnd.
    void promptCustomerCode() override;
    // Prints the address on standard output and sends the request; waitForRequests lets them finish.
    void navigate(const QUrl &address, Answered answered = {}) override;
    // Named on standard error and counted with the failed uploads.
    void requestFailed(const QUrl &address, const QString &reason) override;
    void refillPipList() override {}
    // A line on standard error when the number the outbox file holds changes: readings kept only in memory end with
    // the command (waitForRequests names them).
    void showWaitingReadings(int count) override;
    void updatePipStatus(const QString &, const QString &, platform::Attention, const QString &) override {}
    // A line on standard error: the title, then the text.
    void notifyCondition(const QString &title, const QString &text, platform::Attention attention) override;
    void showPrintersNeedingAttention(int) override {}

    // Waits (bounded) until every request handed over has been answered or has failed; those still open then are
    // abandoned. False, after saying so on standard error, when readings are left that the outbox could keep only
    // in memory: they end with the process.
    bool waitForRequests();

    // The requests that failed or were abandoned so far (no address, no connection, HTTP status 400 or above, no
    // answer in time), each named on standard error when it failed.
    int failedRequests() const { return failed_; }

private:
    QNetworkAccessManager *network();
    void finished(QNetworkReply *reply);

    QNetworkAccessManager *network_ = nullptr;
    QHash<QNetworkReply *, Answered> pending_;
    int failed_ = 0;
    int waiting_ = 0;
};

// Joins the lines of a text (a toner warning) into one: each CR LF or LF becomes "; ".
QString oneLine(QString text);

} // namespace cli
