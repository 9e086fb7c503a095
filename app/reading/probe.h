// The probe of one selected printer: a few identifying values read with its maker's OIDs, for the main window's
// labels. It changes nothing stored.
#pragma once

#include <QString>

namespace reading {

struct ProbeLabels {
    QString brand = QStringLiteral("-");
    QString brandTip;                     // the system description; empty when unchanged
    QString model = QStringLiteral("-");
    QString identity = QStringLiteral("-");
    QString counter = QStringLiteral("-");
    QString message = QStringLiteral("-"); // the toner warning of the selected row
    QString status;                        // "PIP error: HOST>" when the host cannot be resolved
};

// host: the selected row's text; rowTonerWarning: its Toner column.
ProbeLabels ProbeSelectedPrinter(const QString &host, const QString &rowTonerWarning);

} // namespace reading
