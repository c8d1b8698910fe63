#pragma once
// CSerialCommDlg: the System Configuration dialog (dialog 130). Its rules
// live in ports/serial_comm_dlg.h; this is the window.

#include <QComboBox>
#include <QDialog>

#include "ports/port_source.h"
#include "ports/ser_info.h"

namespace sn::app {

class CSerialCommDlg final : public QDialog {
    Q_OBJECT
  public:
    CSerialCommDlg(PortSource& source, PortSelection& selection, QWidget* parent = nullptr);

    // Lists the ports and selects the entry; raises PortListError.
    void OnInitDialog();
    QComboBox* PortCombo() const { return portCombo_; }

  public slots:
    void accept() override;  // OnOK
    void reject() override;  // OnCancel

  private:
    PortSource& source_;
    PortSelection& selection_;
    QComboBox* portCombo_;
};

}  // namespace sn::app
