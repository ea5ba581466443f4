#pragma once
// The named colours the status pages use. The fixed ones are the classic 16-colour
// palette the device panels were drawn with; the face colours follow the running style.
#include <QApplication>
#include <QColor>
#include <QPalette>

inline const QColor clSilver{0xC0, 0xC0, 0xC0};
inline const QColor clGreen{0x00, 0x80, 0x00};
inline const QColor clRed{0xFF, 0x00, 0x00};
inline const QColor clLime{0x00, 0xFF, 0x00};
inline const QColor clGray{0x80, 0x80, 0x80};

// Background of an ordinary panel or group.
inline QColor clBtnFace()
{
    return QApplication::palette().color(QPalette::Window);
}

// Background of a status text that shows no fault.
inline QColor clHighlightText()
{
    return QApplication::palette().color(QPalette::HighlightedText);
}
