// What one frame of the key picture costs the interface thread: the shipped keyboard
// picture, every key given a new light colour (as a running wave does), then the repaint
// and the flush to the window, as the page's paint timer does ten times a second.
//
//   QT_QPA_PLATFORM=offscreen build/bin/key_picture_bench
#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/support/SkinTestSupport.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CKeyPictureLayerUI.h"
#include "ui/CSelectPanelUI.h"

namespace {

using namespace talyx;

// The two controls of the picture that the program's own builder makes.
class PictureControls : public IDialogBuilderCallback {
public:
    CControlUI* CreateControl(const QString& name) override {
        if (name == QLatin1String("SelectPanel"))
            return new CSelectPanelUI;
        if (name == QLatin1String("DeviceKeyButton"))
            return new CDeviceKeyButtonUI;
        return nullptr;
    }
};

struct Picture {
    PictureControls controls;
    CPaintManagerUI manager;
    std::unique_ptr<CControlUI> root;
    std::vector<CDeviceKeyButtonUI*> keys;
    CKeyPictureLayerUI* layer = nullptr;

    Picture() {
        test::loadSkin();
        CDialogBuilder builder;
        root.reset(builder.Create(QStringLiteral("XML\\DeviceXml\\keyboardpicture.xml"), &controls, &manager));
        if (!root)
            return;
        manager.AttachDialog(root.get());
        root->resize(760, 218);
        root->show();
        for (CDeviceKeyButtonUI* key : root->findChildren<CDeviceKeyButtonUI*>())
            if (key->isVisibleTo(root.get()))
                keys.push_back(key);
        if (!keys.empty())
            layer = CKeyPictureLayerUI::Attach(keys.front()->parentWidget());
        settle();
    }
    static void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    // A rainbow across the picture that moves on by `phase`.
    void light(int phase, int brightness) {
        for (CDeviceKeyButtonUI* key : keys) {
            const double h = std::fmod((key->x() + phase * 12) / 760.0, 1.0);
            const QColor c = QColor::fromHsvF(h, 1.0, 1.0);
            key->SetLightColor(c.rgb(), brightness);
        }
    }
};

// Made on first use, destroyed before the application object.
std::unique_ptr<Picture> g_picture;

Picture& picture() {
    if (!g_picture)
        g_picture = std::make_unique<Picture>();
    return *g_picture;
}

void BM_KeyPictureFrame(benchmark::State& state) {
    Picture& p = picture();
    if (!p.layer) {
        state.SkipWithError("the keyboard picture did not build");
        return;
    }
    int phase = 0;
    const int paintsBefore = p.layer->PaintCount();
    for (auto _ : state) {
        p.light(++phase, 255);
        Picture::settle();
    }
    const int paints = p.layer->PaintCount() - paintsBefore;
    state.counters["keys"] = static_cast<double>(p.keys.size());
    state.counters["paints/frame"] = static_cast<double>(paints) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KeyPictureFrame)->Unit(benchmark::kMicrosecond);

// The same colours again: what a frame costs when nothing changed (a static mode).
void BM_KeyPictureUnchanged(benchmark::State& state) {
    Picture& p = picture();
    if (!p.layer) {
        state.SkipWithError("the keyboard picture did not build");
        return;
    }
    p.light(0, 255);
    Picture::settle();
    for (auto _ : state) {
        p.light(0, 255);
        Picture::settle();
    }
}
BENCHMARK(BM_KeyPictureUnchanged)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_picture.reset();
    return 0;
}
