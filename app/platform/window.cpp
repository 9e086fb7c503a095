#include "window.h"

namespace platform {
namespace {

class NoWindow : public Window {
public:
    void setStatus(const QString &) override {}
    void showProgress() override {}
    void setProgress(int, int) override {}
    void hideProgress() override {}
    void updatePipRow(const QString &, const QString &, const QString &, const QString &, const QString &,
                      const QString &) override {}
    void notifyTonerLow(bool, const QString &, const QString &, const QString &) override {}
    void promptCustomerCode() override {}
    void navigate(const QUrl &, Answered) override {}
    void requestFailed(const QUrl &, const QString &) override {}
    void refillPipList() override {}
    void showWaitingReadings(int) override {}
    void updatePipStatus(const QString &, const QString &, Attention, const QString &) override {}
    void notifyCondition(const QString &, const QString &, Attention) override {}
    void showPrintersNeedingAttention(int) override {}
};

Window *&current() {
    static NoWindow none;
    static Window *window = &none;
    return window;
}

} // namespace

Window &window() { return *current(); }

void setWindow(Window *window) {
    static NoWindow none;
    current() = window ? window : &none;
}

} // namespace platform
