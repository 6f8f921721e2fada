#include "platform/hotkeys/X11HotkeyGrabber.h"

#include <xcb/xcb.h>
// xcb's XKB header names a field "explicit", a C++ keyword.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace ovra::hotkeys {

namespace {

template <class T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

constexpr std::uint8_t kBadAccess = 10;

constexpr xcb_keysym_t kAltL = 0xffe9, kAltR = 0xffea, kSuperL = 0xffeb, kSuperR = 0xffec,
                       kNumLock = 0xff7f, kScrollLock = 0xff14;

}  // namespace

struct X11HotkeyGrabber::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;

    ~Connection() {
        if (xcb != nullptr) {
            xcb_disconnect(xcb);
        }
    }
};

// The modifier bit of each role in the server's modifier map; 0 when no modifier holds it.
struct X11HotkeyGrabber::Modifiers {
    std::uint16_t alt = 0;
    std::uint16_t super = 0;
    std::uint16_t numLock = 0;
    std::uint16_t scrollLock = 0;
    std::vector<bool> keys = std::vector<bool>(256, false);  // by X keycode: holds a modifier
    bool read = false;
};

Result<std::unique_ptr<X11HotkeyGrabber>> X11HotkeyGrabber::open(KeycodeLookup keycodes) {
    auto connection = std::make_unique<Connection>();
    int screenNumber = 0;
    connection->xcb = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection->xcb) != 0) {
        return fail(std::string("no X display for the global hotkeys"));
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection->xcb));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return fail(std::string("the X display has no screen"));
    }
    connection->root = screens.data->root;

    // Held chords then send repeated presses and one release. Without XKB the release-and-
    // press pairs of plain auto-repeat are told apart by their time stamps instead.
    bool detectable = false;
    Reply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        connection->xcb, xcb_xkb_use_extension(connection->xcb, 1, 0), nullptr));
    if (use && use->supported) {
        constexpr std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        Reply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
            connection->xcb,
            xcb_xkb_per_client_flags(connection->xcb, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
            nullptr));
        detectable = flags && (flags->value & flag) != 0;
    }
    return std::unique_ptr<X11HotkeyGrabber>(
        new X11HotkeyGrabber(std::move(connection), std::move(keycodes), detectable));
}

X11HotkeyGrabber::X11HotkeyGrabber(std::unique_ptr<Connection> connection, KeycodeLookup keycodes,
                                   bool detectableRepeat)
    : connection_(std::move(connection)),
      keycodes_(std::move(keycodes)),
      repeats_(detectableRepeat) {}

X11HotkeyGrabber::~X11HotkeyGrabber() {
    letKeyboardGo();
    for (const auto& [id, grab] : grabs_) {
        ungrab(grab.variants);
    }
    xcb_flush(connection_->xcb);
}

int X11HotkeyGrabber::fileDescriptor() const {
    return xcb_get_file_descriptor(connection_->xcb);
}

X11HotkeyGrabber::Modifiers X11HotkeyGrabber::readModifiers() const {
    xcb_connection_t* xcb = connection_->xcb;
    const xcb_setup_t* setup = xcb_get_setup(xcb);
    const auto first = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - first + 1);
    Reply<xcb_get_keyboard_mapping_reply_t> keysyms(
        xcb_get_keyboard_mapping_reply(xcb, xcb_get_keyboard_mapping(xcb, first, count), nullptr));
    Reply<xcb_get_modifier_mapping_reply_t> modmap(
        xcb_get_modifier_mapping_reply(xcb, xcb_get_modifier_mapping(xcb), nullptr));
    Modifiers found;
    if (!keysyms || !modmap) {
        return found;
    }
    found.read = true;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keysyms.get());
    const int symCount = xcb_get_keyboard_mapping_keysyms_length(keysyms.get());
    const int perKeycode = keysyms->keysyms_per_keycode;
    const xcb_keycode_t* holders = xcb_get_modifier_mapping_keycodes(modmap.get());
    const int perModifier = modmap->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        const auto bit = static_cast<std::uint16_t>(1U << modifier);
        for (int slot = 0; slot < perModifier; ++slot) {
            const xcb_keycode_t keycode = holders[modifier * perModifier + slot];
            if (keycode < first) {
                continue;
            }
            found.keys[keycode] = true;
            for (int column = 0; column < perKeycode; ++column) {
                const int index = (keycode - first) * perKeycode + column;
                if (index >= symCount) {
                    break;
                }
                const xcb_keysym_t sym = syms[index];
                // Shift, Lock and Control are never Alt or Super, whatever a keymap says.
                const bool free = modifier >= 3;
                if (free && (sym == kAltL || sym == kAltR) && found.alt == 0) {
                    found.alt = bit;
                } else if (free && (sym == kSuperL || sym == kSuperR) && found.super == 0) {
                    found.super = bit;
                } else if (sym == kNumLock && found.numLock == 0) {
                    found.numLock = bit;
                } else if (sym == kScrollLock && found.scrollLock == 0) {
                    found.scrollLock = bit;
                }
            }
        }
    }
    return found;
}

