#include "ui/CKeyPictureLayerUI.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CResourceManager.h"

namespace talyx {

CKeyPictureLayerUI* CKeyPictureLayerUI::Attach(QWidget* container) {
    if (!container)
        return nullptr;
    if (auto* existing = container->findChild<CKeyPictureLayerUI*>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    std::vector<QPointer<CDeviceKeyButtonUI>> keys;
    for (CDeviceKeyButtonUI* key : container->findChildren<CDeviceKeyButtonUI*>(QString(), Qt::FindDirectChildrenOnly))
        if (key->PaintsWholeRect())
            keys.emplace_back(key);
    if (keys.empty())
        return nullptr;
    auto* layer = new CKeyPictureLayerUI(container);
    layer->m_keys = std::move(keys);
    for (const auto& key : layer->m_keys) {
        key->installEventFilter(layer);
        key->SetPictureLayer(layer);
    }
    container->installEventFilter(layer);
    layer->refreshShape();
    layer->raise();
    layer->show();
    return layer;
}

CKeyPictureLayerUI::CKeyPictureLayerUI(QWidget* container) : QWidget(container) {
    setObjectName(QStringLiteral("key_picture_layer"));
    setAccessibleName(CResourceManager::GetInstance().GetText(QStringLiteral("key_light_preview")));
    // The keys beneath take every input; the layer only paints.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // Opaque over its mask: Qt paints nothing beneath it there.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CKeyPictureLayerUI::paintEvent(QPaintEvent* event) {
    ++m_paints;
    QPainter p(this);
    const QRegion& dirty = event->region();
    const qreal dpr = devicePixelRatioF();
    for (const auto& key : m_keys) {
        if (!key || key->isHidden())
            continue;
        const QRect area = key->geometry();
        if (!dirty.intersects(area))
            continue;
        // The clip Qt gives is the changed keys' region, many rectangles; clipped to one
        // key's rectangle each drawing of the key takes the painter's fast path.
        p.setClipRect(area);
        key->PaintKey(p, area.topLeft(), dpr);
    }
}

void CKeyPictureLayerUI::KeyChanged(CDeviceKeyButtonUI* key) {
    m_changed += key->geometry();
    if (m_flushQueued)
        return;
    m_flushQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_flushQueued = false;
            update(m_changed);
            m_changed = QRegion();
        },
        Qt::QueuedConnection);
}

bool CKeyPictureLayerUI::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        scheduleRefresh();
        break;
    case QEvent::ChildAdded:
        // A control added later would lie above the layer and show through it.
        if (watched == parentWidget())
            QTimer::singleShot(0, this, [this] { raise(); });
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CKeyPictureLayerUI::scheduleRefresh() {
    // A layout moves every key at once: one refresh after it, not one per key.
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshQueued = false;
        refreshShape();
    });
}

void CKeyPictureLayerUI::refreshShape() {
    if (QWidget* container = parentWidget())
        setGeometry(QRect(QPoint(0, 0), container->size()));
    QRegion shape;
    for (const auto& key : m_keys)
        if (key && !key->isHidden())
            shape += key->geometry();
    // An empty mask would show the whole widget: hide it instead while no key is shown.
    if (shape.isEmpty()) {
        clearMask();
        setVisible(false);
        return;
    }
    setMask(shape);
    setVisible(true);
    update();
}

} // namespace talyx
