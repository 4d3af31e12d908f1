#include "platform/qt/qt_event_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

void QtEventLoop::ProcessEvents() {
    QCoreApplication::processEvents();
}

void QtEventLoop::WaitForEvents(int maxMs) {
    // The guard wakes the wait when nothing else arrives in time.
    QTimer guard;
    guard.setSingleShot(true);
    guard.setTimerType(Qt::PreciseTimer);
    guard.start(maxMs > 0 ? maxMs : 0);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtEventLoop::Sleep(int ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

void QtEventLoop::RunFor(int ms) {
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
