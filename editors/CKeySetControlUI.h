#pragma once

#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "keyboard/KeyAssignmentForm.h"
#include "ui/CContainerUI.h"
#include "ui/UIDefs.h"

class QKeyEvent;

namespace talyx {

class CComboUI;
class CEditUI;
class COptionUI;

// The key assignment page: what the selected key of the keyboard picture does. Its
// controls (from "KeySetControl.xml", found by name in Setup) stand for one assignment
// code; the page turns them into the code and back (KeyAssignmentForm), stores every
// applied change into the profile at once and sends the key list with its macros to the
// keyboard only when the write button is pressed. Runs on the user-interface thread and
// never waits on the keyboard: the write goes through the host and its answer comes back
// later.
class CKeySetControlUI : public CVerticalLayoutUI {
public:
    // What the page asks of the keyboard page around it.
    class Host {
    public:
        virtual ~Host() = default;
        // Stores the code into the selected key's record and writes the profile document.
        // False when no key is selected.
        virtual bool storeAssignment(uint32_t code) = 0;
        // The key captions show the key list again.
        virtual void assignmentsChanged() = 0;
        // Sends the key list and the macros it uses to the keyboard. `done` runs later on
        // the interface thread with WriteMacros' answer (0, -1 or the overflow count) and
        // the channel's result (1 when the keyboard took everything).
        virtual void writeToKeyboard(std::function<void(int macros, int result)> done) = 0;
        // A message box by language key; with a value the text is formatted with it.
        virtual void showMessage(const QString& textKey, const int* value) = 0;
        // Installs (true) or removes (false) the input hook's key capture, which hands the
        // keys pressed to CaptureKey.
        virtual void captureKeys(bool /*on*/) {}
    };

    static constexpr int kFamilyKeyboard = 1;
    static constexpr int kFamilyMouse = 2;

    QString GetClass() const override { return QStringLiteral("KeySetControlUI"); }

    void SetHost(Host* host) { m_host = host; }
    // Finds the page's controls by name; the category panel starts hidden and nothing is
    // pending.
    void Setup();
    // 1 keyboard, 2 mouse. The keyboard offers no DPI step and no recoil pattern.
    void SetFamily(int family);
    int Family() const { return m_family; }
    // The macro combo lists the library's macros, none selected.
    void SetMacroNames(const std::vector<std::string>& names);
    // Keeps both codes and shows the current one.
    void ShowAssignment(uint32_t current, uint32_t defaultCode);
    // The code for the controls' state; it becomes the current code.
    uint32_t BuildAssignment();
    void ShowDefault() { showCode(m_default); }
    void ShowCurrent() { showCode(m_current); }
    uint32_t CurrentCode() const { return m_current; }
    uint32_t DefaultCode() const { return m_default; }
    // Apply, cancel and write are enabled while changes are pending.
    void SetPending(bool pending);
    bool IsPending() const { return m_pending; }
    // True from the write button until the keyboard's answer.
    bool IsWriting() const { return m_writing; }

    // A key event from the keyboard while a key is being chosen: its set-1 scan code and
    // extended flag, as an input hook reports them. On the keyboard key page a plain key
    // is shown and applied; a modifier adds to the modifiers. False for other keys, or
    // when the page does not show the keyboard key page.
    bool CaptureKey(uint8_t scanCode, bool extended);
    // While the key edit of the keyboard key page has the focus, the page asks its host to
    // capture keys; any change of focus, category or page ends it.
    bool IsCapturingKeys() const { return m_capturing; }
    void EndKeyCapture();
    // A macro records: the page asks for no key capture meanwhile.
    void SetInputCaptured(bool captured);
    // The set-1 scan code of a key typed into the key edit; false when the key has none.
    static bool ScanCodeOfKeyEvent(const QKeyEvent& event, uint8_t& scanCode, bool& extended);

    // A click on the key button of a slot: show that key's record.
    void OnKeyClicked(uint32_t current, uint32_t defaultCode);
    // A notification from one of the page's controls; true when it was this page's.
    bool HandleNotify(TNotifyUI& msg);
    // The write button's operation (also after restore default).
    void Write();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class T> T* control(const char* name) const;
    void showCode(uint32_t code);
    void showForm(const KeyAssignmentForm& form);
    KeyAssignmentForm readForm() const;
    void showCategoryPage(int category);
    void apply();
    void message(const char* key, const int* value = nullptr);
    int categoryItem(int category) const;
    int categoryOfItem(int item) const;

    Host* m_host = nullptr;
    int m_family = kFamilyKeyboard;
    int m_macroCount = 0;
    uint32_t m_current = 0;
    uint32_t m_default = 0;
    bool m_pending = false;
    bool m_writing = false;
    bool m_showing = false;
    bool m_capturing = false;
    bool m_inputCaptured = false;
    // The keyboard key page's modifiers and key beyond what its controls can show (a right
    // modifier, several modifiers, the key's usage).
    uint8_t m_modifierMask = 0;
    uint8_t m_keyUsage = 0;

    QPointer<CControlUI> m_layout;
    QPointer<CComboUI> m_function;
    QPointer<CTabLayoutUI> m_tabs;
    QPointer<CEditUI> m_keyEdit;
};

} // namespace talyx
