#pragma once

#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <vector>

namespace talyx {

class CDeviceKeyButtonUI;

// Paints the key buttons of one device picture in a single pass.
//
// A picture holds a hundred keys or more, and a lighting effect changes most of them in
// every frame it shows. Painted one by one, each changed key costs Qt a paint event of its
// own (a painter, a clip, a flush of its rectangle). The layer lies over the keys as
// their topmost sibling, opaque and masked to their rectangles, so Qt paints neither the
// keys nor what is behind them there: whatever marks a key dirty (its light, a hover, a
// selection, a caption) repaints this one widget over the changed rectangles, and its
// paint event draws just the keys in them. The keys beneath keep the mouse, the focus,
// the tool tips and the accessibility queries.
//
// Only keys that paint their whole rectangle (those with an underlay) are covered; the
// others go on painting themselves.
class CKeyPictureLayerUI : public QWidget {
    Q_OBJECT
public:
    // Lays a layer over the key buttons that are children of `container`. Returns the
    // existing layer when there is one, nullptr when no key qualifies.
    static CKeyPictureLayerUI* Attach(QWidget* container);

    // A key's light changed: its rectangle is repainted with the others of the same pass
    // of the event loop, in one update.
    void KeyChanged(CDeviceKeyButtonUI* key);

    size_t KeyCount() const { return m_keys.size(); }
    // Paint events so far (measuring and tests).
    int PaintCount() const { return m_paints; }

protected:
    explicit CKeyPictureLayerUI(QWidget* container);
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Follows the container's size and the shown keys' rectangles.
    void refreshShape();
    void scheduleRefresh();

    std::vector<QPointer<CDeviceKeyButtonUI>> m_keys;
    bool m_refreshQueued = false;
    QRegion m_changed;
    bool m_flushQueued = false;
    int m_paints = 0;
};

} // namespace talyx
