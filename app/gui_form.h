#pragma once
// GuiForm: the main form (dialog template 101) as a Qt widget, and the
// FormView through which CVexloView drives it.
//
// Threads: see docs/threads.md (forms). The field's text and the timer's
// state are mirrored under a lock, so reading them never waits for the GUI.

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <mutex>

#include "app/box_broker.h"
#include "workflow/form.h"

namespace sn {
class CVexloView;
}

namespace sn::app {

class GuiForm final : public QWidget, public FormView {
    Q_OBJECT
  public:
    explicit GuiForm(QWidget* parent = nullptr);

    // The view to notify, the broker for boxes, and what a timer tick does.
    void Attach(CVexloView* view, BoxBroker* broker, std::function<void()> onTick);

    void SetStatusText(const std::string& text) override;
    void SetSerialText(const std::string& text) override;
    std::string SerialText() override;
    void EnableSerialEdit(bool enable) override;
    void FocusSerialEdit() override;
    void CopySerialSelection() override;
    void PasteIntoSerial() override;
    void EnableWriteButton(bool enable) override;
    void ShowProgress(bool show) override;
    void SetProgress(int position) override;
    void StartTimer(int periodMs) override;
    void StopTimer() override;
    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    bool IsKeyDown(ModifierKey key) override;

    // The timer's period while it runs, 0 while stopped.
    int TimerPeriod() const { return timerPeriod_.load(); }
    QLabel* StatusLabel() const { return status_; }
    QLineEdit* SerialEdit() const { return edit_; }
    QPushButton* WriteButton() const { return write_; }
    QProgressBar* Progress() const { return progress_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnGui(std::function<void()> action);
    bool FilterKey(QKeyEvent* event, bool shortcutOverride);
    void OnTextChanged(const QString& text);
    void InsertTyped(const QString& text);

    QLabel* status_;
    QLabel* caption_;
    QLineEdit* edit_;
    QPushButton* write_;
    QProgressBar* progress_;
    QTimer timer_;
    CVexloView* view_ = nullptr;
    BoxBroker* broker_ = nullptr;
    std::function<void()> onTick_;
    std::atomic<int> timerPeriod_{0};
    std::mutex mutex_;
    std::string serial_;
    bool programmaticSet_ = false;  // GUI thread only
    Qt::KeyboardModifiers keyModifiers_;
};

}  // namespace sn::app
