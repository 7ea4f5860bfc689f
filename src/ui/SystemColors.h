#pragma once

#include <QColor>

namespace tarnel {

// The desktop's system colours as the window was designed against them (96 dpi, standard theme).
inline const QColor clBtnFace{0xF0, 0xF0, 0xF0};
inline const QColor clBtnShadow{0xA0, 0xA0, 0xA0};
inline const QColor clBtnHighlight{0xFF, 0xFF, 0xFF};
inline const QColor clBtnText{0x00, 0x00, 0x00};
inline const QColor clGrayText{0x6D, 0x6D, 0x6D};
inline const QColor clWindow{0xFF, 0xFF, 0xFF};
inline const QColor clWindowText{0x00, 0x00, 0x00};
inline const QColor clHighlight{0x00, 0x78, 0xD7};
inline const QColor clHighlightText{0xFF, 0xFF, 0xFF};

}  // namespace tarnel
