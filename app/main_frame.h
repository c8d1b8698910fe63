#pragma once
// CMainFrame: the fixed-size main window with its menu, the status bar and
// the form. It never changes its title.

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <functional>
#include <vector>

#include "app/gui_form.h"

namespace sn::app {

class CMainFrame final : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(QWidget* parent = nullptr);

    GuiForm* Form() const { return form_; }
    QMenu* ToolsMenu() const { return tools_; }
    QAction* SystemSetupAction() const { return systemSetup_; }
    QAction* AboutAction() const { return about_; }
    QAction* NewDocumentAction() const { return newDocument_; }
    // Runs when the window is asked to close: true lets it close now (the
    // application has shut its work down), false keeps it open for now (a
    // pager is being finished; the application closes it afterwards).
    void OnClose(std::function<bool()> action) { onClose_ = std::move(action); }
    // Makes the window exactly as large as the form, menu and status bar.
    void FitToForm();
    // The status bar's text while no menu prompt shows.
    void SetIdleText(const QString& text);
    // The CAP/NUM/SCRL panes (greyed: the lock states are not known here)
    // make room for the operator's counts.
    void ShowLockIndicators(bool show);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    GuiForm* form_;
    QMenu* tools_;
    QAction* systemSetup_;
    QAction* about_;
    QAction* newDocument_;
    std::function<bool()> onClose_;
    QString idleText_ = QStringLiteral("Ready");
    std::vector<QLabel*> indicators_;
};

}  // namespace sn::app
