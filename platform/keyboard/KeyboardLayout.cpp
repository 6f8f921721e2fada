#include "platform/keyboard/KeyboardLayout.h"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <map>

#include "core/OverlayKeys.h"
#include "platform/keyboard/KeyPositions.h"

namespace ovra::keyboard {

namespace {

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using StatePtr = std::unique_ptr<xkb_state, StateDeleter>;

}  // namespace

struct KeyboardLayout::Keymap {
    xkb_keymap* keymap = nullptr;
    // Resolved once per keymap: X keycode → key code. Aliases of a name resolve to the same key.
    std::map<std::uint32_t, std::uint16_t> codeOfKeycode;
    std::map<std::uint16_t, std::uint32_t> keycodeOfCode;
    xkb_mod_mask_t shiftMask = 0;
    xkb_mod_mask_t numLockMask = 0;

    explicit Keymap(xkb_keymap* adopted) : keymap(adopted) {
        for (const KeyPosition& position : keyPositions()) {
            const std::string name(position.xkbName);
            const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap, name.c_str());
            if (keycode == XKB_KEYCODE_INVALID) {
                continue;
            }
            keycodeOfCode.emplace(position.keyCode, keycode);
            codeOfKeycode.emplace(keycode, position.keyCode);
        }
        const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
        if (shift != XKB_MOD_INVALID) {
            shiftMask = xkb_mod_mask_t{1} << shift;
        }
        // The real modifier Num Lock sets; its index is its bit in an X event's state.
        const xkb_mod_index_t numLock = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_NUM);
        if (numLock != XKB_MOD_INVALID && numLock < 32) {
            numLockMask = xkb_mod_mask_t{1} << numLock;
        }
    }
    ~Keymap() { xkb_keymap_unref(keymap); }
    Keymap(const Keymap&) = delete;
    Keymap& operator=(const Keymap&) = delete;
};

// States locked to the group: no modifier, Shift, and each of them with Num Lock on.
struct KeyboardLayout::GroupState {
    StatePtr plain;
    StatePtr shifted;
    StatePtr numPlain;
    StatePtr numShifted;

    GroupState(const Keymap& keymap, std::uint32_t group)
        : plain(make(keymap, 0, 0, group)),
          shifted(make(keymap, keymap.shiftMask, 0, group)),
          numPlain(make(keymap, 0, keymap.numLockMask, group)),
          numShifted(make(keymap, keymap.shiftMask, keymap.numLockMask, group)) {}

    static StatePtr make(const Keymap& keymap, xkb_mod_mask_t depressed, xkb_mod_mask_t locked,
                         std::uint32_t group) {
        StatePtr state(xkb_state_new(keymap.keymap));
        if (state) {
            xkb_state_update_mask(state.get(), depressed, 0, locked, 0, 0, group);
        }
        return state;
    }
};

KeyboardLayout::KeyboardLayout(std::shared_ptr<const Keymap> keymap, std::uint32_t group)
    : keymap_(std::move(keymap)) {
    const xkb_layout_index_t count = xkb_keymap_num_layouts(keymap_->keymap);
    group_ = count == 0 ? 0 : group % count;
    state_ = std::make_shared<const GroupState>(*keymap_, group_);
}

Result<KeyboardLayout> KeyboardLayout::fromNames(std::string_view layouts,
                                                 std::string_view variants,
                                                 std::string_view options) {
    std::unique_ptr<xkb_context, ContextDeleter> context(
        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context) {
        return fail(std::string("xkbcommon could not start"));
    }
    const std::string layout(layouts), variant(variants), option(options);
    const xkb_rule_names names{"evdev", "pc105", layout.c_str(), variant.c_str(), option.c_str()};
    xkb_keymap* keymap =
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) {
        return fail("no keyboard layout \"" + layout + "\" (variant \"" + variant + "\")");
    }
    return adopt(keymap, 0);
}

KeyboardLayout KeyboardLayout::adopt(xkb_keymap* keymap, std::uint32_t group) {
    return KeyboardLayout(std::make_shared<const Keymap>(keymap), group);
}

KeyboardLayout KeyboardLayout::inGroup(std::uint32_t group) const {
    return KeyboardLayout(keymap_, group);
}

std::uint32_t KeyboardLayout::groupCount() const {
    return xkb_keymap_num_layouts(keymap_->keymap);
}

std::string KeyboardLayout::groupName() const {
    const char* name = xkb_keymap_layout_get_name(keymap_->keymap, group_);
    return name ? name : "";
}

std::optional<std::uint32_t> KeyboardLayout::xKeycode(std::uint16_t keyCode) const {
    const auto it = keymap_->keycodeOfCode.find(keyCode);
    if (it == keymap_->keycodeOfCode.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::uint16_t> KeyboardLayout::keyCode(std::uint32_t xKeycode) const {
    const auto it = keymap_->codeOfKeycode.find(xKeycode);
    if (it == keymap_->codeOfKeycode.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::string KeyboardLayout::characters(std::uint32_t xKeycode, bool shift, bool numLock) const {
    xkb_state* state = numLock ? (shift ? state_->numShifted.get() : state_->numPlain.get())
                               : (shift ? state_->shifted.get() : state_->plain.get());
    if (state == nullptr || !xkb_keycode_is_legal_x11(xKeycode)) {
        return {};
    }
    std::array<char, 64> buffer{};
    const int length = xkb_state_key_get_utf8(state, xKeycode, buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return {};
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

bool KeyboardLayout::numLockOn(std::uint32_t xModifiers) const {
    return (xModifiers & keymap_->numLockMask) != 0;
}

std::vector<FindShortcut::KeyOutput> KeyboardLayout::mainBlockOutputs() const {
    std::vector<FindShortcut::KeyOutput> outputs;
    for (const KeyPosition& position : keyPositions()) {
        if (position.keypad) {
            continue;
        }
        const auto keycode = xKeycode(position.keyCode);
        if (!keycode) {
            continue;
        }
        outputs.push_back(
            {position.keyCode, characters(*keycode, false), characters(*keycode, true)});
    }
    return outputs;
}

std::uint16_t KeyboardLayout::slashKeyCode() const {
    return FindShortcut::keyCode(mainBlockOutputs());
}

std::uint16_t KeyboardLayout::letterKeyCode(std::uint16_t keyCode) const {
    const std::optional<char> letter = usLetter(keyCode);
    if (!letter) {
        return keyCode;
    }
    const std::string wanted(1, *letter);
    for (const auto& output : mainBlockOutputs()) {
        if (output.plain == wanted) {
            return output.keyCode;
        }
    }
    return keyCode;
}

}  // namespace ovra::keyboard
