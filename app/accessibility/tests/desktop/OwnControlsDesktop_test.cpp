// Controls that belong to what a window shows, not to the browser around it: a page's own
// toolbars and tab lists in Chromium and Firefox (the browser's own toolbar stays chrome), a real
// rich-text editor's formatting bar, Firefox's settings categories, a PDF viewer's toolbar beside
// its page canvas (no web page), and the files a file manager shows of a folder of 2,000.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/AXWalk.h"
#include "platform/atspi/AtspiBackend.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::dump;
using testing::eventually;
using testing::find;
using testing::LaunchedApp;

enum class Browser { chromium, firefox };

std::vector<std::string> labels(const WindowSnapshot& s) {
    std::vector<std::string> out;
    for (const auto& c : s.candidates) {
        out.push_back(c.label());
    }
    return out;
}

// A PDF of `pages` pages, each saying its number.
void writePdf(const std::filesystem::path& path, int pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>"};
    std::string kids;
    for (int i = 0; i < pages; ++i) {
        kids += std::to_string(3 + 2 * i) + " 0 R ";
    }
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) +
                      " >>");
    const int font = 3 + 2 * pages;
    for (int i = 0; i < pages; ++i) {
        objects.push_back(
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
            std::to_string(font) + " 0 R >> >> /Contents " + std::to_string(4 + 2 * i) + " 0 R >>");
        const std::string text =
            "BT /F1 36 Tf 72 700 Td (Page " + std::to_string(i + 1) + ") Tj ET";
        objects.push_back("<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text +
                          "\nendstream");
    }
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t n = 0; n < objects.size(); ++n) {
        offsets.push_back(out.size());
        out += std::to_string(n + 1) + " 0 obj\n" + objects[n] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    std::ofstream(path, std::ios::binary) << out;
}

class OwnControls : public ::testing::Test {
  protected:
    WindowSnapshot read() {
        auto reading = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_);
        return reading ? std::move(reading).value() : WindowSnapshot{};
    }
    // Reads until `ready` holds; the last reading.
    WindowSnapshot readUntil(const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        const bool ok = eventually(
            [&] {
                last = read();
                return ready(last);
            },
            60);
        EXPECT_TRUE(ok) << "never read as expected; last reading:\n" << dump(last);
        return last;
    }
    // The controls the walk finds in the front window: each one's label and whether it lies in
    // chrome.
    std::vector<std::pair<std::string, bool>> walkedChrome() {
        BoundedReader reader(backend_, clock_);
        const ax::Element app = backend_.applicationElement({app_.pid(), std::nullopt});
        auto window = reader.attribute(app, "AXFocusedWindow");
        std::vector<std::pair<std::string, bool>> out;
        if (!window) {
            return out;
        }
        const auto element = ax::asElement(window.value());
        if (!element) {
            return out;
        }
        const WalkResult walked = walk(reader, *element, {0, 0, 1280, 1024}, {6, 48, 4000});
        for (const FoundNode& node : walked.found) {
            std::string label = cleaned(node.info.string(NodeAttribute::title));
            if (label.empty()) {
                label = cleaned(node.info.string(NodeAttribute::description));
            }
            out.emplace_back(label, node.chrome);
        }
        return out;
    }

    testing::ScratchFolder scratch_{"own-controls"};
    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    LaunchedApp app_;
};

class PageToolbars : public OwnControls, public ::testing::WithParamInterface<Browser> {};

