#include "editors/CColorSelectWnd.h"

#include <QEvent>

#include "platform/Debug.h"
#include "ui/CColorPaletteUI.h"
#include "ui/COptionUI.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
constexpr uint32_t kEmptySlot = 0xFF0F1217; // an empty collected swatch
constexpr uint32_t kSwatchBorder = 0x33FFFFFF;
constexpr uint32_t kSelectedBorder = 0xFFFFFFFF;
const char* const kEdits[3] = {"color_edit_r", "color_edit_g", "color_edit_b"};
const QString kPresetPrefix = QStringLiteral("color_option_");
const QString kCollectedPrefix = QStringLiteral("collect_color_option_");

CColorSelectWnd* g_current = nullptr;

// The swatch number of a name with this prefix, or -1.
int swatchIndex(const QString& name, const QString& prefix) {
    if (!name.startsWith(prefix))
        return -1;
    bool ok = false;
    const int i = name.mid(prefix.size()).toInt(&ok);
    return ok && i >= 0 && i < ColourPalette::kSwatches ? i : -1;
}

} // namespace

CColorSelectWnd::CColorSelectWnd(ColourPaletteFile file) : m_file(std::move(file)) {
    if (!g_current)
        g_current = this;
}

CColorSelectWnd::~CColorSelectWnd() {
    if (g_current == this)
        g_current = nullptr;
}

CColorSelectWnd* CColorSelectWnd::Current() {
    return g_current;
}

bool CColorSelectWnd::Pick(QWidget* owner, uint32_t& colour, int dpi) {
    if (g_current)
        return false;
    CColorSelectWnd wnd;
    if (!wnd.Create(owner, QStringLiteral("PalletDialog"), QRect(0, 0, 800, 572)))
        return false;
    wnd.setWindowFlag(Qt::Tool, true);
    wnd.SetDPI(dpi);
    wnd.SetInitColor(colour);
    wnd.HideSevenColour();
    wnd.CenterWindow();
    if (wnd.ShowModal() != IDOK_CODE)
        return false;
    colour = wnd.GetColor();
    return true;
}

void CColorSelectWnd::InitWindow() {
    m_palette = m_file.Load();
    showPalette();
    showColour(m_colour, true);
    // Screen readers name the swatches by what they do; the fields by their colour.
    const char* const names[3] = {"color_label_r", "color_label_g", "color_label_b"};
    for (int i = 0; i < 3; ++i)
        if (CControlUI* e = find(QString::fromLatin1(kEdits[i])))
            e->setAccessibleName(CResourceManager::GetInstance().GetText(QString::fromLatin1(names[i])));
    if (CControlUI* p = find(QStringLiteral("Pallet")))
        p->setAccessibleName(CResourceManager::GetInstance().GetText(QStringLiteral("color_field_title")));
    for (int i = 0; i < ColourPalette::kSwatches; ++i) {
        for (const QString& prefix : {kPresetPrefix, kCollectedPrefix})
            if (CControlUI* s = find(prefix + QString::number(i)))
                s->setAccessibleName(s->toolTip() + QLatin1Char(' ') + QString::number(i + 1));
    }
}

void CColorSelectWnd::SetDPI(int dpi) {
    bool known = false;
    for (int d : kDpis)
        known = known || d == dpi;
    if (!known) {
        DebugOutput("SET_WND DPI SET ERROR");
        dpi = kDefaultDpi;
    }
    m_dpi = dpi;
    ApplyDPI(dpi);
}

void CColorSelectWnd::SetInitColor(uint32_t argb) {
    showColour(argb | kOpaque, true);
}

uint32_t CColorSelectWnd::GetColor() const {
    CControlUI* preview = find(QStringLiteral("color_show_btn"));
    return preview ? preview->GetBkColor() : m_colour;
}

void CColorSelectWnd::HideSevenColour() {
    m_sevenColour = false;
    if (auto* check = qobject_cast<COptionUI*>(find(QStringLiteral("7color")))) {
        check->Selected(false, false);
        check->SetEnabled(false);
    }
    if (CControlUI* layout = find(QStringLiteral("7color_layout")))
        layout->SetVisible(false);
    showColour(m_colour, false);
}

void CColorSelectWnd::showPalette() {
    for (int i = 0; i < ColourPalette::kSwatches; ++i) {
        const size_t n = static_cast<size_t>(i);
        if (CControlUI* s = find(kPresetPrefix + QString::number(i)))
            s->SetBkColor(m_palette.presets[n] | kOpaque);
        if (CControlUI* s = find(kCollectedPrefix + QString::number(i))) {
            s->SetBkColor(m_palette.filled[n] ? (m_palette.collected[n] | kOpaque) : kEmptySlot);
            s->SetUserData(m_palette.filled[n] ? QStringLiteral("1") : QString());
        }
    }
    markSelection(kPresetPrefix, m_palette.presetSelected);
    markSelection(kCollectedPrefix, m_palette.collectedSelected);
}

void CColorSelectWnd::markSelection(const QString& prefix, int selected) {
    for (int i = 0; i < ColourPalette::kSwatches; ++i) {
        if (CControlUI* s = find(prefix + QString::number(i))) {
            s->SetBorderColor(i == selected ? kSelectedBorder : kSwatchBorder);
            s->SetBorderSize(i == selected ? 2 : 1);
        }
    }
}

