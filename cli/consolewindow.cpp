#include "consolewindow.h"

#include <QTextStream>

namespace cli {

QString oneLine(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\\n")).replace(u'\n', QStringLiteral("\\n"));
}

void ConsoleWindow::setStatus(const QString &text) {
    if (!text.trimmed().isEmpty()) QTextStream(stderr) << text << "\n";
}

void ConsoleWindow::notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                                   const QString &tonerWarning) {
    QTextStream(stderr) << (showBalloon ? "toner low (balloon): " : "toner low: ") << model << " (" << description
                        << "): " << oneLine(tonerWarning) << "\n";
}

} // namespace cli
