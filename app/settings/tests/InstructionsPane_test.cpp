// The Instructions pane offscreen: reading a feature aloud through the app's voice over a fake
// engine, the key chips with what screen readers hear, the sketches at two widths,
// and the pane drawn for three features in light and dark.

#include "app/settings/instructions/InstructionsPane.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cstdlib>

#include "app/controller/FocusVoice.h"
#include "app/settings/SettingsWindowHost.h"
#include "app/settings/instructions/FeatureSketch.h"
#include "app/settings/instructions/InstructionReader.h"
#include "app/settings/tests/FakeDashboard.h"
#include "app/settings/views/SettingsPaint.h"
#include "platform/announcer/Announcer.h"
#include "platform/scheduler/ManualScheduler.h"
#include "platform/speech/FakeSpeechEngine.h"

namespace ovra {
namespace {

using F = OvraFeature;

class InstructionsPaneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        d_.controller.reader = [this](OvraFeature f) { reader_.read(f); };
        host_ = std::make_unique<SettingsWindowHost>(SettingsWindowHost::Config{
            d_.prefs, d_.dashboard, d_.controller, scheduler_, {}, false, {}, {}, "Ada", &heard_});
        host_->showDashboard(OvraPane::home);
    }
    void key(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(host_->window()->windowHandle(), static_cast<Qt::Key>(qtKey), mods);
    }
    // Runs what the voice and the scheduler left for later turns.
    void nextTurn() {
        scheduler_.advance(0);
        for (auto work = std::exchange(posted_, {}); auto& w : work) {
            w();
        }
    }
    QString accessibleName(const std::string& stop) const {
        return QAccessible::queryAccessibleInterface(host_->window()->stopWidget(stop))
            ->text(QAccessible::Name);
    }

    testing::FakeDashboard d_;
    ManualScheduler scheduler_;
    announcer::RecordingAnnouncer heard_;
    speech::FakeSpeechEngine engine_;
    speech::LoopbackSpeechNotice notice_;
    std::vector<std::function<void()>> posted_;
    FocusVoice voice_{{engine_, notice_, [this](auto w) { posted_.push_back(std::move(w)); }}};
    InstructionReader reader_{
        {d_.dashboard, voice_, d_.prefs, scheduler_, [] { return DictationSource::desktop(); }}};
    std::unique_ptr<SettingsWindowHost> host_;
};

TEST_F(InstructionsPaneTest, ReadingStartsStopsAndALateEndNeverTouchesANewerReading) {
    engine_.installed = {{"espeak-ng", "English", "en", ""}};
    d_.prefs.set(keys::voiceID, "espeak-ng/English");
    host_->showDashboard(OvraPane::instructions);
    // A click on a feature shows it, focuses the list and says it; one on the button reads.
    QWidget* list = host_->window()->stopWidget("instr.list");
    QTest::mouseClick(list->findChildren<QWidget*>().at(4), Qt::LeftButton);
    EXPECT_EQ(d_.dashboard.feature(), F(F::find));
    EXPECT_EQ(d_.dashboard.focusID(), "instr.list");
    EXPECT_EQ(heard_.announced.back().text,
              F(F::find).title() + ". " + F(F::find).sentence(DictationSource::desktop()));
    key(Qt::Key_1);
    QTest::mouseClick(host_->window()->stopWidget("instr.read"), Qt::LeftButton);
    EXPECT_EQ(d_.dashboard.focusID(), "instr.read");
    ASSERT_EQ(engine_.spoken.size(), 1u);
    EXPECT_EQ(engine_.spoken[0].text,
              F(F::ovras).readAloud(d_.prefs.hotkey().label, DictationSource::desktop()));
    EXPECT_EQ(engine_.spoken[0].voiceId, "espeak-ng/English");
    EXPECT_EQ(notice_.posted, std::vector<std::string>{"ovra"});
    EXPECT_EQ(d_.dashboard.reading(), F(F::ovras));
    EXPECT_EQ(accessibleName("instr.read"), "Stop reading");
    key(Qt::Key_Return);  // the same button again stops it
    EXPECT_EQ(d_.dashboard.reading(), std::nullopt);
    EXPECT_EQ(accessibleName("instr.read"), "Read aloud");
    nextTurn();
    EXPECT_EQ(d_.dashboard.reading(), std::nullopt);

    // Read, then another feature: the queued stop silences it.
    key(Qt::Key_Return);
    const int cancels = engine_.cancels;
    d_.dashboard.setFeature(F::why);
    nextTurn();
    EXPECT_EQ(d_.dashboard.reading(), std::nullopt);
    EXPECT_GT(engine_.cancels, cancels);
    // The new feature's reading, then the first utterance's end arriving late: still reading.
    reader_.read(F::why);
    engine_.end(2, speech::SpeechEnd::cancelled);
    nextTurn();
    EXPECT_EQ(d_.dashboard.reading(), F(F::why));
    engine_.end(3);
    nextTurn();
    EXPECT_EQ(d_.dashboard.reading(), std::nullopt);

    // A reading started in the turn that changed the feature is the feature now shown: the stop
    // that change queued leaves it alone. Leaving the pane stops it.
    d_.dashboard.setFeature(F::say);
    reader_.read(F::say);
    nextTurn();
    EXPECT_EQ(d_.dashboard.reading(), F(F::say));
    d_.dashboard.setPane(OvraPane::look);
    nextTurn();
    EXPECT_EQ(d_.dashboard.reading(), std::nullopt);
}

