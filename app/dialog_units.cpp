#include "app/dialog_units.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

namespace sn::app {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    // The average width of the 52 letters, rounded, as the dialog manager takes it.
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (width / 26 + 1) / 2;
    baseY_ = fm.height();
}

void PlaceText(QWidget* widget, const DialogUnits& du, int x, int y, int w, int h) {
    QRect r = du.Rect(x, y, w, h);
    r.setWidth(std::max(r.width(), widget->sizeHint().width()));
    widget->setGeometry(r);
}

QFont DialogFont(int points) {
    QFont font = QApplication::font();
    font.setPointSize(points);
    return font;
}

}  // namespace sn::app