Result<X11HotkeyGrabber::Grab, GrabOutcome> X11HotkeyGrabber::grabsOf(Chord chord) const {
    const auto keycode = keycodes_ ? keycodes_(chord.keyCode) : std::nullopt;
    if (!keycode || *keycode < 8 || *keycode > 255) {
        return fail(GrabOutcome::noSuchKey);
    }
    const Modifiers roles = readModifiers();
    if (!roles.read) {
        return fail(GrabOutcome::failed);
    }
    Grab wanted;
    wanted.keycode = *keycode;
    if ((chord.modifiers & ChordModifier::shift) != 0) {
        wanted.modifiers |= XCB_MOD_MASK_SHIFT;
    }
    if ((chord.modifiers & ChordModifier::control) != 0) {
        wanted.modifiers |= XCB_MOD_MASK_CONTROL;
    }
    if ((chord.modifiers & ChordModifier::alt) != 0) {
        if (roles.alt == 0) {
            return fail(GrabOutcome::noSuchKey);
        }
        wanted.modifiers |= roles.alt;
    }
    if ((chord.modifiers & ChordModifier::super) != 0) {
        if (roles.super == 0) {
            return fail(GrabOutcome::noSuchKey);
        }
        wanted.modifiers |= roles.super;
    }
    std::vector<std::uint16_t> lockBits;
    for (std::uint16_t bit : {std::uint16_t{XCB_MOD_MASK_LOCK}, roles.numLock, roles.scrollLock}) {
        const bool known = bit == 0 || (bit & wanted.modifiers) != 0 ||
                           std::find(lockBits.begin(), lockBits.end(), bit) != lockBits.end();
        if (!known) {
            lockBits.push_back(bit);
            wanted.locks |= bit;
        }
    }
    wanted.variants = lockVariants(wanted.keycode, wanted.modifiers, lockBits);
    return wanted;
}

