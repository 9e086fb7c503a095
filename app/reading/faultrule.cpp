#include "faultrule.h"

#include "platform/fault.h"
#include "store/log.h"

namespace reading {

FaultRule::FaultRule(QString tag, std::function<QString()> context)
    : tag_(std::move(tag)), context_(std::move(context)) {}

bool FaultRule::run(const std::function<void()> &step) {
    int number = 0;
    QString description;
    try {
        step();
        return true;
    } catch (const platform::Fault &fault) {
        number = fault.number;
        description = fault.description;
    } catch (const std::bad_alloc &) {
        number = 7;
        description = QStringLiteral("Out of memory");
    } catch (const std::exception &error) {
        number = 51;
        description = QString::fromUtf8(error.what());
    }
    QString line = tag_ + u' ' + QString::number(number) + u' ' + description;
    if (context_) line += u' ' + context_();
    store::WriteLog(line);
    return ++faults_ < FaultLimit;
}

bool FaultRule::run(std::initializer_list<std::function<void()>> steps) {
    for (const auto &step : steps)
        if (!run(step)) return false;
    return true;
}

} // namespace reading