// A rich-text editor's formatting bar, a mail page's toolbar and its category tabs are the
// page's own: each of their controls is offered as any other. The browser's reload button, in
// its own toolbar, stays chrome.
TEST_P(PageToolbars, ThePagesToolbarsAndTabsAreOffered) {
    const bool chromium = GetParam() == Browser::chromium;
    const std::string url = testing::fixtureUrl("toolbars.html");
    app_ =
        chromium ? LaunchedApp::chromium(url) : LaunchedApp::firefox(url, scratch_.path().string());
    ASSERT_TRUE(app_.running());
    const std::vector<std::string> page = {
        "Bold",        "Italic", "Align left", "Align centre", "Message body", "Archive",
        "Report spam", "Delete", "Primary",    "Promotions",   "Social",       "Refresh"};
    const WindowSnapshot shown = readUntil([&](const WindowSnapshot& s) {
        return s.windowTitle.starts_with("Toolbars") && find(s, "Refresh") != nullptr &&
               find(s, "Bold") != nullptr;
    });
    SCOPED_TRACE(dump(shown));
    EXPECT_THAT(labels(shown), ::testing::UnorderedElementsAreArray(page));
    for (const auto& c : shown.candidates) {
        EXPECT_FALSE(c.isChrome) << c.label();
    }
    // The browser's own toolbar around the page is still chrome.
    const auto walked = walkedChrome();
    const auto reload = std::find_if(walked.begin(), walked.end(),
                                     [](const auto& node) { return node.first == "Reload"; });
    ASSERT_NE(reload, walked.end());
    EXPECT_TRUE(reload->second);
    const auto bold = std::find_if(walked.begin(), walked.end(),
                                   [](const auto& node) { return node.first == "Bold"; });
    ASSERT_NE(bold, walked.end());
    EXPECT_FALSE(bold->second);
}

INSTANTIATE_TEST_SUITE_P(Browsers, PageToolbars,
                         ::testing::Values(Browser::chromium, Browser::firefox),
                         [](const auto& browser) {
                             return browser.param == Browser::chromium ? "Chromium" : "Firefox";
                         });

// A real rich-text editor, TinyMCE from the npm registry by its pinned version, on a page that
// only sets it up: its formatting buttons, in its own ARIA toolbar, are offered.
TEST_P(PageToolbars, ARealEditorsFormattingButtonsAreOffered) {
    const auto& folder = scratch_.path();
    const auto installed = testing::run("npm install --no-save --no-audit --no-fund --prefix '" +
                                        folder.string() + "' tinymce@7.9.1 >&2");
    ASSERT_EQ(installed.exitCode, 0) << "npm could not install the editor";
    std::ofstream(folder / "editor.html")
        << "<!DOCTYPE html><html lang=en><head><meta charset=utf-8><title>Editor</title>"
           "<script src='node_modules/tinymce/tinymce.min.js'></script></head><body>"
           "<textarea id=body>Dear team,</textarea><script>"
           "tinymce.init({selector: '#body', license_key: 'gpl', menubar: false, "
           "statusbar: false, promotion: false, height: 300, "
           "toolbar: 'undo redo | bold italic | alignleft aligncenter alignright', "
           "init_instance_callback: () => { document.title = 'Editor ready'; }});"
           "</script></body></html>";
    const std::string url = "file://" + (folder / "editor.html").string();
    app_ = GetParam() == Browser::chromium ? LaunchedApp::chromium(url)
                                           : LaunchedApp::firefoxInOwnProfile(url);
    ASSERT_TRUE(app_.running());
    const std::vector<std::string> buttons = {"Bold", "Italic", "Align left", "Align center",
                                              "Align right"};
    const WindowSnapshot shown = readUntil([&](const WindowSnapshot& s) {
        return s.windowTitle.starts_with("Editor ready") &&
               std::all_of(buttons.begin(), buttons.end(),
                           [&](const std::string& b) { return find(s, b) != nullptr; });
    });
    SCOPED_TRACE(dump(shown));
    for (const std::string& button : buttons) {
        const UICandidate* c = find(shown, button);
        ASSERT_NE(c, nullptr) << button;
        EXPECT_FALSE(c->isChrome) << button;
    }
}

// Firefox's settings, opened from the address bar: its categories, a list of tabs inside the
// page, are offered.
TEST_F(OwnControls, FirefoxSettingsCategoriesAreOffered) {
    app_ = LaunchedApp::firefox("about:blank", scratch_.path().string());
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(eventually(
        [&] {
            const WindowSnapshot s = read();
            return !s.windowTitle.empty() && !s.candidates.empty();
        },
        60));
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers ctrl+l"));
    ASSERT_TRUE(testing::xdotool("type --delay 20 about:preferences"));
    ASSERT_TRUE(testing::xdotool("key --clearmodifiers Return"));
    const std::vector<std::string> categories = {"Home and startup", "Search",
                                                 "Privacy and security", "Appearance"};
    const WindowSnapshot settings = readUntil([&](const WindowSnapshot& s) {
        return std::all_of(categories.begin(), categories.end(),
                           [&](const std::string& c) { return find(s, c) != nullptr; });
    });
    SCOPED_TRACE(dump(settings));
    for (const std::string& category : categories) {
        const UICandidate* c = find(settings, category);
        ASSERT_NE(c, nullptr) << category;
        EXPECT_FALSE(c->isChrome) << category;
    }
    // The search field of the page is offered beside them.
    EXPECT_NE(find(settings, "Find in Settings"), nullptr);
}

