// The picture layer: many keys lit in one paint event, as they look when painted alone.
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/support/QtTestSupport.h"
#include "ui/CControlFactory.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/CKeyPictureLayerUI.h"
#include "ui/CPaintManagerUI.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

// A key that counts the paint events it gets itself.
class CountingKey : public CDeviceKeyButtonUI {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        CDeviceKeyButtonUI::paintEvent(event);
    }
};

constexpr int kColumns = 16;
constexpr int kRows = 6;
constexpr int kKeys = kColumns * kRows;

// A picture of kKeys lit keys in rows of kColumns, 30 px apart, and one key without an
// underlay (which the layer leaves to paint itself).
struct Picture {
    CPaintManagerUI pm;
    std::unique_ptr<CControlUI> root;
    QList<CountingKey*> keys;
    CountingKey* plain = nullptr;
    CKeyPictureLayerUI* layer = nullptr;

    Picture() {
        CControlFactory::GetInstance().RegistControl("CDeviceKeyButtonUI", [] { return new CountingKey; });
        QString xml = QStringLiteral("<Container name=\"picture\" bkcolor=\"#FF303030\">");
        for (int i = 0; i < kKeys; ++i) {
            const int x = (i % kColumns) * 30, y = (i / kColumns) * 30;
            xml += QStringLiteral("<DeviceKeyButton name=\"key_%1\" float=\"true\" pos=\"%2,%3,%4,%5\" text=\"K%1\" "
                                  "capcolor=\"#FF191C24\" underlay=\"#FF0D0F14\"/>")
                       .arg(i)
                       .arg(x)
                       .arg(y)
                       .arg(x + 30)
                       .arg(y + 30);
        }
        xml += QStringLiteral("<DeviceKeyButton name=\"plain\" float=\"true\" pos=\"0,200,30,230\" text=\"P\"/>");
        xml += QStringLiteral("</Container>");
        CDialogBuilder builder;
        root.reset(builder.CreateFromText(xml, nullptr, &pm));
        pm.AttachDialog(root.get());
        root->resize(kColumns * 30, 240);
        for (int i = 0; i < kKeys; ++i)
            keys.append(static_cast<CountingKey*>(pm.FindControl(QStringLiteral("key_%1").arg(i))));
        plain = static_cast<CountingKey*>(pm.FindControl(QStringLiteral("plain")));
        layer = CKeyPictureLayerUI::Attach(root.get());
        root->show();
    }
    // Lets Qt paint what is due, then forgets the counts.
    void settle() {
        QTest::qWait(50);
        QCoreApplication::processEvents();
        for (CountingKey* k : keys)
            k->paints = 0;
        plain->paints = 0;
    }
    // The colour in the middle of the lower face of key i (the wash of its light), as the
    // window shows it.
    QColor faceOf(int i) {
        const QImage shot = root->grab().toImage();
        const QRect r = keys[i]->geometry();
        return shot.pixelColor(r.left() + 6, r.bottom() - 8);
    }
};

