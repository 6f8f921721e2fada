// Formats come from translation catalogues and their arguments from other apps: formatting
// never fails, whatever the placeholders (positions, precisions, kinds that do not match the
// argument). Input: the format, then a NUL byte, then the arguments' bytes: eight for a whole
// number, eight for a real number, the rest as text.

#include <cstring>

#include "core/OvraText.h"
#include "fuzz/FuzzSupport.h"

namespace {

template <class T>
T take(std::string_view& bytes) {
    T value{};
    const std::size_t n = std::min(sizeof value, bytes.size());
    if (n > 0)
        std::memcpy(&value, bytes.data(), n);
    bytes.remove_prefix(n);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace text = ovra::OvraText;
    const std::string_view input = ovra::fuzz::text(data, size);
    const std::size_t nul = input.find('\0');
    const std::string_view format = input.substr(0, nul);
    std::string_view args =
        nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    const auto whole = take<std::int64_t>(args);
    const auto real = take<double>(args);
    const std::string words(args);

    (void)text::format(format, {});
    (void)text::format(format, {words, whole, real, words, whole, real});
    (void)text::format(format, {real, real, whole, whole});
    (void)text::f(format, {whole, words});
    (void)text::samePlaceholders(format, words);
    return 0;
}
