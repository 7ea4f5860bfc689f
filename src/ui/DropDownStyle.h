#pragma once

class QComboBox;

namespace tarnel {

// Makes Combo drop its list down below the box, at most maxVisibleItems rows high, as a classic drop-down
// list does, where the current style would open a menu over the box showing every entry.
void UseDropDownList(QComboBox* Combo);

}  // namespace tarnel
