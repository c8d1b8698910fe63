#pragma once
// Dialog units, as dialog templates are laid out: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth
// of its height.

#include <QFont>
#include <QRect>

class QWidget;

namespace sn::app {

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const { return (units * baseX_ + 2) / 4; }
    int Y(int units) const { return (units * baseY_ + 4) / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

  private:
    int baseX_;
    int baseY_;
};

// Places `widget` at the template's rectangle; a text that would not fit the
// rectangle in this system's font gets the room it needs instead of being cut.
void PlaceText(QWidget* widget, const DialogUnits& du, int x, int y, int w, int h);

// The font the templates name ("MS Shell Dlg") at `points`, in this system's
// usual dialog face.
QFont DialogFont(int points);

}  // namespace sn::app
