#pragma once

#include <cstdint>

#include "editors/ColorPaletteFile.h"
#include "ui/WindowImplBase.h"

namespace talyx {

// The colour picker: a modal window with the colour field ("Pallet"), 20 preset swatches,
// 20 swatches the user collects colours in, R, G, B fields and a preview. The swatches
// persist in the palette file (ColourPaletteFile). Layout "XML/PalletDialog.xml".
//
// A caller opens it with Pick; a window of its own (tests) with Create and Show. Only one
// is open at a time.
class CColorSelectWnd : public WindowImplBase {
    Q_OBJECT
public:
    // The DPIs the window takes; any other is replaced by 96.
    static constexpr int kDpis[] = {48, 72, 96, 120, 144, 168, 192};
    static constexpr int kDefaultDpi = 96;
    // Shown instead of the plain colour while the seven-colour check is on.
    static constexpr const char* kSevenColourImage = "common/base1.png";

    explicit CColorSelectWnd(ColourPaletteFile file = ColourPaletteFile::ForUser());
    ~CColorSelectWnd() override;

    QString GetSkinFile() const override { return QStringLiteral("XML/PalletDialog.xml"); }
    QString GetWindowClassName() const override { return QStringLiteral("ColorSelectWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    // The DPI-change message: the new DPI (wParam's low word) and its images; re-centred.
    LRESULT HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override;

    // Opens the picker over `owner` on `colour`, without the seven-colour option, and
    // waits. True when the user chose OK; `colour` is then the colour picked. False at once
    // when a picker is already open.
    static bool Pick(QWidget* owner, uint32_t& colour, int dpi = kDefaultDpi);
    // The open picker, or nullptr (tests answer it).
    static CColorSelectWnd* Current();

    void SetDPI(int dpi);
    int GetDPI() const { return m_dpi; }
    // Shows a colour: the preview, the field's selection and the R, G, B fields.
    void SetInitColor(uint32_t argb);
    // The picked colour: the preview's background.
    uint32_t GetColor() const;
    void HideSevenColour();
    bool IsSevenColour() const { return m_sevenColour; }
    const ColourPalette& Palette() const { return m_palette; }
    int PresetSelected() const { return m_palette.presetSelected; }
    int CollectedSelected() const { return m_palette.collectedSelected; }

protected:
    void changeEvent(QEvent* event) override;

private:
    CControlUI* find(const QString& name) const { return FindControl(name); }
    void showPalette();
    void showColour(uint32_t argb, bool movePalette);
    void markSelection(const QString& prefix, int selected);
    void onPreset(int index);
    void onCollected(int index);
    void onEdit(CControlUI* edit);
    // The selected collected swatch takes the current colour; the palette file is saved.
    void collectCurrent();
    void save();

    ColourPaletteFile m_file;
    ColourPalette m_palette;
    uint32_t m_colour = 0xFF00D1FF;
    bool m_sevenColour = false;
    int m_dpi = kDefaultDpi;
};

} // namespace talyx
