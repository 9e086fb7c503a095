// A run-time fault: a number and a description, raised by a platform service (a component that cannot be created
// or called, a temporary file that cannot be made) and caught by the routine's own fault handling.
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace platform {

struct Fault : std::exception {
    Fault(int number, QString description)
        : number(number), description(std::move(description)), utf8_(this->description.toUtf8()) {}
    const char *what() const noexcept override { return utf8_.constData(); }

    int number;
    QString description;

private:
    QByteArray utf8_;
};

} // namespace platform
