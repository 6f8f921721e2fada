// Painting the whole overlay on a 1920 × 1080 screen: 14 numbered rings, reachable and veiled
// controls, the sidebar and the information panel, as the pulse repaints it every frame. The
// raster engine paints on one thread; the target is well under 8 ms a frame (60 frames a second).
//
//   app/overlay/OverlayPaint_bench [--png=overlay.png]

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/overlay/OverlayPanel.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

FocusItem control(const std::string& id, const std::string& label, FocusVerdict verdict,
                  Rect frame) {
    FocusItem item;
    item.candidate.id = id;
    item.candidate.role = "AXButton";
    item.candidate.title = label;
    item.candidate.frame = frame;
    item.displayLabel = label;
    item.verdict = verdict;
    if (verdict == FocusVerdict::suppressed) {
        item.reason = "Upsell";
    }
    return item;
}

// 14 highlights in two columns right of the sidebar, 6 reachable controls, 3 veiled ones.
FocusPlan busyPlan() {
    FocusPlan plan;
    for (int i = 0; i < 14; ++i) {
        const Rect frame(760 + 520.0 * (i % 2), 120 + 110.0 * (i / 2), 360, 44);
        plan.items.push_back(control("b" + std::to_string(i),
                                     "Continue to step " + std::to_string(i + 1),
                                     FocusVerdict::beacon, frame));
        plan.beaconOrder.push_back(plan.items.back().id());
    }
    for (int i = 0; i < 6; ++i) {
        plan.items.push_back(control("a" + std::to_string(i), "Terms and help " + std::to_string(i),
                                     FocusVerdict::available, Rect(1650, 120 + 60.0 * i, 200, 30)));
    }
    for (int i = 0; i < 3; ++i) {
        plan.items.push_back(control("s" + std::to_string(i), "Upgrade to Premium today",
                                     FocusVerdict::suppressed,
                                     Rect(1650, 600 + 90.0 * i, 240, 60)));
    }
    return plan;
}

struct Overlay {
    OverlayModel model;
    ManualScheduler scheduler;
    PointerIntent pointer;
    OverlayPanel panel{model, scheduler, pointer, nullptr, nullptr};
    QImage image{1920, 1080, QImage::Format_ARGB32_Premultiplied};

    Overlay() {
        model.setPhase(OverlayPhase::ready(busyPlan()));
        model.setSidebar(true);
        model.setIslandOpen(true);
        model.pulseEnabled = true;
        model.setEngineNote("Heuristic mode");
        model.select(3);
        panel.resize(1920, 1080);
        panel.show();
        QApplication::processEvents();
        scheduler.advance(1);
        QApplication::processEvents();
    }
    void render() {
        image.fill(Qt::transparent);
        panel.render(&image, {}, {}, QWidget::DrawChildren);
    }
};

void BM_PaintFullOverlay(benchmark::State& state) {
    Overlay overlay;
    if (state.range(0) == 2) {
        overlay.model.setSidebar(false);
        QApplication::processEvents();
        overlay.scheduler.advance(1);
    }
    if (state.range(0) == 1) {
        QImage backdrop(1920, 1080, QImage::Format_RGB32);
        backdrop.fill(QColor(240, 240, 235));
        overlay.panel.view().setBackdrop(backdrop);
    }
    for (auto _ : state) {
        overlay.scheduler.advance(1.0 / 60);  // the next frame of the pulse
        overlay.render();
        benchmark::DoNotOptimize(overlay.image.constBits());
    }
    state.SetLabel(state.range(0) == 1   ? "over a grabbed backdrop"
                   : state.range(0) == 2 ? "translucent, no sidebar"
                                         : "translucent");
}
BENCHMARK(BM_PaintFullOverlay)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A plan coming in while the loading panel shows: the model changes, the view lays it out and
// tells screen readers, and paints the first frame with the rings numbered.
void BM_FirstFrameOfAPlan(benchmark::State& state) {
    Overlay overlay;
    for (auto _ : state) {
        state.PauseTiming();
        overlay.model.setPhase(OverlayPhase::loading("Example"));
        QApplication::processEvents();
        overlay.render();
        state.ResumeTiming();
        overlay.model.setPhase(OverlayPhase::ready(busyPlan()));
        overlay.model.select(0);
        QApplication::processEvents();
        overlay.render();
        benchmark::DoNotOptimize(overlay.image.constBits());
    }
}
BENCHMARK(BM_FirstFrameOfAPlan)->Unit(benchmark::kMillisecond);

void BM_LayoutOnly(benchmark::State& state) {
    Overlay overlay;
    for (auto _ : state) {
        overlay.panel.view().relayout();
        benchmark::DoNotOptimize(overlay.panel.view().scene().rings.size());
    }
}
BENCHMARK(BM_LayoutOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ovra

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--png=", 6) == 0) {
            ovra::Overlay overlay;
            overlay.render();
            return overlay.image.save(QString::fromUtf8(argv[i] + 6)) ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
