#pragma once

#include "editors/AudioStyleFile.h"
#include "ui/WindowImplBase.h"

namespace talyx {

// The style window of the sound-driven lighting: four named colour styles, one tab each
// ("audio_select_tab1" to "audio_select_tab4"), the chosen style's name
// ("audio_edit_name1" to "4") and its colour on three sliders of 0 to 9. OK writes the
// styles to "AudioFile.json"; closing otherwise changes nothing. Layout "XML/MusicWnd.xml".
class MusicWnd : public WindowImplBase {
    Q_OBJECT
public:
    explicit MusicWnd(AudioStyleFile file = AudioStyleFile::ForUser());
    QString GetSkinFile() const override { return QStringLiteral("XML/MusicWnd.xml"); }
    QString GetWindowClassName() const override { return QStringLiteral("MusicWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;

    // Opens the window over `owner` and waits. True when the user chose OK and the file was
    // written; `styles` is then what was saved.
    static bool Edit(QWidget* owner, AudioStyles& styles);

    const AudioStyles& Styles() const { return m_styles; }
    // Shows a style's name and colour (the tabs raise this too).
    void SelectStyle(int style);
    // OK: the styles into the file. False (and the window stays open) when it fails.
    bool Save();

private:
    void showStyle();
    void readName(int style);

    AudioStyleFile m_file;
    AudioStyles m_styles;
    bool m_showing = false;
};

} // namespace talyx
