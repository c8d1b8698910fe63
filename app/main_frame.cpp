#include "app/main_frame.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

namespace sn::app {

namespace {

QLabel* Indicator(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
    // The lock states are not known here: the indicators stand greyed.
    label->setEnabled(false);
    return label;
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      form_(new GuiForm(this)) {
    setWindowTitle(QStringLiteral("Corvel Serial Number Tool"));
    setCentralWidget(form_);

    tools_ = menuBar()->addMenu(QStringLiteral("&Tools"));
    // The F9 is shown, as it always was, but no key is bound to the command.
    systemSetup_ = tools_->addAction(QStringLiteral("&System Setup\tF9"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    about_ = help->addAction(QStringLiteral("&About Serial Number Tool"));
    about_->setStatusTip(
        QStringLiteral("Display program information, version number and copyright"));

    newDocument_ = new QAction(this);
    newDocument_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    newDocument_->setShortcutContext(Qt::WindowShortcut);
    addAction(newDocument_);

    statusBar()->showMessage(QStringLiteral("Ready"));
    statusBar()->setSizeGripEnabled(false);
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        indicators_.push_back(Indicator(QString::fromLatin1(indicator), this));
        statusBar()->addPermanentWidget(indicators_.back());
    }
    // The idle text comes back whenever a menu prompt goes.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty()) {
            statusBar()->showMessage(idleText_);
        }
    });
    FitToForm();
}

void CMainFrame::ShowLockIndicators(bool show) {
    for (QLabel* label : indicators_) {
        label->setVisible(show);
    }
}

void CMainFrame::SetIdleText(const QString& text) {
    if (text == idleText_) {
        return;
    }
    const bool idle = statusBar()->currentMessage() == idleText_;
    idleText_ = text;
    if (idle) {
        statusBar()->showMessage(idleText_);
    }
}

void CMainFrame::FitToForm() {
    const int height =
        menuBar()->sizeHint().height() + form_->height() + statusBar()->sizeHint().height();
    setFixedSize(form_->width(), height);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (onClose_ && !onClose_()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace sn::app
