#pragma once

#include <QString>
#include <QVariant>

namespace talyx {

class CControlUI;

// Screen readers and keyboard users. Every control of the skin is described to the
// desktop's accessibility bridge by what it is (button, toggle, check box, radio, tab,
// slider, progress, combo box, list and row, text) and a name; buttons are pressed,
// sliders set and rows chosen through it exactly as a click or a drag would.
//
// Installs the description of the controls and the focus frame, once per process.
// Called by every paint manager; safe to call again.
void InstallAccessibility();

// The name a screen reader says for a control: its text (when it shows it), else its tool
// tip, else the language text its "nameid" names, else the text of the label that stands
// before it in its layout. Empty when none of these has a text.
QString AccessibleName(const CControlUI* control);

// Tell a listening screen reader that a control's checked (or selected) state, value or name changed
// (nothing happens when none listens).
void AccessibleCheckedChanged(CControlUI* control);
void AccessibleValueChanged(CControlUI* control, const QVariant& value);
void AccessibleNameChanged(CControlUI* control);

// Whether the keyboard moved the focus last (rather than the mouse): the focus frame is
// drawn only then, so a click does not leave a ring behind.
bool KeyboardFocusShown();

} // namespace talyx
