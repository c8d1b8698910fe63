#include "app/box_broker.h"

#include <QApplication>
#include <QThread>
#include <future>
#include <memory>

namespace sn::app {

QString Displayed(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

namespace {

struct Answer {
    std::promise<void> promise;
    std::atomic<bool> given{false};
    void Give() {
        if (!given.exchange(true)) {
            promise.set_value();
        }
    }
};

}  // namespace

BoxBroker::BoxBroker(QWidget* owner) : QObject(owner), owner_(owner) {}

QMessageBox* BoxBroker::Open(const QString& text, const QString& caption, QMessageBox::Icon icon) {
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::Ok, owner_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    open_.insert(box);
    connect(box, &QObject::destroyed, this, [this, box] { open_.erase(box); });
    return box;
}

void BoxBroker::Show(const QString& text, const QString& caption, QMessageBox::Icon icon) {
    if (closing_.load()) {
        return;
    }
    if (QThread::currentThread() == thread()) {
        QPointer<QMessageBox> box = Open(text, caption, icon);
        box->setAttribute(Qt::WA_DeleteOnClose, false);
        box->exec();
        delete box.data();
        return;
    }
    // The answer is held only by the queued call and by the box's
    // connections: if either goes without answering (the broker or the box
    // destroyed), the promise goes with it and the wait ends all the same.
    auto answer = std::make_shared<Answer>();
    std::future<void> done = answer->promise.get_future();
    const bool queued = QMetaObject::invokeMethod(
        this,
        [this, text, caption, icon, answer = std::move(answer)] {
            if (closing_.load()) {
                answer->Give();
                return;
            }
            QMessageBox* box = Open(text, caption, icon);
            connect(box, &QDialog::finished, box, [answer] { answer->Give(); });
            box->open();
        },
        Qt::QueuedConnection);
    if (queued) {
        done.wait();
    }
}

void BoxBroker::CloseAll() {
    closing_ = true;
    const std::set<QMessageBox*> boxes = open_;
    for (QMessageBox* box : boxes) {
        box->done(QMessageBox::Ok);
    }
}

}  // namespace sn::app
