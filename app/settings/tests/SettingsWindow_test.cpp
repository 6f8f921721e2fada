// The settings window offscreen: keys sent to its QWindow drive panes, rows and the confirm
// dialog; every pane is drawn in light and dark at two scales with the focus ring on the focused
// stop, and on a 1024x600 screen with the largest text in whole words; the dialog's two forms
// answer from the keyboard.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "app/settings/SettingsWindowHost.h"
#include "app/settings/tests/FakeDashboard.h"
#include "app/settings/views/HomeHeaderView.h"
#include "app/settings/views/SettingsPaint.h"
#include "app/settings/views/StatusTilesView.h"
#include "platform/announcer/Announcer.h"
#include "platform/keyboard/KeyboardLayout.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

using testing::FakeDashboard;

class SettingsWindowTest : public ::testing::Test {
  protected:
    explicit SettingsWindowTest(Json stored = Json::object()) : d_(std::move(stored)) {}
    void SetUp() override {
        SettingsWindowHost::Config config{d_.prefs, d_.dashboard, d_.controller, scheduler_};
        config.hour = [] { return 9; };
        config.fullName = "Ada Lovelace";
        config.announcer = &heard_;
        host_ = std::make_unique<SettingsWindowHost>(std::move(config));
        host_->showDashboard(OvraPane::home);
    }
    void key(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(host_->window()->windowHandle(), static_cast<Qt::Key>(qtKey), mods);
    }
    std::string lastHeard() const {
        return heard_.announced.empty() ? "" : heard_.announced.back().text;
    }

    FakeDashboard d_;
    ManualScheduler scheduler_;
    announcer::RecordingAnnouncer heard_;
    std::unique_ptr<SettingsWindowHost> host_;
};

class SettingsWindowKeys : public SettingsWindowTest {
  protected:
    SettingsWindowKeys()
        : SettingsWindowTest(
              Json{{"overrides", {{"a|AXButton|One", "pin"}, {"a|AXButton|Two", "mute"}}}}) {}
};

TEST_F(SettingsWindowKeys, PanesRowsAndTheConfirmDialog) {
    key(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(d_.dashboard.pane(), OvraPane::look);
    EXPECT_EQ(d_.dashboard.focusID(), "look.appearance");
    key(Qt::Key_Right);  // adjusted in place: said through the announcer
    EXPECT_EQ(d_.stored("appearance"), "light");
    EXPECT_EQ(lastHeard(), "Window appearance, Light");
    // Return removes the focused choice; the focus goes to the choice now in its place.
    key(Qt::Key_4, Qt::ControlModifier);
    EXPECT_EQ(d_.dashboard.focusID(), "choice.a|AXButton|One");
    key(Qt::Key_Return);
    EXPECT_EQ(d_.stored("overrides").size(), 1u);
    EXPECT_EQ(d_.dashboard.focusID(), "choice.a|AXButton|Two");

    // Forgetting every choice asks first, with the focus on Cancel.
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    ConfirmDialog* dialog = host_->shownDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
    EXPECT_EQ(host_->shownDialog(), nullptr);  // answered: closed
    EXPECT_EQ(d_.stored("overrides").size(), 1u);
    key(Qt::Key_Return);
    dialog = host_->shownDialog();
    QTest::keyClick(dialog->windowHandle(), Qt::Key_R, Qt::ControlModifier);  // no answer
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Right);
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
    EXPECT_EQ(d_.stored("overrides"), Json::object());
    QApplication::processEvents();
    // The focus lands on the empty pane's text, which holds the keyboard focus so that a
    // screen reader reads it.
    EXPECT_EQ(d_.dashboard.focusID(), "choices.empty");
    EXPECT_TRUE(host_->window()->stopWidget("choices.empty")->hasFocus());

    key(Qt::Key_Escape);
    EXPECT_FALSE(host_->window()->isVisible());
    host_->showDashboard(OvraPane::general);
    EXPECT_TRUE(host_->window()->isVisible());
    EXPECT_EQ(d_.dashboard.focusID(), "pane.General");
}

