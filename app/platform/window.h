// The narrow interface through which the core reaches the main window: status line, progress bar, list rows, the
// toner-low notification. The desktop window implements it, the command-line tool prints, tests record.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace platform {

// How much a printer's condition asks of the user, least first.
enum class Attention { None, NotAnswering, Notice, Warning, Critical };

class Window {
public:
    virtual ~Window() = default;

    // The status line (Label3), repainted at once.
    virtual void setStatus(const QString &text) = 0;

    // The progress bar: shown empty, filled to done of total steps, hidden.
    virtual void showProgress() = 0;
    virtual void setProgress(int done, int total) = 0;
    virtual void hideProgress() = 0;

    // Fresh values of a printer for its rows in the list; with a toner warning, also the model and warning labels.
    virtual void updatePipRow(const QString &host, const QString &model, const QString &identity,
                              const QString &totalBW, const QString &totalColour, const QString &tonerWarning) = 0;

    // A toner runs low: a balloon when showBalloon, else the quiet change of the notification icon and its tip.
    // Without a notification area: a desktop notification, else the balloon's title in the status line; the quiet
    // change goes to the window's own icon and tool tip.
    virtual void notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                                const QString &tonerWarning) = 0;

    // Asks for the customer code (modal); on confirmation it is kept in the globals and stored in the
    // configuration file, on cancel nothing changes.
    virtual void promptCustomerCode() = 0;

    // Told once when a request has finished: why it failed (as upload::requestFailure names it), or the empty text
    // when the service took it (an HTTP status below 400).
    using Answered = std::function<void(const QString &failure)>;

    // Hands a request to the window's browser, which sends it; nobody waits for the answer, but answered, when
    // given, hears how it ended (at once for an address that cannot be sent).
    virtual void navigate(const QUrl &address, Answered answered = {}) = 0;

    // A request whose answer the core waited for failed (reason as upload::requestFailure names it). The status
    // line has said so already; a window that reports failures elsewhere (the command line) names it there.
    virtual void requestFailed(const QUrl &address, const QString &reason) = 0;

    // Rebuilds the list of monitored printers from the configuration file.
    virtual void refillPipList() = 0;

    // A printer's condition for the Status column of its rows: the worst active condition's text ("Not answering"
    // while its last read went unanswered; empty when all is well), how much it asks of the user (the row's icon),
    // and every active condition with its time, one per line, for the row's tool tip.
    virtual void updatePipStatus(const QString &host, const QString &status, Attention attention,
                                 const QString &details) = 0;

    // A condition newly raised, told once: a balloon with title and text, else a desktop notification, else the
    // status line, as the toner notice goes.
    virtual void notifyCondition(const QString &title, const QString &text, Attention attention) = 0;

    // How many printers need attention (an active warning or critical condition); told whenever the number changes.
    virtual void showPrintersNeedingAttention(int count) = 0;

    // How many readings wait in the outbox for the service to take them; told whenever the number changes.
    virtual void showWaitingReadings(int count) = 0;
};

// The window of the process; a window that does nothing until one is set.
Window &window();
void setWindow(Window *window);

} // namespace platform
