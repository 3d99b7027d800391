#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>

class QPainter;

namespace talyx {

// An image reference as the skin writes it: either a plain path relative to the skin
// folder, or an attribute list "file='a.png' dest='l,t,r,b' source='l,t,r,b' fade='255'".
// PNG, JPEG and SVG files are understood; SVG is rendered at the size it is drawn.
struct SkinImage {
    QString file;
    QRect dest;      // relative to the control, logical units; empty = the whole control
    QRect source;    // part of the bitmap; empty = all of it
    int fade = 255;  // opacity 0..255
    bool valid() const { return !file.isEmpty(); }

    static SkinImage parse(const QString& text);
};

// Draws an image into rect (device pixels) with the given scale for dest offsets.
// Missing files draw nothing. Bitmaps are cached by path and size.
void DrawSkinImage(QPainter& painter, const SkinImage& image, const QRect& rect, double scale);

// Resolves a skin path: absolute paths stay, others are taken from the resource folder.
QString ResolveSkinPath(const QString& file);

} // namespace talyx
