#include "app/serial_comm_dialog.h"

#include <QAbstractItemView>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/dialog_units.h"
#include "ports/serial_comm_dlg.h"

namespace sn::app {

CSerialCommDlg::CSerialCommDlg(PortSource& source, PortSelection& selection, QWidget* parent)
    : QDialog(parent), source_(source), selection_(selection), portCombo_(nullptr) {
    setWindowTitle(QStringLiteral("System Configuration"));
    setFont(DialogFont(10));
    const DialogUnits du(font());
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(134, 8, 43, 12));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(du.Rect(134, 25, 43, 12));
    auto* group = new QGroupBox(QStringLiteral("Serial Communication Setting"), this);
    group->setGeometry(du.Rect(9, 5, 113, 48));
    auto* portLabel = new QLabel(QStringLiteral("Serial Port"), this);
    PlaceText(portLabel, du, 17, 22, 34, 10);
    portCombo_ = new QComboBox(this);
    portCombo_->setGeometry(du.Rect(63, 21, 43, 13));
    portCombo_->setMaxVisibleItems(8);
    // The box keeps its size; its list is as wide as the longest name.
    portCombo_->view()->setMinimumWidth(du.X(43));
    portCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* baud = new QLabel(QStringLiteral("Baud Rate :  57,600 bps"), this);
    PlaceText(baud, du, 17, 37, 71, 10);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, portCombo_);
    connect(ok, &QPushButton::clicked, this, &CSerialCommDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSerialCommDlg::reject);
    setFixedSize(du.X(187), du.Y(61));
}

void CSerialCommDlg::OnInitDialog() {
    const SerialCommDlgInit init = SerialCommDlgOnInit(source_, selection_);
    portCombo_->clear();
    int widest = 0;
    for (const std::string& name : init.entries) {
        const QString text = QString::fromStdString(name);
        portCombo_->addItem(text);
        widest = std::max(widest, portCombo_->fontMetrics().horizontalAdvance(text));
    }
    portCombo_->view()->setMinimumWidth(std::max(portCombo_->width(), widest + 24));
    portCombo_->setCurrentIndex(init.selected);
}

void CSerialCommDlg::accept() {
    QDialog::accept();
    SerialCommDlgOnOK(selection_, portCombo_->currentText().toStdString());
}

void CSerialCommDlg::reject() {
    QDialog::reject();
    SerialCommDlgOnCancel(selection_);
}

}  // namespace sn::app
