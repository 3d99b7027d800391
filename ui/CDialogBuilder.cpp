#include "ui/CDialogBuilder.h"

#include <QFile>
#include <QXmlStreamReader>

#include "platform/Debug.h"
#include "ui/CColorPaletteUI.h"
#include "ui/CComboUI.h"
#include "ui/CContainerUI.h"
#include "ui/CControlFactory.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/COptionUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"
#include "ui/UIAttributes.h"

namespace talyx {
namespace {

// Sub-layouts may include one another; this bounds a loop of includes.
constexpr int kMaxDepth = 16;

} // namespace

CControlUI* CDialogBuilder::Create(const QString& layout, IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                                   CControlUI* parent) {
    const QString file = CResourceManager::GetInstance().GetLayoutFile(layout);
    QFile f(CPaintManagerUI::GetResourcePath() + file);
    if (!f.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot open layout ") + f.fileName();
        DebugOutput(m_error.toStdString());
        return nullptr;
    }
    return CreateFromText(QString::fromUtf8(f.readAll()), callback, manager, parent);
}

CControlUI* CDialogBuilder::CreateFromText(const QString& xml, IDialogBuilderCallback* callback,
                                           CPaintManagerUI* manager, CControlUI* parent) {
    m_callback = callback;
    m_manager = manager;
    Node root;
    if (!parse(xml, root)) {
        DebugOutput(m_error.toStdString());
        return nullptr;
    }
    const Node* top = &root;
    if (root.tag.compare(QLatin1String("Window"), Qt::CaseInsensitive) == 0) {
        readWindow(root);
        top = nullptr;
        for (const Node& child : root.children) {
            const QString t = child.tag.toLower();
            if (t != QLatin1String("font") && t != QLatin1String("default") && t != QLatin1String("image")) {
                top = &child;
                break;
            }
        }
        if (!top) {
            m_error = QStringLiteral("layout has no control");
            return nullptr;
        }
    }
    CControlUI* control = build(*top, parent);
    if (control && manager && !parent)
        control->SetManager(manager);
    return control;
}

bool CDialogBuilder::parse(const QString& xml, Node& root) {
    QXmlStreamReader reader(xml);
    QList<Node*> stack;
    bool haveRoot = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            Node node{reader.name().toString(), reader.attributes(), {}};
            if (stack.isEmpty()) {
                if (haveRoot)
                    break;
                root = node;
                haveRoot = true;
                stack.append(&root);
            } else {
                stack.last()->children.append(node);
                stack.append(&stack.last()->children.last());
            }
        } else if (reader.isEndElement()) {
            if (!stack.isEmpty())
                stack.removeLast();
        }
    }
    if (reader.hasError() || !haveRoot) {
        m_error = QStringLiteral("invalid layout XML: ") + reader.errorString();
        return false;
    }
    return true;
}

void CDialogBuilder::readWindow(const Node& node) {
    for (const auto& a : node.attributes)
        m_windowAttributes.insert(a.name().toString().toLower(), a.value().toString());
    m_windowSize = ParseSize(m_windowAttributes.value(QStringLiteral("size")));
    if (!m_manager)
        return;
    for (const Node& child : node.children) {
        const QString tag = child.tag.toLower();
        if (tag == QLatin1String("font")) {
            const auto& a = child.attributes;
            const int id = a.hasAttribute(QStringLiteral("id")) ? a.value(QStringLiteral("id")).toInt() : -1;
            const bool isDefault = ParseBool(a.value(QStringLiteral("default")).toString());
            m_manager->AddFont(isDefault ? -1 : id, a.value(QStringLiteral("name")).toString(),
                               a.value(QStringLiteral("size")).toInt(), ParseBool(a.value(QStringLiteral("bold")).toString()),
                               ParseBool(a.value(QStringLiteral("underline")).toString()),
                               ParseBool(a.value(QStringLiteral("italic")).toString()),
                               ParseBool(a.value(QStringLiteral("shared")).toString()));
        } else if (tag == QLatin1String("default")) {
            m_manager->AddDefaultAttributeList(child.attributes.value(QStringLiteral("name")).toString(),
                                               child.attributes.value(QStringLiteral("value")).toString());
        }
    }
    if (m_windowAttributes.contains(QStringLiteral("textcolor")))
        m_manager->SetDefaultTextColor(ParseColor(m_windowAttributes.value(QStringLiteral("textcolor"))));
}

