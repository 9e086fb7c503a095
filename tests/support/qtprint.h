// Lets GoogleTest print Qt texts in its messages.
#pragma once

#include <QString>

#include <ostream>

inline std::ostream &operator<<(std::ostream &out, const QString &text) { return out << text.toStdString(); }
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
