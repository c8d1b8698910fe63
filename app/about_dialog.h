#pragma once
// CAboutDlg: the About box (dialog 100).

#include <QDialog>

namespace sn::app {

class CAboutDlg final : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace sn::app
