#include "app/gui_form.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QThread>
#include <QValidator>

#include "app/dialog_units.h"
#include "app/key_mapping.h"
#include "protocol/serial.h"
#include "workflow/key_filter.h"
#include "workflow/vexlo_view.h"

namespace sn::app {

namespace {
constexpr int kFormWidth = 207;
constexpr int kFormHeight = 99;

// The field holds only what the key filter lets be typed, upper-cased,
// whichever way the text came: keys, paste (keys or the context menu), drag
// and drop, an input method. A change that brings any other character is
// refused whole, so the field's text is ASCII and its length counts
// characters.
class SerialValidator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        for (QChar& c : input) {
            if (c.unicode() >= 0x80 || !Serial::IsCharacter(static_cast<char>(c.unicode()))) {
                return Invalid;
            }
            c = c.toUpper();
        }
        return Acceptable;
    }
};

}  // namespace

GuiForm::GuiForm(QWidget* parent)
    : QWidget(parent),
      status_(new QLabel(this)),
      caption_(new QLabel(QStringLiteral("New Serial Number :"), this)),
      edit_(new QLineEdit(this)),
      write_(new QPushButton(QStringLiteral("Write the Serial Number"), this)),
      progress_(new QProgressBar(this)) {
    setFont(DialogFont(10));
    const DialogUnits du(font());
    write_->setGeometry(du.Rect(90, 56, 102, 17));
    PlaceText(caption_, du, 11, 36, 77, 10);
    edit_->setGeometry(du.Rect(113, 34, 79, 12));
    progress_->setGeometry(du.Rect(11, 78, 181, 11));
    status_->setGeometry(du.Rect(11, 9, 181, 18));
    setFixedSize(du.X(kFormWidth), du.Y(kFormHeight));

    // A left-aligned static: the text starts at the edge (each status text
    // begins with a blank) and breaks between words onto the next line.
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setIndent(0);
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    caption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    edit_->setAlignment(Qt::AlignCenter);
    edit_->setMaxLength(10);
    edit_->setValidator(new SerialValidator(edit_));
    edit_->setEnabled(false);
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->hide();
    caption_->setFocusPolicy(Qt::NoFocus);
    status_->setFocusPolicy(Qt::NoFocus);
    setTabOrder(write_, edit_);
    edit_->installEventFilter(this);

    connect(edit_, &QLineEdit::textChanged, this, &GuiForm::OnTextChanged);
    connect(write_, &QPushButton::clicked, this, [this] {
        if (view_ != nullptr) {
            view_->OnWriteButton();
        }
    });
    connect(&timer_, &QTimer::timeout, this, [this] {
        // A stop asked for from another thread counts at once, even before
        // the queued stop has reached the timer.
        if (timerPeriod_.load() != 0 && onTick_) {
            onTick_();
        }
    });
}

void GuiForm::Attach(CVexloView* view, BoxBroker* broker, std::function<void()> onTick) {
    view_ = view;
    broker_ = broker;
    onTick_ = std::move(onTick);
}

void GuiForm::OnGui(std::function<void()> action) {
    if (QThread::currentThread() == thread()) {
        // What other threads asked for earlier comes first: a tick's last
        // texts must not land after the Write button's.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        action();
    } else {
        QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
    }
}

void GuiForm::SetStatusText(const std::string& text) {
    OnGui([this, t = Displayed(text)] { status_->setText(t); });
}

void GuiForm::OnTextChanged(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        serial_ = text.toStdString();
    }
    if (view_ != nullptr && !programmaticSet_) {
        view_->OnSerialChange();
    }
}

