#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace talyx {

class CControlUI;

// The registry of control classes by class name, so that layouts can name classes the
// toolkit does not know. Names compare without regard to case.
class CControlFactory {
public:
    using Creator = std::function<CControlUI*()>;
    static CControlFactory& GetInstance();

    void RegistControl(const QString& className, Creator creator);
    // A new control of the class, or nullptr when the class is not registered.
    CControlUI* CreateControl(const QString& className) const;
    bool IsRegistered(const QString& className) const;
    // Class names in the order they were registered.
    QStringList RegisteredClasses() const { return m_order; }

private:
    QStringList m_order;
    QList<Creator> m_creators;
};

} // namespace talyx
