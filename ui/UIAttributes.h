#pragma once

#include <QColor>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>

namespace talyx {

// Parsers for the skin's attribute values. Malformed input gives zeros, never throws.

// "#AARRGGBB", "#RRGGBB" (opaque) or "0xAARRGGBB" → ARGB.
uint32_t ParseColor(const QString& text);
QColor ToQColor(uint32_t argb);
// "l,t,r,b" → a rectangle from (l,t) to (r,b) exclusive.
QRect ParseRect(const QString& text);
// "l,t,r,b" → margins.
QMargins ParseMargins(const QString& text);
// "w,h".
QSize ParseSize(const QString& text);
bool ParseBool(const QString& text);

} // namespace talyx