void GuiForm::SetSerialText(const std::string& text) {
    if (QThread::currentThread() == thread()) {
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        const QString t = QString::fromStdString(text);
        if (edit_->text() == t) {
            OnTextChanged(t);  // the field notifies even when nothing changed
        } else {
            edit_->setText(t);  // textChanged notifies the view
        }
        return;
    }
    // From another thread: the field's text and its change notification now,
    // on the calling thread; the widget follows on the GUI thread.
    {
        std::lock_guard lock(mutex_);
        serial_ = text.substr(0, 10);
    }
    if (view_ != nullptr) {
        view_->OnSerialChange();
    }
    OnGui([this, t = QString::fromStdString(text)] {
        programmaticSet_ = true;
        edit_->setText(t);
        programmaticSet_ = false;
    });
}

std::string GuiForm::SerialText() {
    std::lock_guard lock(mutex_);
    return serial_;
}

void GuiForm::EnableSerialEdit(bool enable) {
    OnGui([this, enable] { edit_->setEnabled(enable); });
}

void GuiForm::FocusSerialEdit() {
    OnGui([this] { edit_->setFocus(Qt::OtherFocusReason); });
}

void GuiForm::CopySerialSelection() {
    OnGui([this] { edit_->copy(); });
}

void GuiForm::InsertTyped(const QString& text) {
    edit_->insert(text.toUpper());
}

void GuiForm::PasteIntoSerial() {
    OnGui([this] { InsertTyped(QGuiApplication::clipboard()->text()); });
}

void GuiForm::EnableWriteButton(bool enable) {
    OnGui([this, enable] { write_->setEnabled(enable); });
}

void GuiForm::ShowProgress(bool show) {
    OnGui([this, show] { progress_->setVisible(show); });
}

void GuiForm::SetProgress(int position) {
    OnGui([this, position] { progress_->setValue(position); });
}

void GuiForm::StartTimer(int periodMs) {
    timerPeriod_ = periodMs;
    OnGui([this, periodMs] { timer_.start(periodMs); });
}

void GuiForm::StopTimer() {
    timerPeriod_ = 0;
    OnGui([this] { timer_.stop(); });
}

void GuiForm::MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    if (broker_ != nullptr) {
        broker_->Show(Displayed(text), QString::fromStdString(caption),
                      icon == BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::Information);
    }
}

bool GuiForm::IsKeyDown(ModifierKey key) {
    switch (key) {
        case ModifierKey::Shift:
            return (keyModifiers_ & Qt::ShiftModifier) != 0;
        case ModifierKey::Control:
            return (keyModifiers_ & Qt::ControlModifier) != 0;
        case ModifierKey::Alt:
            return (keyModifiers_ & Qt::AltModifier) != 0;
    }
    return false;
}

// The field's key filter. A shortcut override is claimed for every key the
// filter does not pass on, so that the field sees Ctrl and a letter before
// the window's accelerators do.
bool GuiForm::FilterKey(QKeyEvent* event, bool shortcutOverride) {
    const int vk = VirtualKeyFor(*event);
    keyModifiers_ = event->modifiers();
    const KeyDecision decision =
        FilterSerialKey(vk, IsKeyDown(ModifierKey::Shift), IsKeyDown(ModifierKey::Control),
                        IsKeyDown(ModifierKey::Alt));
    if (shortcutOverride) {
        if (decision != KeyDecision::Pass) {
            event->accept();
            return true;
        }
        return false;
    }
    const bool consumed = view_ != nullptr && view_->PreTranslateKeyDown(vk);
    if (consumed) {
        return true;
    }
    // Letters typed become capitals, as in an upper-case field.
    const QString typed = event->text();
    if (vk >= vk::kA && vk <= vk::kZ && (event->modifiers() & Qt::ControlModifier) == 0 &&
        typed.size() == 1 && typed.at(0).isLetter()) {
        InsertTyped(typed);
        return true;
    }
    return false;
}

bool GuiForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_) {
        switch (event->type()) {
            case QEvent::ShortcutOverride:
                return FilterKey(static_cast<QKeyEvent*>(event), true);
            case QEvent::KeyPress:
                return FilterKey(static_cast<QKeyEvent*>(event), false);
            case QEvent::FocusOut:
                if (view_ != nullptr) {
                    view_->OnSerialKillFocus();
                }
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace sn::app
