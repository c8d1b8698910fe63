#include "app/key_mapping.h"

#include <QKeyEvent>

#include "workflow/key_filter.h"

namespace sn::app {

namespace {

// The characters of Shift and a digit on the main keyboard: with Shift down
// Qt reports the character, the filter wants the digit key.
int ShiftedDigit(int key) {
    switch (key) {
        case Qt::Key_Exclam:
            return 0x31;
        case Qt::Key_At:
            return 0x32;
        case Qt::Key_NumberSign:
            return 0x33;
        case Qt::Key_Dollar:
            return 0x34;
        case Qt::Key_Percent:
            return 0x35;
        case Qt::Key_AsciiCircum:
            return 0x36;
        case Qt::Key_Ampersand:
            return 0x37;
        case Qt::Key_ParenLeft:
            return 0x39;
        case Qt::Key_ParenRight:
            return 0x30;
        default:
            return -1;
    }
}

int EditingKey(int key) {
    switch (key) {
        case Qt::Key_Backspace:
            return vk::kBackspace;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return vk::kTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return vk::kReturn;
        case Qt::Key_Escape:
            return vk::kEscape;
        case Qt::Key_Space:
            return vk::kSpace;
        case Qt::Key_End:
            return vk::kEnd;
        case Qt::Key_Home:
            return vk::kHome;
        case Qt::Key_Left:
            return vk::kLeft;
        case Qt::Key_Up:
            return vk::kUp;
        case Qt::Key_Right:
            return vk::kRight;
        case Qt::Key_Down:
            return vk::kDown;
        case Qt::Key_Delete:
            return vk::kDelete;
        case Qt::Key_Minus:
            return vk::kMinus;
        default:
            return -1;
    }
}

}  // namespace

int VirtualKeyFor(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) {
        return vk::kNumpad0 + (key - Qt::Key_0);
    }
    if (keypad && key == Qt::Key_Asterisk) {
        return vk::kMultiply;
    }
    if (keypad && key == Qt::Key_Minus) {
        return vk::kSubtract;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return vk::kDigit0 + (key - Qt::Key_0);
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return vk::kA + (key - Qt::Key_A);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return vk::kF1 + (key - Qt::Key_F1);
    }
    if (const int d = ShiftedDigit(key); d >= 0) {
        return d;
    }
    if (const int e = EditingKey(key); e >= 0) {
        return e;
    }
    return 0xBA;  // any other key: punctuation and the like, never typed
}

}  // namespace sn::app
