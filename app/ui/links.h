// The ways from the program to the outside: the customer portal in the user's browser, the maker's web site and a
// mail to the maker. Each hands an address to the desktop and reads nothing back.
#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace ui {

inline const QString MakerWebSite = QStringLiteral("https://www.meterlane.example");
inline const QString MakerContact = QStringLiteral("support@meterlane.example");

// The customer number a customer code stands for: the integer part of a decimal number (blanks around it allowed);
// nothing for any other text, or a number too large to be a customer's.
std::optional<qint64> customerNumber(const QString &customerCode);

// The portal button: the customer code from the configuration file, asked for when there is none; then the
// vendor's portal with the code hidden in a token. Stops without a word when the code stays empty or is not a
// number, and opens nothing for a vendor identifier the table does not hold.
void openPortal(QWidget *parent);

// Opens address in the default program; nothing for an empty address; a failure is reported as
// "Error jumping to:" + address.
void jumpTo(QWidget *parent, const QString &address);

// The text of a new mail to the maker, with empty cc, bcc and body fields.
QString mailText();
// Opens a new mail to the maker; a failure is not reported.
void mailMaker();

} // namespace ui