TEST_F(SettingsWindowTest, TheConfirmDialogInBothForms) {
    QGuiApplication::clipboard()->clear();
    host_->showCredits();
    QTest::keyClick(host_->shownDialog()->windowHandle(), Qt::Key_Return);  // Close
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "");
    host_->showCredits();
    QTest::keyClick(host_->shownDialog()->windowHandle(), Qt::Key_R);  // Copy at once
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), Credits::text());

    // The modal form: the answer comes back once the loop ends, a close counting as Cancel.
    const auto answer = [this](std::function<void(QWidget*)> user) {
        QTimer::singleShot(0, [user] { user(QApplication::activeModalWidget()); });
        return host_->confirmModally({"Remove?", "All of it.", "Remove", "Cancel", true});
    };
    EXPECT_TRUE(answer([](QWidget* dialog) {
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Tab);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
    }));
    EXPECT_FALSE(answer([](QWidget* dialog) { dialog->close(); }));
    EXPECT_FALSE(answer([](QWidget* dialog) {
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Right);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
    }));
}

TEST_F(SettingsWindowTest, ARebuildKeepsTheFocusedRowInViewAndAScreenReaderPicksPanes) {
    SettingsWindow& window = *host_->window();
    window.resize(900, 600);
    host_->showDashboard(OvraPane::general);
    d_.dashboard.setFocusID("gen.uninstall");
    window.refresh();
    auto* scroll = window.findChild<QScrollArea*>();
    const auto inView = [&] {
        QWidget* row = window.stopWidget("gen.uninstall");
        const int top = row->mapTo(scroll->viewport(), QPoint()).y();
        return top >= 0 && top + row->height() <= scroll->viewport()->height();
    };
    // The scroll to a new focus is animated: wait until it has come to rest.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const int before = scroll->verticalScrollBar()->value();
            QTest::qWait(50);
            return inView() && scroll->verticalScrollBar()->value() == before;
        },
        5000));
    // A row appears above (an update was found): the pane is laid out anew.
    d_.controller.update.available = OvraUpdates::Manifest{"0.2.0", "https://qeld.ai/a"};
    host_->stateChanged();
    QApplication::processEvents();
    EXPECT_TRUE(inView());

    // The sidebar entry's default action shows its pane and focuses it, as a click does.
    QAccessibleInterface* entry =
        QAccessible::queryAccessibleInterface(window.stopWidget("pane.Voice"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->role(), QAccessible::PageTab);
    QAccessibleActionInterface* actions = entry->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(d_.dashboard.pane(), OvraPane::voice);
    EXPECT_EQ(d_.dashboard.focusID(), "pane.Voice");
}

TEST(HomeHeader, ALongTileValueWrapsAndTheTileGrows) {
    HomeHeaderView::Content content{"Good morning", HomeHeaderModel::hero(0, 0, "Alt Space"),
                                    HomeHeaderModel::tiles(true, {}, "Alt Space", false)};
    const HomeHeaderView shortValue(content, 1.0, false);
    content.tiles[1].value = "Integrierte Regeln zum Hervorheben, ohne das Modell auf dem Gerät";
    const HomeHeaderView longValue(content, 1.0, false);
    EXPECT_GT(longValue.heightForWidth(700), shortValue.heightForWidth(700));
}

TEST(SettingsKeyInput, KeysByPositionAndDigitsAtEitherLevel) {
    auto french = keyboard::KeyboardLayout::fromNames("fr");
    ASSERT_TRUE(french.ok());
    // AZERTY's first digit key types "&" plain and "1" with Shift: Ctrl with it picks pane 1.
    const QKeyEvent ampersand(QEvent::KeyPress, Qt::Key_Ampersand, Qt::ControlModifier, 10, 0, 0,
                              "&");
    const auto key = SettingsKeyInput::from(ampersand, &french.value());
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->keyCode, 18);
    EXPECT_EQ(key->characters, "&");
    EXPECT_EQ(key->digit, 1);
    EXPECT_TRUE(key->command);
    const QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
    const auto tab = SettingsKeyInput::from(backtab, nullptr);
    ASSERT_TRUE(tab.has_value());
    EXPECT_EQ(tab->keyCode, 48);
    EXPECT_TRUE(tab->shift);
    const QKeyEvent shiftAlone(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_FALSE(SettingsKeyInput::from(shiftAlone, nullptr).has_value());
}

// Whether the pixel is within a small distance of the colour.
bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           60;
}

class SettingsRenders : public SettingsWindowTest {
  protected:
    SettingsRenders() : SettingsWindowTest(Json{{"overrides", {{"a|AXButton|One", "pin"}}}}) {}
};

