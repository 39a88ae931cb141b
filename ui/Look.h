#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace selvanix::ui {

// A Windows colour value 0x00BBGGRR.
QColor windowsColor(quint32 bgr);

inline constexpr quint32 kCream = 13691122;  // window background
inline constexpr quint32 kTeal = 8421376;
inline constexpr quint32 kNavy = 8388608;

// Fills the widget's background with a colour.
void setBackground(QWidget* widget, const QColor& color);
void setFontColor(QWidget* widget, const QColor& color);

// The window's fonts by their Windows names; the Liberation fonts stand in for them.
void installFontSubstitutes();
QFont windowsFont(const QString& family, int pixelSize, bool bold = false);
QFont sansSerif(int pixelSize, bool bold = false);  // "MS Sans Serif"
QFont timesNewRoman(int pixelSize, bool bold = false);

}  // namespace selvanix::ui