CControlUI* CDialogBuilder::createByTag(const QString& tag) {
    static const QHash<QString, std::function<CControlUI*()>> kBuiltIn = {
        {QStringLiteral("control"), [] { return new CControlUI; }},
        {QStringLiteral("label"), [] { return new CLabelUI; }},
        {QStringLiteral("text"), [] { return new CLabelUI; }},
        {QStringLiteral("button"), [] { return new CButtonUI; }},
        {QStringLiteral("option"), [] { return new COptionUI; }},
        {QStringLiteral("checkbox"), [] { return new CCheckBoxUI; }},
        {QStringLiteral("edit"), [] { return new CEditUI; }},
        {QStringLiteral("combo"), [] { return new CComboUI; }},
        {QStringLiteral("slider"), [] { return new CSliderUI; }},
        {QStringLiteral("progress"), [] { return new CProgressUI; }},
        {QStringLiteral("container"), [] { return new CContainerUI; }},
        {QStringLiteral("verticallayout"), [] { return new CVerticalLayoutUI; }},
        {QStringLiteral("horizontallayout"), [] { return new CHorizontalLayoutUI; }},
        {QStringLiteral("tablayout"), [] { return new CTabLayoutUI; }},
        {QStringLiteral("tilelayout"), [] { return new CTileLayoutUI; }},
        {QStringLiteral("list"), [] { return new CListUI; }},
        {QStringLiteral("listlabelelement"), [] { return new CListLabelElementUI; }},
        {QStringLiteral("listcontainerelement"), [] { return new CListContainerElementUI; }},
        {QStringLiteral("colorpalette"), [] { return new CColorPaletteUI; }},
    };
    auto it = kBuiltIn.find(tag.toLower());
    if (it != kBuiltIn.end())
        return (*it)();
    if (m_callback) {
        if (CControlUI* c = m_callback->CreateControl(tag))
            return c;
    }
    const CControlFactory& factory = CControlFactory::GetInstance();
    if (CControlUI* c = factory.CreateControl(tag))
        return c;
    return factory.CreateControl(QStringLiteral("C") + tag + QStringLiteral("UI"));
}

CControlUI* CDialogBuilder::build(const Node& node, CControlUI* parent) {
    if (node.tag.compare(QLatin1String("Include"), Qt::CaseInsensitive) == 0) {
        if (m_depth >= kMaxDepth)
            return nullptr;
        const int count = node.attributes.hasAttribute(QStringLiteral("count"))
                              ? node.attributes.value(QStringLiteral("count")).toInt()
                              : 1;
        CControlUI* last = nullptr;
        for (int i = 0; i < count; ++i) {
            CDialogBuilder sub;
            sub.m_depth = m_depth + 1;
            last = sub.Create(node.attributes.value(QStringLiteral("source")).toString(), m_callback, m_manager);
            if (last && parent) {
                auto* container = qobject_cast<CContainerUI*>(parent);
                if (!container) {
                    delete last;
                    return nullptr;
                }
                container->Add(last);
            }
        }
        return last;
    }
    CControlUI* control = createByTag(node.tag);
    if (!control) {
        DebugOutput("unknown control class in layout: " + node.tag.toStdString());
        return nullptr;
    }
    if (parent) {
        auto* container = qobject_cast<CContainerUI*>(parent);
        if (!container) {
            DebugOutput("a " + parent->GetClass().toStdString() + " cannot hold " + node.tag.toStdString());
            delete control;
            return nullptr;
        }
        container->Add(control);
    }
    if (m_manager) {
        const QString defaults = m_manager->GetDefaultAttributeList(node.tag);
        if (!defaults.isEmpty())
            control->ApplyAttributeList(defaults);
    }
    for (const auto& a : node.attributes)
        control->SetAttribute(a.name().toString(), a.value().toString());
    for (const Node& child : node.children) {
        if (m_depth >= kMaxDepth)
            break;
        ++m_depth;
        build(child, control);
        --m_depth;
    }
    control->DoInit();
    return control;
}

} // namespace talyx
