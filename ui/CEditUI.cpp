#include "ui/CEditUI.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPalette>
#include <QRegularExpressionValidator>

#include "ui/Accessibility.h"
#include "ui/CPaintManagerUI.h"
#include "ui/UIAttributes.h"

namespace talyx {

CEditUI::CEditUI(QWidget* parent) : CLabelUI(parent), m_edit(new QLineEdit(this)) {
    m_edit->setFrame(false);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { fitPrompt(); });
    connect(m_edit, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_text = text;
        SendNotify(notify::kTextChanged);
    });
    connect(m_edit, &QLineEdit::returnPressed, this, [this] {
        clampToRange();
        SendNotify(notify::kReturn);
    });
    applyStyle();
}

QString CEditUI::GetText() const {
    return m_edit->text();
}

void CEditUI::SetText(const QString& text) {
    m_text = text;
    if (m_edit->text() != text)
        m_edit->setText(text);
}

void CEditUI::SetNumberOnly(bool on) {
    m_numberOnly = on;
    static const QRegularExpression kDigits(QStringLiteral("[0-9]*"));
    m_edit->setValidator(on ? new QRegularExpressionValidator(kDigits, m_edit) : nullptr);
}

void CEditUI::SetMaxChar(int count) {
    m_edit->setMaxLength(count > 0 ? count : 32767);
}

int CEditUI::GetMaxChar() const {
    return m_edit->maxLength();
}

void CEditUI::SetMinValue(int value) {
    m_minValue = value;
    m_hasMin = true;
}

void CEditUI::SetMaxValue(int value) {
    m_maxValue = value;
    m_hasMax = true;
}

void CEditUI::SetReadOnly(bool on) {
    m_edit->setReadOnly(on);
}

void CEditUI::SetPasswordMode(bool on) {
    m_edit->setEchoMode(on ? QLineEdit::Password : QLineEdit::Normal);
}

void CEditUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("numberonly"))
        SetNumberOnly(ParseBool(value));
    else if (n == QLatin1String("maxchar"))
        SetMaxChar(value.toInt());
    else if (n == QLatin1String("minvalue"))
        SetMinValue(value.toInt());
    else if (n == QLatin1String("maxvalue"))
        SetMaxValue(value.toInt());
    else if (n == QLatin1String("readonly"))
        SetReadOnly(ParseBool(value));
    else if (n == QLatin1String("password"))
        SetPasswordMode(ParseBool(value));
    else if (n == QLatin1String("prompttext")) {
        m_edit->setPlaceholderText(value);
        m_edit->setAccessibleDescription(value);
        fitPrompt();
    } else {
        CLabelUI::SetAttribute(name, value);
        if (n == QLatin1String("text"))
            m_edit->setText(value);
        if (n == QLatin1String("textcolor") || n == QLatin1String("font") || n == QLatin1String("align"))
            applyStyle();
    }
}

void CEditUI::resizeEvent(QResizeEvent* event) {
    CLabelUI::resizeEvent(event);
    m_edit->setGeometry(TextRect().adjusted(Scale(4), 0, -Scale(4), 0));
    fitPrompt();
}

void CEditUI::fitPrompt() {
    QFont font = TextFont();
    const QString prompt = m_edit->placeholderText();
    if (m_edit->text().isEmpty() && !prompt.isEmpty() && font.pixelSize() > 0) {
        // The line edit keeps a few pixels of its own margin on each side.
        const int room = m_edit->width() - 8;
        while (font.pixelSize() > 9 && QFontMetrics(font).horizontalAdvance(prompt) > room)
            font.setPixelSize(font.pixelSize() - 1);
    }
    if (m_edit->font() != font)
        m_edit->setFont(font);
}

void CEditUI::OnScaleChanged() {
    applyStyle();
    CLabelUI::OnScaleChanged();
}

bool CEditUI::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit) {
        // The line says the edit's name to a screen reader; the name may come from a label
        // or a tool tip set after the edit, or change with the language.
        if (event->type() == QEvent::Show || event->type() == QEvent::FocusIn)
            m_edit->setAccessibleName(AccessibleName(this));
        if (event->type() == QEvent::FocusIn)
            SendNotify(notify::kSetFocus);
        else if (event->type() == QEvent::FocusOut) {
            clampToRange();
            SendNotify(notify::kKillFocus);
        }
    }
    return CLabelUI::eventFilter(watched, event);
}

void CEditUI::ReloadText() {
    CLabelUI::ReloadText();
    m_edit->setAccessibleName(AccessibleName(this));
}

void CEditUI::applyStyle() {
    const QColor c = ToQColor(CurrentTextColor());
    // A palette, not a style sheet: a line edit with a style sheet of its own is styled
    // again each time it or a row holding it is placed in a list, which made every
    // recorded macro row cost a millisecond.
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, c);
    QColor placeholder = c;
    placeholder.setAlpha(c.alpha() / 2);
    palette.setColor(QPalette::PlaceholderText, placeholder);
    palette.setColor(QPalette::Highlight, QColor(0x00, 0xa8, 0xd8));
    m_edit->setPalette(palette);
    m_edit->setFont(TextFont());
    fitPrompt();
    m_edit->setAlignment(static_cast<Qt::Alignment>(m_textAlign));
}

void CEditUI::clampToRange() {
    if (!m_numberOnly || (!m_hasMin && !m_hasMax))
        return;
    bool ok = false;
    int v = m_edit->text().toInt(&ok);
    if (!ok)
        v = m_hasMin ? m_minValue : 0;
    if (m_hasMin && v < m_minValue)
        v = m_minValue;
    if (m_hasMax && v > m_maxValue)
        v = m_maxValue;
    const QString text = QString::number(v);
    if (text != m_edit->text()) {
        m_edit->setText(text);
        m_text = text;
        SendNotify(notify::kTextChanged);
    }
}

} // namespace talyx
