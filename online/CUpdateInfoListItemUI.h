#pragma once

#include "online/UpdateSession.h"
#include "ui/CListUI.h"

namespace talyx {

// One line of the update list (layout "XML/CustomControlXML/device_Update_list_item.xml"):
// the check box "check_name_select" with the product's name, "OldRev" (installed),
// "updateRev" (offered), and the state: "update_status_text", "update_status_ing" with
// the progress bar "update_progress_value", and the mark "update_status_ok". The user
// data is the download url.
class CUpdateInfoListItemUI : public CListContainerElementUI {
    Q_OBJECT
public:
    using CListContainerElementUI::CListContainerElementUI;
    QString GetClass() const override { return QStringLiteral("UpdateInfoListItemUI"); }

    // Shows an item as the session holds it, in the current language.
    void Show(const UpdateItem& item);
    int State() const { return m_state; }

    // The language key of a list item state.
    static QString StateTextKey(int state);

private:
    int m_state = -1;
};

} // namespace talyx
