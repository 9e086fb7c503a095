// The fault rule of the routines that talk to printers: a step that faults writes a log line made of the routine's
// tag, the fault's number and description (and, for some routines, the text in hand), and the routine goes on with
// its next step; the tenth fault in one call ends the routine.
#pragma once

#include <QString>

#include <functional>
#include <initializer_list>

namespace reading {

class FaultRule {
public:
    static constexpr int FaultLimit = 10;

    // context, when given, adds the text in hand to every log line.
    explicit FaultRule(QString tag, std::function<QString()> context = {});

    // Runs one step; false once the tenth fault has occurred, and the caller then ends at once.
    bool run(const std::function<void()> &step);
    // Runs the steps in order; false as soon as one ends the routine.
    bool run(std::initializer_list<std::function<void()>> steps);

private:
    QString tag_;
    std::function<QString()> context_;
    int faults_ = 0;
};

} // namespace reading
