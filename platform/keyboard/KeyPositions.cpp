#include "platform/keyboard/KeyPositions.h"

#include <algorithm>
#include <array>

namespace ovra::keyboard {

namespace {

// Main block by row, then the keys around it. Codes the PC has no key for (Fn, the Japanese
// input keys) are left out.
constexpr std::array<KeyPosition, 116> kPositions{{
    {0, "AC01"},        {1, "AC02"},        {2, "AC03"},        {3, "AC04"},
    {4, "AC06"},        {5, "AC05"},        {6, "AB01"},        {7, "AB02"},
    {8, "AB03"},        {9, "AB04"},        {10, "LSGT"},       {11, "AB05"},
    {12, "AD01"},       {13, "AD02"},       {14, "AD03"},       {15, "AD04"},
    {16, "AD06"},       {17, "AD05"},       {18, "AE01"},       {19, "AE02"},
    {20, "AE03"},       {21, "AE04"},       {22, "AE06"},       {23, "AE05"},
    {24, "AE12"},       {25, "AE09"},       {26, "AE07"},       {27, "AE11"},
    {28, "AE08"},       {29, "AE10"},       {30, "AD12"},       {31, "AD09"},
    {32, "AD07"},       {33, "AD11"},       {34, "AD08"},       {35, "AD10"},
    {36, "RTRN"},       {37, "AC09"},       {38, "AC07"},       {39, "AC11"},
    {40, "AC08"},       {41, "AC10"},       {42, "BKSL"},       {43, "AB08"},
    {44, "AB10"},       {45, "AB06"},       {46, "AB07"},       {47, "AB09"},
    {48, "TAB"},        {49, "SPCE"},       {50, "TLDE"},       {51, "BKSP"},
    {53, "ESC"},        {54, "RWIN"},       {55, "LWIN"},       {56, "LFSH"},
    {57, "CAPS"},       {58, "LALT"},       {59, "LCTL"},       {60, "RTSH"},
    {61, "RALT"},       {62, "RCTL"},       {64, "FK17"},       {65, "KPDL", true},
    {67, "KPMU", true}, {69, "KPAD", true}, {71, "NMLK", true}, {72, "VOL+"},
    {73, "VOL-"},       {74, "MUTE"},       {75, "KPDV", true}, {76, "KPEN", true},
    {78, "KPSU", true}, {79, "FK18"},       {80, "FK19"},       {81, "KPEQ", true},
    {82, "KP0", true},  {83, "KP1", true},  {84, "KP2", true},  {85, "KP3", true},
    {86, "KP4", true},  {87, "KP5", true},  {88, "KP6", true},  {89, "KP7", true},
    {90, "FK20"},       {91, "KP8", true},  {92, "KP9", true},  {93, "AE13"},
    {94, "AB11"},       {96, "FK05"},       {97, "FK06"},       {98, "FK07"},
    {99, "FK03"},       {100, "FK08"},      {101, "FK09"},      {103, "FK11"},
    {105, "FK13"},      {106, "FK16"},      {107, "FK14"},      {109, "FK10"},
    {110, "COMP"},      {111, "FK12"},      {113, "FK15"},      {114, "INS"},
    {115, "HOME"},      {116, "PGUP"},      {117, "DELE"},      {118, "FK04"},
    {119, "END"},       {120, "FK02"},      {121, "PGDN"},      {122, "FK01"},
    {123, "LEFT"},      {124, "RGHT"},      {125, "DOWN"},      {126, "UP"},
}};

constexpr bool ascending() {
    for (std::size_t i = 1; i < kPositions.size(); ++i) {
        if (kPositions[i - 1].keyCode >= kPositions[i].keyCode) {
            return false;
        }
    }
    return true;
}
static_assert(ascending(), "the table is looked up by binary search");

}  // namespace

std::span<const KeyPosition> keyPositions() {
    return kPositions;
}

std::optional<KeyPosition> positionOf(std::uint16_t keyCode) {
    const auto it = std::lower_bound(
        kPositions.begin(), kPositions.end(), keyCode,
        [](const KeyPosition& position, std::uint16_t code) { return position.keyCode < code; });
    if (it == kPositions.end() || it->keyCode != keyCode) {
        return std::nullopt;
    }
    return *it;
}

std::optional<char> usLetter(std::uint16_t keyCode) {
    // The letters of the US layout, indexed by key code 0…46; blanks are keys of no letter.
    constexpr std::string_view kLetters = "asdfhgzxcv bqweryt             ou ip lj k    nm";
    if (keyCode >= kLetters.size() || kLetters[keyCode] == ' ') {
        return std::nullopt;
    }
    return kLetters[keyCode];
}

}  // namespace ovra::keyboard