TEST(InstructionsPane, ChipsForTheHotkeyAndDictationWithWhatScreenReadersHear) {
    using InstructionsPane::Chip;
    const auto desktop = DictationSource::desktop();
    const auto ovras = InstructionsPane::chips(F::ovras, "Ctrl Alt Space", desktop);
    EXPECT_EQ(ovras.front(), Chip{"Ctrl Alt Space"});
    EXPECT_EQ(InstructionsPane::chipsLabel(F::ovras, "Ctrl Alt Space", desktop),
              "Keys: Control Alt Space, 1 to 9, Return, Escape");
    EXPECT_EQ(InstructionsPane::chipsLabel(F::find, "Ctrl Alt Space", desktop),
              "Keys: F, Control F");
    const auto say = InstructionsPane::chips(F::say, "Alt Space", desktop);
    EXPECT_EQ(say, (std::vector<Chip>{{"F"}, {"Dictation tool", "mic.fill", true}}));
    // The dictation chip is already words: never spelt.
    const auto ctrl = DictationSource::murmlark(MurmlarkTapKey::leftControl);
    EXPECT_EQ(InstructionsPane::chipsLabel(F::say, "Alt Space", ctrl), "Keys: F, Ctrl, twice");
    EXPECT_EQ(InstructionsPane::basicsLabel("Ctrl Alt F"),
              "The basics: Control Alt F opens Ovra, a number chooses, Return presses, Esc "
              "closes.");
}

// Whether the pixel is within a small distance of the colour.
bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           60;
}

TEST(FeatureSketch, ScaledToItsWidthWithAFixedCornerAndFindAndSayFields) {
    const auto render = [](F feature, qreal width) {
        const QRectF frame = FeatureSketch::frame(width);
        QImage image(static_cast<int>(std::ceil(frame.width())),
                     static_cast<int>(std::ceil(frame.height())), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        FeatureSketch::paint(painter, frame, feature, false);
        return image;
    };
    EXPECT_DOUBLE_EQ(FeatureSketch::frame(440).height(), 233.75);
    EXPECT_DOUBLE_EQ(FeatureSketch::frame(160).height(), 85);
    const QColor accent = qColor(Suite::ember);
    // A point of the drawing at the sketch's own size, at `scale`.
    const auto at = [](qreal x, qreal y, qreal scale) {
        return QPoint(static_cast<int>(x * scale), static_cast<int>(y * scale));
    };
    for (const auto& [width, scale] : {std::pair{440.0, 1.375}, std::pair{160.0, 0.5}}) {
        const QImage ovras = render(F::ovras, width);
        // Badge 1 is centred 2 points up and left of its control's corner.
        EXPECT_TRUE(near(ovras.pixelColor(at(32, 50, scale)), accent)) << width;
        // The clip's corner radius stays 10 at every width.
        EXPECT_LT(ovras.pixelColor(2, 2).alpha(), 20) << width;
        EXPECT_GT(ovras.pixelColor(10, 10).alpha(), 250) << width;
    }
    // Find's field is 184 wide; say's is 114, with the microphone beside its panel.
    const QImage find = render(F::find, 440), say = render(F::say, 440);
    EXPECT_TRUE(near(find.pixelColor(at(216, 58, 1.375)), accent));
    EXPECT_FALSE(near(say.pixelColor(at(216, 58, 1.375)), accent));
    EXPECT_TRUE(near(say.pixelColor(at(146, 58, 1.375)), accent));
    EXPECT_TRUE(near(say.pixelColor(at(220, 88, 1.375)), accent));
}

TEST_F(InstructionsPaneTest, ThePaneForThreeFeaturesInLightAndDark) {
    const char* folder = std::getenv("OVRA_RENDER_DIR");
    SettingsWindow& window = *host_->window();
    window.resize(1100, 900);
    host_->showDashboard(OvraPane::instructions);
    for (const bool dark : {false, true}) {
        d_.prefs.set(keys::appearance, dark ? OvraAppearance::dark : OvraAppearance::light);
        for (const F feature : {F::ovras, F::scroll, F::say}) {
            d_.dashboard.setFeature(feature);
            d_.dashboard.setFocusID(feature == F::say ? "instr.read" : "instr.list");
            window.refresh();
            QApplication::processEvents();
            const QImage image = window.grab().toImage();
            const std::string name = std::string("instructions-") + (dark ? "dark-" : "light-") +
                                     std::string(feature.rawValue());
            if (folder != nullptr) {
                image.save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
            }
            // The ring on the focused stop: the selected row of the list, or the button.
            QWidget* stop = window.stopWidget(*d_.dashboard.focusID());
            ASSERT_NE(stop, nullptr) << name;
            const auto& all = F::allCases();
            const auto row = std::find(all.begin(), all.end(), feature) - all.begin();
            QWidget* ringed =
                feature == F::say
                    ? stop
                    : stop->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).at(row);
            const QPoint edge = ringed->mapTo(
                &window, QPoint(feature == F::say ? static_cast<int>(SettingsPaint::kRingReach) : 0,
                                ringed->height() / 2));
            const QColor ring = dark ? qColor(Suite::signal) : qColor(Suite::ember);
            EXPECT_TRUE(near(image.pixelColor(edge), ring))
                << name << " " << image.pixelColor(edge).name().toStdString();
        }
    }
}

}  // namespace
}  // namespace ovra