TEST(KeyPictureLayer, ALightedFrameIsOnePaintEventAndLooksAsTheKeysPaintedAlone) {
    Picture pic;
    ASSERT_NE(pic.layer, nullptr);
    EXPECT_EQ(pic.layer->KeyCount(), size_t(kKeys)) << "the key without an underlay paints itself";
    EXPECT_EQ(CKeyPictureLayerUI::Attach(pic.root.get()), pic.layer) << "one layer per picture";
    ASSERT_TRUE(waitUntil([&] { return pic.layer->PaintCount() > 0; }));
    pic.settle();

    // Every key changes: one paint event of the layer, none of a covered key.
    const int before = pic.layer->PaintCount();
    for (int i = 0; i < kKeys; ++i)
        pic.keys[i]->SetLightColor(i % 2 ? 0xFFFF0000 : 0xFF0000FF, 255);
    ASSERT_TRUE(waitUntil([&] { return pic.layer->PaintCount() > before; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(pic.layer->PaintCount(), before + 1);
    int ownPaints = 0;
    for (CountingKey* k : pic.keys)
        ownPaints += k->paints;
    EXPECT_EQ(ownPaints, 0);

    // What the window shows: red and blue washes where they were asked for.
    QColor odd = pic.faceOf(1), even = pic.faceOf(2);
    EXPECT_GT(odd.red(), odd.blue() + 60) << odd.name().toStdString();
    EXPECT_GT(even.blue(), even.red() + 60) << even.name().toStdString();
    // The same key painted on its own looks the same.
    QImage alone(pic.keys[1]->size(), QImage::Format_ARGB32_Premultiplied);
    alone.fill(Qt::transparent);
    {
        QPainter p(&alone);
        pic.keys[1]->PaintKey(p, QPoint(0, 0));
    }
    const QImage shot = pic.root->grab().toImage();
    const QRect r = pic.keys[1]->geometry();
    int differing = 0;
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x)
            differing += shot.pixel(r.left() + x, r.top() + y) != alone.pixel(x, y);
    EXPECT_EQ(differing, 0);

    // A frame that changes nothing paints nothing; one key changing repaints only it.
    pic.settle();
    const int quiet = pic.layer->PaintCount();
    for (int i = 0; i < kKeys; ++i)
        pic.keys[i]->SetLightColor(i % 2 ? 0xFFFF0000 : 0xFF0000FF, 255);
    QTest::qWait(50);
    EXPECT_EQ(pic.layer->PaintCount(), quiet);
    pic.keys[5]->SetLightColor(0xFF00FF00, 255);
    ASSERT_TRUE(waitUntil([&] { return pic.layer->PaintCount() > quiet; }));
    const QColor green = pic.faceOf(5);
    EXPECT_GT(green.green(), green.red() + 60) << green.name().toStdString();
    EXPECT_GT(pic.faceOf(1).red(), pic.faceOf(1).green() + 60) << "the others keep their light";
}

TEST(KeyPictureLayer, HiddenAndMovedKeysAndKeysAddedLater) {
    Picture pic;
    ASSERT_TRUE(waitUntil([&] { return pic.layer->PaintCount() > 0; }));

    // A hidden key leaves its place to what lies behind it (the picture's own colour).
    pic.keys[3]->SetVisible(false);
    pic.settle();
    const QImage shot = pic.root->grab().toImage();
    const QRect r3 = pic.keys[3]->geometry();
    EXPECT_EQ(shot.pixelColor(r3.center()), QColor(0x30, 0x30, 0x30));

    // A key that moves is painted at its new place.
    pic.keys[4]->SetLightColor(0xFFFF0000, 255);
    pic.keys[4]->move(0, 180);
    pic.settle();
    EXPECT_TRUE(pic.layer->mask().contains(QPoint(5, 185)));
    const QColor moved = pic.root->grab().toImage().pixelColor(6, 180 + 30 - 9);
    EXPECT_GT(moved.red(), moved.blue() + 60) << moved.name().toStdString();

    // The key without an underlay is not covered: it paints itself.
    EXPECT_FALSE(pic.layer->mask().contains(pic.plain->geometry().center()));
    pic.plain->SetLightColor(0xFF00FF00, 255);
    ASSERT_TRUE(waitUntil([&] { return pic.plain->paints > 0; }));

    // Hiding every key hides the layer; showing one brings it back.
    for (CountingKey* k : pic.keys)
        k->SetVisible(false);
    QTest::qWait(20);
    EXPECT_FALSE(pic.layer->isVisible());
    pic.keys[0]->SetVisible(true);
    ASSERT_TRUE(waitUntil([&] { return pic.layer->isVisible(); }));
    EXPECT_TRUE(pic.layer->mask().contains(pic.keys[0]->geometry().center()));
}

} // namespace
