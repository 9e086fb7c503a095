// Answers the modal boxes that a widget test opens: the answer runs once the box is up and active, so a test never
// leaves a box waiting.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

// Calls answer with the next modal widget that comes up within the time limit (a box, a dialog, an input box) and
// records what it was in seen, when given. The answer must close it.
inline void answerNextModal(std::function<void(QWidget *)> answer, QWidget **seen = nullptr, int limitMs = 10000) {
    auto *poll = new QTimer;
    auto waited = std::make_shared<int>(0);
    QWidget *before = QApplication::activeModalWidget();
    QObject::connect(poll, &QTimer::timeout, [=] {
        *waited += 10;
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != before && modal->isVisible()) {
            poll->stop();
            poll->deleteLater();
            if (seen) *seen = modal;
            answer(modal);
        } else if (*waited > limitMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
}

} // namespace testsupport