TEST_F(SettingsRenders, EveryPaneShowsTheRingOnItsFocusedStopInLightAndDarkAtTwoScales) {
    const char* folder = std::getenv("OVRA_RENDER_DIR");
    SettingsWindow& window = *host_->window();
    for (const bool dark : {false, true}) {
        d_.prefs.set(keys::appearance, dark ? OvraAppearance::dark : OvraAppearance::light);
        const QColor ring = dark ? qColor(Suite::signal) : qColor(Suite::ember);
        for (const int width : {900, 1350}) {
            window.resize(width, 760);
            for (const OvraPane pane : OvraPane::allCases()) {
                if (pane == OvraPane::instructions) {
                    continue;  // its own view, drawn in InstructionsPane_test
                }
                const auto stops = DashboardContent::rowStops(d_.sections(pane));
                host_->showDashboard(pane);
                d_.dashboard.setFocusID(stops.empty() ? pane.stopID() : stops.front());
                window.refresh();
                QApplication::processEvents();
                window.refresh();
                const QImage image = window.grab().toImage();
                const std::string name = std::string(dark ? "dark" : "light") + "-" +
                                         std::to_string(width) + "-" + std::string(pane.rawValue());
                if (folder != nullptr) {
                    image.save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
                }
                EXPECT_DOUBLE_EQ(window.viewScale(), width == 900 ? 1.0 : 1.5) << name;
                // The ring's line on the left edge of the focused stop's card, halfway down;
                // the sidebar entry of another pane has none.
                QWidget* focused = window.stopWidget(*d_.dashboard.focusID());
                ASSERT_NE(focused, nullptr) << name;
                const auto edge = [&](QWidget* widget) {
                    const QPoint at = widget->mapTo(
                        &window,
                        QPoint(static_cast<int>(SettingsPaint::kRingReach), widget->height() / 2));
                    return image.pixelColor(at);
                };
                EXPECT_TRUE(near(edge(focused), ring))
                    << name << " " << edge(focused).name().toStdString();
                const OvraPane other = pane == OvraPane::home ? OvraPane::look : OvraPane::home;
                EXPECT_FALSE(near(edge(window.stopWidget(other.stopID())), ring)) << name;
            }
        }
    }
}

// The Home tiles' titles: each tile, and the width its title's longest word takes.
std::vector<std::pair<QWidget*, qreal>> tileTitles(SettingsWindow& window) {
    std::vector<std::pair<QWidget*, qreal>> out;
    auto* tiles = window.findChild<StatusTilesView*>();
    if (tiles == nullptr) {
        return out;
    }
    const double s = window.viewScale();
    for (QWidget* tile : tiles->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QString title = tile->accessibleName().section(QStringLiteral(": "), 0, 0);
        out.emplace_back(tile,
                         SettingsPaint::widestWord(title, styleFont(13 * s, QFont::DemiBold)));
    }
    return out;
}

// A 1024x600 screen with the largest text: every pane fits the window's width, and the Home
// tiles, which stand three across at the default size, make room for whole words.
TEST_F(SettingsRenders, OnASmallScreenWithTheLargestTextEveryWordIsWhole) {
    const char* folder = std::getenv("OVRA_RENDER_DIR");
    SettingsWindow& window = *host_->window();
    const auto show = [&](OvraPane pane) {
        host_->showDashboard(pane);
        window.refresh();
        QApplication::processEvents();
        window.refresh();
    };
    window.resize(900, 640);
    show(OvraPane::home);
    auto titles = tileTitles(window);
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_EQ(titles[0].first->y(), titles[2].first->y());  // three across

    d_.prefs.set(keys::textScale, 2.0);
    window.resize(1024, 600);
    auto* scroll = window.findChild<QScrollArea*>();
    for (const OvraPane pane : OvraPane::allCases()) {
        show(pane);
        const std::string name(pane.rawValue());
        if (folder != nullptr) {
            scroll->widget()->grab().save(
                QString::fromStdString(std::string(folder) + "/1024x600-" + name + ".png"));
        }
        EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width()) << name;
    }
    show(OvraPane::home);
    titles = tileTitles(window);
    ASSERT_EQ(titles.size(), 3u);
    for (const auto& [tile, word] : titles) {
        // The padding, the symbol before the title, then the word.
        EXPECT_GE(tile->width() - 52 * window.viewScale(), word)
            << tile->accessibleName().toStdString();
    }
}

}  // namespace
}  // namespace ovra
