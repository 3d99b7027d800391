#pragma once

#include <functional>

#include "ui/WindowImplBase.h"

namespace talyx {

// One change of the main window's look: a colour, or an image when the colour is 0.
struct SkinChange {
    uint32_t color = 0;
    QString image;
};

// The skin window: colour swatches, background images, a reset and a custom picture.
// Every choice goes to the skin-change observers (the main window sets its "root"
// background from it); image choices are remembered in "main.ini" (section SKINIMAGE,
// keys FLAGS and IMAGE) in the product's data folder.
class CSkinFrame : public WindowImplBase {
    Q_OBJECT
public:
    using Observer = std::function<void(const SkinChange&)>;
    static void AddObserver(QObject* owner, Observer observer);
    static void Publish(const SkinChange& change);

    // "main.ini" and its reading: the last stored image and flag; empty when none.
    static QString IniPath();
    static bool StoreImage(const QString& image, int flags);
    static QString StoredImage(int* flags = nullptr);

    static constexpr const char* kResetImage = "common/background.png";
    static constexpr const char* kImageFilter = "(*.png) | *.png |(*.*)|*.*||";

    CSkinFrame() = default;
    QString GetSkinFile() const override { return QStringLiteral("XML/skin.xml"); }
    QString GetWindowClassName() const override { return QStringLiteral("UISkinFrame"); }
    void Notify(TNotifyUI& msg) override;

protected:
    void OnFinalMessage() override { deleteLater(); }
};

} // namespace talyx
