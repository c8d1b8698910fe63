#pragma once
// Qt's keys mapped onto the virtual-key codes of the serial-number field's
// key filter. Keypad digits and the keypad's multiply key keep their own codes.

class QKeyEvent;

namespace sn::app {

int VirtualKeyFor(const QKeyEvent& event);

}  // namespace sn::app
