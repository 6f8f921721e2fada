#include "app/settings/ConfirmModel.h"

#include "core/OvraText.h"

namespace ovra {

namespace ConfirmKeys {

namespace Code = DashboardKeyCode;

Outcome handle(ConfirmModel& model, const DashboardKey& key) {
    const auto choose = [&model](bool answer) {
        model.confirmed = answer;
        return Outcome{Outcome::Kind::chose, answer};
    };
    switch (key.keyCode) {
        case Code::right:
        case Code::down:
            model.focus = (model.focus + 1) % 2;
            return {Outcome::Kind::moved};
        case Code::left:
        case Code::up:
            model.focus = (model.focus + 1) % 2;
            return {Outcome::Kind::moved};
        case Code::tab:
            model.focus = (model.focus + 1) % 2;
            return {Outcome::Kind::moved};
        case Code::escape:
            return choose(false);
        case Code::returnKey:
        case Code::enter:
        case Code::space:
            if (key.isRepeat) {
                return {Outcome::Kind::ignored};
            }
            return choose(model.focus == 0);
        default:
            break;
    }
    if (!key.command && !key.otherModifier) {
        if (key.characters == "r" || key.characters == "R") {
            return choose(true);
        }
        if (key.characters == "c" || key.characters == "C") {
            return choose(false);
        }
    }
    return {Outcome::Kind::beep};
}

std::string traceLine(const ConfirmModel& model, const std::string& what) {
    return "dialog \"" + model.title + "\": " + what + ", focus on " +
           (model.focus == 0 ? model.confirmTitle : model.cancelTitle);
}

}  // namespace ConfirmKeys

namespace Credits {

std::string text() {
    return OvraText::t(
        "Murmlark Ovra is built on open source work, with thanks.\n\n"
        "The on-device model is Qeld's own classifier, fine-tuned from an openly available "
        "multilingual encoder model and used under that model's terms; it runs with LibTorch "
        "(BSD-3-Clause) on OpenBLAS (BSD-3-Clause). Murmlark Ovra is not affiliated with "
        "the makers of these works.\n\n"
        "The app is built with Qt 6 (LGPL-3.0), ICU (Unicode License), nlohmann/json (MIT), "
        "libxkbcommon and the XCB libraries (MIT), GLib and AT-SPI (LGPL-2.1), libdbus "
        "(AFL-2.1), libspeechd (LGPL-2.1), libcurl (curl License), OpenSSL (Apache-2.0), "
        "libarchive (BSD-2-Clause) and the Material Design Icons font (Apache-2.0).\n\n"
        "Speech uses the voices already installed on this computer through speech-dispatcher. "
        "Everything runs on this computer: no upload, no accounts, no telemetry.");
}

}  // namespace Credits

}  // namespace ovra
