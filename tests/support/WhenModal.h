#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Calls handle with the application's active modal widget as soon as one is shown, from
// inside that widget's own event loop, where the code that opened it is still waiting. Gives
// up after timeoutMs, so that a dialog that never opens fails the test instead of hanging it.
inline void whenModal(std::function<void(QWidget *)> handle, int timeoutMs = 10000)
{
    auto *poll = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, handle, waited, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        *waited += poll->interval();
        if (!modal && *waited < timeoutMs)
            return;
        poll->stop();
        poll->deleteLater();
        if (modal)
            handle(modal);
    });
    poll->start(20);
}
