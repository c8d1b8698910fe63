#pragma once
// BoxBroker: modal message boxes for callers on any thread, opened on the GUI
// thread without blocking it (docs/threads.md, forms).

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <mutex>
#include <set>

namespace sn::app {

class BoxBroker : public QObject {
    Q_OBJECT
  public:
    explicit BoxBroker(QWidget* owner);

    void Show(const QString& text, const QString& caption, QMessageBox::Icon icon);
    void CloseAll();
    bool Closing() const { return closing_.load(); }

  private:
    QMessageBox* Open(const QString& text, const QString& caption, QMessageBox::Icon icon);

    QPointer<QWidget> owner_;
    std::atomic<bool> closing_{false};
    std::set<QMessageBox*> open_;  // GUI thread only
};

// "a\r\nb" -> "a\nb", for display.
QString Displayed(const std::string& text);

}  // namespace sn::app
