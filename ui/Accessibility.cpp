#include "ui/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include "ui/CComboUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"
#include "ui/CSimpleControls.h"
#include "ui/WindowImplBase.h"

namespace talyx {
namespace {

const QString kFocusFrameName = QStringLiteral("focus_frame");

bool isPlainLabel(const QWidget* w) {
    const auto* c = qobject_cast<const CControlUI*>(w);
    if (!c || qobject_cast<const CButtonUI*>(c))
        return false;
    const QString cls = c->GetClass();
    return cls == QLatin1String("LabelUI") || cls == QLatin1String("TextUI");
}

bool isInteractive(const QWidget* w) {
    return qobject_cast<const CButtonUI*>(w) || qobject_cast<const CProgressUI*>(w) ||
           qobject_cast<const CComboUI*>(w) || qobject_cast<const CEditUI*>(w) || qobject_cast<const CListUI*>(w);
}

// The text of the label before `control` among its siblings; stops at another control
// that a user operates, whose label that would be.
QString labelBefore(const QWidget* control) {
    const QWidget* parent = control->parentWidget();
    if (!parent)
        return QString();
    const QObjectList& siblings = parent->children();
    const qsizetype at = siblings.indexOf(const_cast<QWidget*>(control));
    for (qsizetype i = at - 1; i >= 0; --i) {
        const auto* w = qobject_cast<const QWidget*>(siblings[i]);
        if (!w)
            continue;
        if (isPlainLabel(w)) {
            const QString text = static_cast<const CControlUI*>(w)->GetText();
            if (!text.isEmpty())
                return text;
        } else if (isInteractive(w)) {
            return QString();
        }
    }
    return QString();
}

// A row's text: its own, or those of the labels it holds.
QString rowText(const CControlUI* row) {
    if (!row->GetText().isEmpty())
        return row->GetText();
    QStringList parts;
    for (const auto* label : row->findChildren<CControlUI*>()) {
        if (label->isHidden() || qobject_cast<const CButtonUI*>(label))
            continue;
        if (!label->GetText().isEmpty())
            parts << label->GetText();
    }
    return parts.join(QLatin1Char(' '));
}

QAccessible::Role roleOf(const CControlUI* c) {
    const QString role = c->GetAccessibleRole();
    if (role == QLatin1String("tab"))
        return QAccessible::PageTab;
    if (role == QLatin1String("tablist"))
        return QAccessible::PageTabList;
    if (role == QLatin1String("button"))
        return QAccessible::Button;
    if (qobject_cast<const CDeviceKeyButtonUI*>(c))
        return QAccessible::Button;
    if (qobject_cast<const CCheckBoxUI*>(c))
        return QAccessible::CheckBox;
    if (const auto* o = qobject_cast<const COptionUI*>(c))
        return o->GetGroup().isEmpty() ? QAccessible::Button : QAccessible::RadioButton;
    if (qobject_cast<const CButtonUI*>(c))
        return QAccessible::Button;
    if (qobject_cast<const CSliderUI*>(c))
        return QAccessible::Slider;
    if (qobject_cast<const CProgressUI*>(c))
        return QAccessible::ProgressBar;
    if (qobject_cast<const CComboUI*>(c))
        return QAccessible::ComboBox;
    if (qobject_cast<const CListUI*>(c))
        return QAccessible::List;
    if (qobject_cast<const CListElementUI*>(c))
        return QAccessible::ListItem;
    if (isPlainLabel(c))
        return QAccessible::StaticText;
    if (qobject_cast<const CContainerUI*>(c) || qobject_cast<const CEditUI*>(c))
        return QAccessible::Grouping;
    return c->GetBkImage().isEmpty() && c->GetForeImage().isEmpty() ? QAccessible::Grouping : QAccessible::Graphic;
}

// Plain layouts, spacers and pictures without a name are left out of the tree (a layout's
// controls stand in its place), so a screen reader meets the controls rather than the
// boxes that arrange them.
bool isLayoutOnly(const QWidget* w) {
    const auto* c = qobject_cast<const CControlUI*>(w);
    if (!c || qobject_cast<const CWndUI*>(c) || !c->GetText().isEmpty() || !c->toolTip().isEmpty() ||
        !c->GetNameId().isEmpty())
        return false;
    const QAccessible::Role role = roleOf(c);
    if (qobject_cast<const CContainerUI*>(c))
        return role == QAccessible::Grouping;
    return c->GetClass() == QLatin1String("ControlUI") &&
           (role == QAccessible::Grouping || role == QAccessible::Graphic);
}

// The children a node offers, in order: hidden ones left out, layouts replaced by what they
// hold, a scrolling container's controls instead of the area that scrolls them, a combo
// box's rows (less the hidden ones) instead of the box that draws it.
void collectChildren(QWidget* w, QList<QWidget*>& out) {
    QList<QWidget*> direct;
    if (auto* combo = qobject_cast<CComboUI*>(w)) {
        for (int i = 0; i < combo->GetCount(); ++i)
            if (!combo->IsItemHidden(i))
                out << combo->GetItemAt(i);
        return;
    }
    if (auto* box = qobject_cast<CContainerUI*>(w); box && box->IsScrolling()) {
        for (int i = 0; i < box->GetCount(); ++i)
            direct << box->GetItemAt(i);
    } else {
        for (QObject* o : w->children())
            if (auto* child = qobject_cast<QWidget*>(o))
                direct << child;
    }
    for (QWidget* child : direct) {
        if (child->isWindow() || child->isHidden() || child->objectName() == kFocusFrameName)
            continue;
        if (isLayoutOnly(child))
            collectChildren(child, out);
        else
            out << child;
    }
}

// The node above a control: past the layouts left out and the parts of a scrolling area.
QWidget* shownParent(const QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (p->isWindow())
            return p;
        if (qobject_cast<CControlUI*>(p) && !isLayoutOnly(p))
            return p;
    }
    return nullptr;
}

// A widget of the skin in the tree that the bridge walks: a window or a control.
class TreeAccessible : public QAccessibleWidget {
public:
    TreeAccessible(QWidget* w, QAccessible::Role role, const QString& name = QString())
        : QAccessibleWidget(w, role, name) {}
    QList<QWidget*> shownChildren() const {
        QList<QWidget*> out;
        collectChildren(widget(), out);
        return out;
    }
    QAccessibleInterface* parent() const override {
        if (widget()->isWindow())
            return QAccessibleWidget::parent();
        QWidget* p = shownParent(widget());
        return p ? QAccessible::queryAccessibleInterface(p) : QAccessibleWidget::parent();
    }
    int childCount() const override { return static_cast<int>(shownChildren().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> kids = shownChildren();
        return index >= 0 && index < kids.size() ? QAccessible::queryAccessibleInterface(kids[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child)
            return -1;
        return static_cast<int>(shownChildren().indexOf(qobject_cast<QWidget*>(child->object())));
    }
};

// One control as the accessibility bridge sees it.
class ControlAccessible : public TreeAccessible, public QAccessibleValueInterface {
public:
    ControlAccessible(CControlUI* control, QAccessible::Role role) : TreeAccessible(control, role) {}

    CControlUI* control() const { return static_cast<CControlUI*>(widget()); }
    CProgressUI* progress() const { return qobject_cast<CProgressUI*>(widget()); }
    CComboUI* ownerCombo() const { return qobject_cast<CComboUI*>(widget()->parentWidget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface && progress())
            return static_cast<QAccessibleValueInterface*>(this);
        return TreeAccessible::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return AccessibleName(control());
        case QAccessible::Description:
            return control()->toolTip() != AccessibleName(control()) ? control()->toolTip() : QString();
        case QAccessible::Value:
            if (const auto* combo = qobject_cast<const CComboUI*>(control()))
                return combo->GetText();
            if (const auto* p = progress())
                return QString::number(p->GetValue());
            return QString();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        CControlUI* c = control();
        if (const auto* o = qobject_cast<const COptionUI*>(c)) {
            s.checkable = true;
            s.checked = o->IsSelected();
            if (role() == QAccessible::PageTab) {
                s.selectable = true;
                s.selected = o->IsSelected();
            }
        } else if (role() == QAccessible::PageTab) {
            // A tab made of a container (a device's item) says its state by a property.
            const QVariant selected = c->property("selected");
            if (selected.isValid()) {
                s.selectable = true;
                s.selected = selected.toBool();
            }
        }
        if (const auto* row = qobject_cast<const CListElementUI*>(c)) {
            s.selectable = true;
            if (CComboUI* combo = ownerCombo()) {
                // A combo's rows are only models for the shown list: never on screen themselves.
                const int index = combo->GetItemIndex(c);
                s.invisible = combo->IsItemHidden(index);
                s.offscreen = true;
                s.selected = combo->GetCurSel() == index;
            } else {
                s.selected = row->IsSelected();
            }
        }
        if (qobject_cast<const CComboUI*>(c))
            s.expandable = true;
        return s;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (!control()->isEnabled())
            return QAccessibleWidget::actionNames();
        if (qobject_cast<const COptionUI*>(control()))
            names << toggleAction();
        else if (qobject_cast<const CButtonUI*>(control()) || qobject_cast<const CListElementUI*>(control()) ||
                 role() == QAccessible::PageTab || role() == QAccessible::Button)
            names << pressAction();
        if (progress() && qobject_cast<const CSliderUI*>(control()))
            names << increaseAction() << decreaseAction();
        if (qobject_cast<const CComboUI*>(control()))
            names << showMenuAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        CControlUI* c = control();
        if (!c->isEnabled())
            return;
        if (name == pressAction() || name == toggleAction()) {
            if (auto* button = qobject_cast<CButtonUI*>(c)) {
                button->Activate();
            } else if (role() == QAccessible::PageTab || role() == QAccessible::Button) {
                c->PressByUser();
            } else if (auto* row = qobject_cast<CListElementUI*>(c)) {
                if (CComboUI* combo = ownerCombo())
                    combo->SelectItem(combo->GetItemIndex(row), false, true);
                else if (CListUI* list = row->GetOwnerList()) {
                    list->SelectItem(row->GetIndex(), false, true);
                    row->SendNotify(notify::kItemClick);
                }
            }
        } else if (auto* slider = qobject_cast<CSliderUI*>(c);
                   slider && (name == increaseAction() || name == decreaseAction())) {
            slider->StepByUser(name == increaseAction() ? 1 : -1);
        } else if (auto* combo = qobject_cast<CComboUI*>(c); combo && name == showMenuAction()) {
            combo->ShowPopup();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

    QVariant currentValue() const override { return progress()->GetValue(); }
    void setCurrentValue(const QVariant& value) override {
        if (auto* slider = qobject_cast<CSliderUI*>(widget()); slider && slider->isEnabled())
            slider->SetValueByUser(value.toInt());
    }
    QVariant maximumValue() const override { return progress()->GetMaxValue(); }
    QVariant minimumValue() const override { return progress()->GetMinValue(); }
    QVariant minimumStepSize() const override {
        const auto* slider = qobject_cast<const CSliderUI*>(widget());
        return slider ? slider->GetChangeStep() : 1;
    }
};

QAccessibleInterface* controlFactory(const QString&, QObject* object) {
    if (auto* control = qobject_cast<CControlUI*>(object))
        return new ControlAccessible(control, roleOf(control));
    // A skinned window is a frame (the main window) or a dialog (every window it opens).
    if (auto* window = qobject_cast<WindowImplBase*>(object))
        return new TreeAccessible(window, window->parentWidget() ? QAccessible::Dialog : QAccessible::Window,
                                  window->windowTitle());
    return nullptr;
}

// The ring around the control that has the keyboard focus. It lives in the control's
// parent, above its siblings, and follows the control as it moves, resizes or goes.
class FocusFrame : public QWidget {
public:
    explicit FocusFrame(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(kFocusFrameName);
    }
    void follow(CControlUI* target) {
        m_target = target;
        if (target && parentWidget() != target->parentWidget())
            setParent(target->parentWidget());
        place();
    }
    void place() {
        if (!m_target || !m_target->isVisible() || !KeyboardFocusShown()) {
            hide();
            return;
        }
        const int pad = 2;
        const QRect outer = m_target->geometry().adjusted(-pad, -pad, pad, pad) & parentWidget()->rect();
        setGeometry(outer);
        raise();
        show();
        update();
    }
    CControlUI* target() const { return m_target; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0x00, 0xd1, 0xff), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }

private:
    QPointer<CControlUI> m_target;
};

// Watches the focus and the input that moved it; keeps the frame on the focused control.
class FocusTracker : public QObject {
public:
    FocusTracker() {
        qApp->installEventFilter(this);
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { onFocus(now); });
    }
    bool keyboard = false;

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (!keyboard) {
                keyboard = true;
                onFocus(QApplication::focusWidget());
            }
            break;
        case QEvent::MouseButtonPress:
            if (keyboard) {
                keyboard = false;
                onFocus(QApplication::focusWidget());
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Hide:
        case QEvent::Show:
            if (m_frame && watched == m_frame->target())
                m_frame->place();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void onFocus(QWidget* now) {
        // The focus may sit on a widget a control draws with (the line of an edit).
        CControlUI* control = nullptr;
        for (QWidget* w = now; w && !w->isWindow(); w = w->parentWidget())
            if ((control = qobject_cast<CControlUI*>(w)))
                break;
        if (!control || !control->parentWidget()) {
            if (m_frame)
                m_frame->hide();
            return;
        }
        if (!m_frame)
            m_frame = new FocusFrame(control->parentWidget());
        m_frame->follow(control);
    }
    QPointer<FocusFrame> m_frame;
};

FocusTracker* tracker = nullptr;

} // namespace

void InstallAccessibility() {
    if (tracker || !qApp)
        return;
    QAccessible::installFactory(controlFactory);
    tracker = new FocusTracker;
    tracker->setParent(qApp);
}

void AccessibleCheckedChanged(CControlUI* control) {
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    changed.checked = true;
    changed.selected = true;
    QAccessibleStateChangeEvent event(control, changed);
    QAccessible::updateAccessibility(&event);
}

void AccessibleValueChanged(CControlUI* control, const QVariant& value) {
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(control, value);
    QAccessible::updateAccessibility(&event);
}

void AccessibleNameChanged(CControlUI* control) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(control, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

bool KeyboardFocusShown() {
    return tracker && tracker->keyboard;
}

QString AccessibleName(const CControlUI* control) {
    if (!control)
        return QString();
    if (!control->accessibleName().isEmpty())
        return control->accessibleName();
    const bool textIsValue = qobject_cast<const CEditUI*>(control) || qobject_cast<const CComboUI*>(control);
    if (!textIsValue && control->IsTextShown()) {
        const QString text = qobject_cast<const CListElementUI*>(control) ? rowText(control) : control->GetText();
        if (!text.isEmpty())
            return text;
    }
    if (!control->toolTip().isEmpty())
        return control->toolTip();
    if (!control->GetNameId().isEmpty())
        return CResourceManager::GetInstance().GetText(control->GetNameId());
    // Layouts and pictures are named by their own text only; labels name what users operate.
    if (!isInteractive(control) && control->GetAccessibleRole().isEmpty())
        return QString();
    QString label = labelBefore(control);
    if (label.isEmpty() && control->parentWidget() && qobject_cast<const CControlUI*>(control->parentWidget()))
        label = labelBefore(control->parentWidget());
    return label;
}

} // namespace talyx
