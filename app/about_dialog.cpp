#include "app/about_dialog.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/dialog_units.h"

namespace sn::app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Corvel Serial Number Tool"));
    setFont(DialogFont(9));
    const DialogUnits du(font());
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/sntool.png")).pixmap(du.X(20), du.Y(20)));
    icon->setGeometry(du.Rect(7, 7, 20, 20));
    auto* name = new QLabel(QStringLiteral("Corvel Serial Number Tool"), this);
    name->setTextFormat(Qt::PlainText);
    PlaceText(name, du, 33, 8, 147, 8);
    auto* version =
        new QLabel(QStringLiteral("Version : R01.00         Build data : March 20th, 2014"), this);
    PlaceText(version, du, 33, 25, 183, 8);
    auto* copyright =
        new QLabel(QStringLiteral("Copyright (C) 2014 Corvel. All rights reserved."), this);
    PlaceText(copyright, du, 33, 42, 165, 8);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(155, 60, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(du.X(223), du.Y(81));
}

}  // namespace sn::app