void CColorSelectWnd::showColour(uint32_t argb, bool movePalette) {
    m_colour = argb | kOpaque;
    if (CControlUI* preview = find(QStringLiteral("color_show_btn"))) {
        preview->SetBkColor(m_colour);
        preview->SetBkImage(m_sevenColour ? QString::fromLatin1(kSevenColourImage) : QString());
    }
    if (movePalette)
        if (auto* palette = qobject_cast<CColorPaletteUI*>(find(QStringLiteral("Pallet"))))
            palette->SetSelectColor(m_colour);
    const int channels[3] = {int(m_colour >> 16 & 0xFF), int(m_colour >> 8 & 0xFF), int(m_colour & 0xFF)};
    for (int i = 0; i < 3; ++i)
        if (CControlUI* e = find(QString::fromLatin1(kEdits[i])))
            e->SetText(QString::number(channels[i]));
}

void CColorSelectWnd::save() {
    m_file.Save(m_palette);
}

void CColorSelectWnd::collectCurrent() {
    const int i = m_palette.collectedSelected;
    if (i < 0 || i >= ColourPalette::kSwatches)
        return;
    m_palette.collected[static_cast<size_t>(i)] = m_colour;
    m_palette.filled[static_cast<size_t>(i)] = true;
    showPalette();
    save();
}

void CColorSelectWnd::onPreset(int index) {
    m_palette.presetSelected = index;
    showColour(m_palette.presets[static_cast<size_t>(index)], true);
    markSelection(kPresetPrefix, index);
    if (m_palette.collectedSelected >= 0)
        collectCurrent();
    else
        save();
}

void CColorSelectWnd::onCollected(int index) {
    m_palette.collectedSelected = index;
    // An empty slot is only chosen: it takes the next colour the user makes.
    if (m_palette.filled[static_cast<size_t>(index)]) {
        m_sevenColour = false;
        if (auto* check = qobject_cast<COptionUI*>(find(QStringLiteral("7color"))))
            check->Selected(false, false);
        showColour(m_palette.collected[static_cast<size_t>(index)], true);
    }
    markSelection(kCollectedPrefix, index);
    save();
}

void CColorSelectWnd::onEdit(CControlUI* edit) {
    const int value = ColourComponentFromText(edit->GetText().toStdString());
    edit->SetText(QString::number(value));
    const QString name = edit->GetName();
    const int shift = name == QLatin1String(kEdits[0]) ? 16 : name == QLatin1String(kEdits[1]) ? 8 : 0;
    const uint32_t argb = (m_colour & ~(0xFFu << shift)) | uint32_t(value) << shift;
    showColour(argb, true);
    collectCurrent();
}

void CColorSelectWnd::Notify(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (!sender)
        return;
    const QString name = sender->GetName();
    const QString& type = msg.sType;
    if (type == notify::kClick) {
        if (name == QLatin1String("okbtn")) {
            Close(find(QStringLiteral("Pallet")) ? IDOK_CODE : 2);
        } else if (name == QLatin1String("closebtn") || name == QLatin1String("cancelbtn")) {
            Close(0);
        } else if (name == QLatin1String("minbtn")) {
            HandleMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        } else if (name == QLatin1String("maxbtn")) {
            HandleMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        } else if (name == QLatin1String("restorebtn")) {
            HandleMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        } else if (name == QLatin1String("7color_collect")) {
            // Into the selected slot, else the first empty one (the first when all are full).
            if (m_palette.collectedSelected < 0) {
                int slot = 0;
                while (slot < ColourPalette::kSwatches && m_palette.filled[static_cast<size_t>(slot)])
                    ++slot;
                m_palette.collectedSelected = slot < ColourPalette::kSwatches ? slot : 0;
            }
            collectCurrent();
        } else if (const int preset = swatchIndex(name, kPresetPrefix); preset >= 0) {
            onPreset(preset);
        } else if (const int slot = swatchIndex(name, kCollectedPrefix); slot >= 0) {
            onCollected(slot);
        }
    } else if (type == notify::kKillFocus || type == notify::kReturn) {
        for (const char* e : kEdits)
            if (name == QLatin1String(e))
                onEdit(sender);
    } else if (type == notify::kColorChanged && name == QLatin1String("Pallet")) {
        if (auto* palette = qobject_cast<CColorPaletteUI*>(sender)) {
            showColour(palette->GetSelectColor(), false);
            collectCurrent();
        }
    } else if (type == notify::kSelectChanged && name == QLatin1String("7color")) {
        m_sevenColour = qobject_cast<COptionUI*>(sender)->IsSelected();
        showColour(m_colour, false);
    }
    WindowImplBase::Notify(msg);
}

LRESULT CColorSelectWnd::HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DPICHANGED) {
        SetDPI(static_cast<int>(wParam & 0xFFFF));
        m_pm.ResetDPIAssets();
        CenterWindow();
        update();
        return 0;
    }
    return WindowImplBase::HandleMessage(msg, wParam, lParam);
}

void CColorSelectWnd::changeEvent(QEvent* event) {
    WindowImplBase::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const bool zoomed = isMaximized();
    if (CControlUI* c = find(QStringLiteral("maxbtn")))
        c->SetVisible(!zoomed);
    if (CControlUI* c = find(QStringLiteral("restorebtn")))
        c->SetVisible(zoomed);
}

} // namespace talyx
