#include "editors/MusicWnd.h"

#include <algorithm>

#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

const char* const kSliders[3] = {"audio_r_slider", "audio_g_slider", "audio_b_slider"};
const char* const kSliderNames[3] = {"color_label_r", "color_label_g", "color_label_b"};

QString tabName(int style) {
    return QStringLiteral("audio_select_tab%1").arg(style + 1);
}
QString editName(int style) {
    return QStringLiteral("audio_edit_name%1").arg(style + 1);
}

} // namespace

MusicWnd::MusicWnd(AudioStyleFile file) : m_file(std::move(file)) {}

bool MusicWnd::Edit(QWidget* owner, AudioStyles& styles) {
    MusicWnd wnd;
    if (!wnd.Create(owner, QStringLiteral("MusicWnd"), QRect(0, 0, 369, 276)))
        return false;
    wnd.setWindowFlag(Qt::Tool, true);
    wnd.CenterWindow();
    if (wnd.ShowModal() != IDOK_CODE)
        return false;
    styles = wnd.Styles();
    return true;
}

void MusicWnd::InitWindow() {
    m_styles = m_file.Load();
    CResourceManager& texts = CResourceManager::GetInstance();
    for (int i = 0; i < 3; ++i)
        if (CControlUI* s = FindControl(QString::fromLatin1(kSliders[i]))) {
            if (auto* slider = qobject_cast<CProgressUI*>(s))
                slider->SetMaxValue(AudioStyles::kComponentMax);
            s->setAccessibleName(texts.GetText(QString::fromLatin1(kSliderNames[i])));
        }
    for (int i = 0; i < AudioStyles::kStyles; ++i)
        if (CControlUI* e = FindControl(editName(i)))
            e->setAccessibleName(texts.GetText(QStringLiteral("music_style_name")) + QLatin1Char(' ') +
                                 QString::number(i + 1));
    SelectStyle(m_styles.selected);
}

void MusicWnd::SelectStyle(int style) {
    m_styles.selected = std::clamp(style, 0, AudioStyles::kStyles - 1);
    showStyle();
}

void MusicWnd::showStyle() {
    m_showing = true;
    const int s = m_styles.selected;
    for (int i = 0; i < AudioStyles::kStyles; ++i) {
        if (auto* tab = qobject_cast<COptionUI*>(FindControl(tabName(i)))) {
            tab->SetText(QString::fromStdString(m_styles.names[size_t(i)]));
            tab->Selected(i == s, false);
        }
        if (CControlUI* e = FindControl(editName(i))) {
            e->SetText(QString::fromStdString(m_styles.names[size_t(i)]));
            e->SetVisible(i == s);
        }
    }
    const auto& c = m_styles.colours[size_t(s)];
    for (int i = 0; i < 3; ++i)
        if (auto* slider = qobject_cast<CProgressUI*>(FindControl(QString::fromLatin1(kSliders[i]))))
            slider->SetValue(c[size_t(i)]);
    const std::array<int, 3> rgb = m_styles.LightColour(s);
    if (CControlUI* preview = FindControl(QStringLiteral("audio_style_preview")))
        preview->SetBkColor(0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]));
    m_showing = false;
}

void MusicWnd::readName(int style) {
    CControlUI* e = FindControl(editName(style));
    if (!e)
        return;
    const std::string name = e->GetText().trimmed().toStdString();
    if (!name.empty())
        m_styles.names[size_t(style)] = name.substr(0, AudioStyles::kNameMax);
}

bool MusicWnd::Save() {
    readName(m_styles.selected);
    if (!m_file.Save(m_styles)) {
        CMsgWnd::MessageBoxFormatted(this, QStringLiteral("message_save_failed"),
                                     QString::fromStdString(m_file.UserPath()));
        return false;
    }
    return true;
}

void MusicWnd::Notify(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (!sender || m_showing) {
        WindowImplBase::Notify(msg);
        return;
    }
    const QString name = sender->GetName();
    const QString& type = msg.sType;
    if (type == notify::kClick && name == QLatin1String("audio_ok_btn")) {
        if (Save())
            Close(IDOK_CODE);
    } else if (type == notify::kClick && (name == QLatin1String("closebtn") || name == QLatin1String("cancelbtn"))) {
        Close(0);
    } else if (type == notify::kSelectChanged && name.startsWith(QLatin1String("audio_select_tab"))) {
        auto* tab = qobject_cast<COptionUI*>(sender);
        if (tab && tab->IsSelected()) {
            readName(m_styles.selected);
            SelectStyle(name.mid(16).toInt() - 1);
        }
    } else if ((type == notify::kKillFocus || type == notify::kReturn || type == notify::kTextChanged) &&
               name.startsWith(QLatin1String("audio_edit_name"))) {
        const int style = name.mid(15).toInt() - 1;
        if (style >= 0 && style < AudioStyles::kStyles) {
            readName(style);
            if (type != notify::kTextChanged)
                showStyle();
            else if (auto* tab = qobject_cast<COptionUI*>(FindControl(tabName(style))))
                tab->SetText(QString::fromStdString(m_styles.names[size_t(style)]));
        }
    } else if (type == notify::kValueChanged) {
        for (int i = 0; i < 3; ++i) {
            if (name != QLatin1String(kSliders[i]))
                continue;
            if (auto* slider = qobject_cast<CProgressUI*>(sender))
                m_styles.colours[size_t(m_styles.selected)][size_t(i)] =
                    std::clamp(slider->GetValue(), 0, AudioStyles::kComponentMax);
            showStyle();
        }
    }
    WindowImplBase::Notify(msg);
}

} // namespace talyx
