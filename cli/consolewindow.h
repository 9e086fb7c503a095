// The window interface on a terminal: status texts and toner notes as lines on standard error.
#pragma once

#include "platform/window.h"

namespace cli {

class ConsoleWindow : public platform::Window {
public:
    void setStatus(const QString &text) override;
    void showProgress() override {}
    void setProgress(int, int) override {}
    void hideProgress() override {}
    void updatePipRow(const QString &, const QString &, const QString &, const QString &, const QString &,
                      const QString &) override {}
    void notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                        const QString &tonerWarning) override;
};

// Escapes line breaks so that a text stays on one line: CR LF and LF as \n.
QString oneLine(QString text);

} // namespace cli
