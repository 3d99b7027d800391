#include "ui/CControlFactory.h"

namespace talyx {

CControlFactory& CControlFactory::GetInstance() {
    static CControlFactory factory;
    return factory;
}

void CControlFactory::RegistControl(const QString& className, Creator creator) {
    for (int i = 0; i < m_order.size(); ++i) {
        if (m_order[i].compare(className, Qt::CaseInsensitive) == 0) {
            m_creators[i] = std::move(creator);
            return;
        }
    }
    m_order.append(className);
    m_creators.append(std::move(creator));
}

CControlUI* CControlFactory::CreateControl(const QString& className) const {
    for (int i = 0; i < m_order.size(); ++i)
        if (m_order[i].compare(className, Qt::CaseInsensitive) == 0 && m_creators[i])
            return m_creators[i]();
    return nullptr;
}

bool CControlFactory::IsRegistered(const QString& className) const {
    for (const QString& name : m_order)
        if (name.compare(className, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace talyx