// A PDF viewer's page canvas is a document of the app, not a web page: its menus, page field,
// Next and zoom are offered around it.
TEST_F(OwnControls, APdfViewersToolbarIsOfferedBesideItsPage) {
    const auto pdf = scratch_.path() / "three pages.pdf";
    writePdf(pdf, 3);
    app_ = LaunchedApp::start({"atril", pdf.string()});
    ASSERT_TRUE(app_.running());
    // Wide enough that its whole toolbar shows.
    ASSERT_TRUE(eventually(
        [&] {
            return testing::xdotool("search --onlyvisible --pid " + std::to_string(app_.pid()) +
                                    " --name pdf windowmove 0 0 windowsize 1000 800");
        },
        30));
    const WindowSnapshot shown = readUntil([](const WindowSnapshot& s) {
        return find(s, "Next") != nullptr &&
               std::any_of(s.candidates.begin(), s.candidates.end(),
                           [](const UICandidate& c) { return c.role == "AXPopUpButton"; });
    });
    SCOPED_TRACE(dump(shown));
    for (const char* control : {"File", "View", "Go", "Next"}) {
        EXPECT_NE(find(shown, control), nullptr) << control;
    }
    const auto fields = std::count_if(shown.candidates.begin(), shown.candidates.end(),
                                      [](const UICandidate& c) { return c.role == "AXTextField"; });
    EXPECT_EQ(fields, 1) << "the page field";
    // Selection worked in the whole window: no part of it was taken for a page.
    EXPECT_GE(shown.viewport.height(), 700);
}

// A file manager's list of a folder of 2,000 files, in its detailed view: the files a person
// sees are offered by name, and one far down the list, out of sight, is not.
TEST_F(OwnControls, AFileManagersVisibleFilesAreOffered) {
    const auto folder = scratch_.path() / "many";
    std::filesystem::create_directory(folder);
    for (int i = 1; i <= 2000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file-%04d.txt", i);
        std::ofstream(folder / name) << i << "\n";
    }
    app_ = LaunchedApp::start({"thunar", folder.string()});
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(eventually(
        [&] {
            return testing::xdotool("search --onlyvisible --pid " + std::to_string(app_.pid()) +
                                    " --name many windowmove 0 0 windowsize 1000 800");
        },
        30));
    // The detailed list view at the top of the folder, whatever the app last showed; the keys
    // go again until it shows (a key sent before the window takes the keyboard is lost).
    const auto keysUntil = [&](const std::string& keys, const std::vector<std::string>& seen) {
        WindowSnapshot last;
        const auto ready = [&] {
            last = read();
            return std::all_of(seen.begin(), seen.end(), [&](const std::string& file) {
                return find(last, file) != nullptr;
            });
        };
        for (int attempt = 0; attempt < 5; ++attempt) {
            testing::xdotool("key --clearmodifiers " + keys);
            if (eventually(ready, 12)) {
                return last;
            }
        }
        ADD_FAILURE() << keys << " never showed the files; last reading:\n" << dump(last);
        return last;
    };
    const WindowSnapshot shown = keysUntil("ctrl+2 Home", {"file-0001.txt", "file-0010.txt"});
    SCOPED_TRACE(dump(shown));
    EXPECT_NE(find(shown, "file-0005.txt"), nullptr);
    EXPECT_EQ(find(shown, "file-1000.txt"), nullptr);

    // At the end of the folder: the files shown there, and none of the top.
    const WindowSnapshot end = keysUntil("End", {"file-2000.txt", "file-1990.txt"});
    SCOPED_TRACE(dump(end));
    EXPECT_EQ(find(end, "file-0001.txt"), nullptr);
}

}  // namespace
}  // namespace ovra
