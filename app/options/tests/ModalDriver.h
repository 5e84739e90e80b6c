#pragma once
// Drives modal dialogs the code under test runs with exec(): the test names the dialog it expects
// next and what to do in it; the driver runs once that dialog is the active modal window (inside
// the dialog's own event loop) and closes it afterwards if the test's code left it open.

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// How many dialogs a driver has handled, so that a test can check that its dialog came.
struct ModalDriven {
    int count = 0;
};

template <typename T> std::shared_ptr<ModalDriven> OnNextModal(std::function<void(T*)> drive) {
    auto driven = std::make_shared<ModalDriven>();
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, drive, driven] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        QPointer<T> guard(dialog);
        // Laid out as a user would see it, so that clicks land on the controls.
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        ++driven->count;
        drive(dialog);
        if (guard && guard->isVisible()) guard->reject();
    });
    timer->start();
    return driven;
}