GrabOutcome X11HotkeyGrabber::grab(HotkeyId id, Chord chord) {
    Result<Grab, GrabOutcome> wanted = grabsOf(chord);
    if (!wanted) {
        release(id);
        return wanted.error();
    }
    const auto held = grabs_.find(id);
    const GrabChange change = grabChange(
        held != grabs_.end() ? held->second.variants : std::vector<KeyGrab>{}, wanted->variants);
    xcb_connection_t* xcb = connection_->xcb;
    std::vector<xcb_void_cookie_t> cookies;
    for (const KeyGrab& grab : change.take) {
        cookies.push_back(xcb_grab_key_checked(xcb, 0, connection_->root, grab.modifiers,
                                               static_cast<xcb_keycode_t>(grab.keycode),
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    bool taken = false;
    bool failed = false;
    for (const auto& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(xcb, cookie)) {
            (error->error_code == kBadAccess ? taken : failed) = true;
            std::free(error);
        }
    }
    if (taken || failed) {
        // All or nothing: ungrabbing a variant another client holds leaves its grab alone. What
        // the hotkey held goes too: its key no longer types what the hotkey is named by.
        ungrab(change.take);
        release(id);
        xcb_flush(xcb);
        return taken ? GrabOutcome::taken : GrabOutcome::failed;
    }
    ungrab(change.letGo);
    if (!change.letGo.empty()) {
        xcb_flush(xcb);
    }
    grabs_[id] = std::move(wanted).value();
    return GrabOutcome::grabbed;
}

void X11HotkeyGrabber::ungrab(const std::vector<KeyGrab>& grabs) {
    for (const KeyGrab& grab : grabs) {
        xcb_ungrab_key(connection_->xcb, static_cast<xcb_keycode_t>(grab.keycode),
                       connection_->root, grab.modifiers);
    }
}

void X11HotkeyGrabber::release(HotkeyId id) {
    const auto it = grabs_.find(id);
    if (it == grabs_.end()) {
        return;
    }
    ungrab(it->second.variants);
    grabs_.erase(it);
    xcb_flush(connection_->xcb);
}

bool X11HotkeyGrabber::holdKeyboard() {
    if (keyboardHeld_) {
        return true;
    }
    const Modifiers roles = readModifiers();
    xcb_connection_t* xcb = connection_->xcb;
    // Asynchronous both: the server freezes nothing for us, so nothing waits on this process.
    Reply<xcb_grab_keyboard_reply_t> reply(
        xcb_grab_keyboard_reply(xcb,
                                xcb_grab_keyboard(xcb, 0, connection_->root, XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr));
    if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) {
        return false;
    }
    keyboardHeld_ = true;
    heldAlt_ = roles.alt;
    heldSuper_ = roles.super;
    modifierKeys_ = roles.keys;
    return true;
}

void X11HotkeyGrabber::letKeyboardGo() {
    if (!std::exchange(keyboardHeld_, false)) {
        return;
    }
    xcb_ungrab_keyboard(connection_->xcb, XCB_CURRENT_TIME);
    xcb_flush(connection_->xcb);
    // A hotkey still down was ours by its grab, which the hold replaced: its release goes to
    // the window with the focus now, and the next press must count.
    repeats_.forgetHeld();
}

HeldKey X11HotkeyGrabber::heldKeyOf(const void* keyEvent, bool repeat) const {
    const auto* key = static_cast<const xcb_key_press_event_t*>(keyEvent);
    HeldKey held;
    held.xKeycode = key->detail;
    held.xState = key->state;
    held.shift = (key->state & XCB_MOD_MASK_SHIFT) != 0;
    held.ctrl = (key->state & XCB_MOD_MASK_CONTROL) != 0;
    held.alt = heldAlt_ != 0 && (key->state & heldAlt_) != 0;
    held.super = heldSuper_ != 0 && (key->state & heldSuper_) != 0;
    held.modifierOnly = key->detail < modifierKeys_.size() && modifierKeys_[key->detail];
    held.repeat = repeat;
    return held;
}

void X11HotkeyGrabber::processEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->xcb)) {
        handle(event);
        std::free(event);
    }
}

void X11HotkeyGrabber::processQueuedEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_->xcb)) {
        handle(event);
        std::free(event);
    }
}

void X11HotkeyGrabber::handle(const void* raw) {
    const auto* event = static_cast<const xcb_generic_event_t*>(raw);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return;
    }
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (type == XCB_KEY_RELEASE) {
        repeats_.release(key->detail, key->time);
        return;
    }
    const bool fresh = repeats_.press(key->detail, key->time);
    for (const auto& [id, grab] : grabs_) {
        const auto held = static_cast<std::uint16_t>(key->state & 0xff & ~grab.locks);
        if (grab.keycode == key->detail && held == grab.modifiers) {
            if (fresh) {
                lastPressTime_ = key->time;
                deliver(id);  // may take the keyboard: the keys after it are then held ones
            }
            return;
        }
    }
    if (keyboardHeld_) {
        deliverHeld(heldKeyOf(key, !fresh));
    }
}

}  // namespace ovra::hotkeys
