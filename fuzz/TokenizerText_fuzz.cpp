// Control labels come from other apps: both kinds of tokenizer split, frame and pad any bytes,
// valid UTF-8 or not.

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/OvraTokenizer.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::unique_ptr<ovra::OvraTokenizer> load(const char* name) {
    const auto path =
        std::filesystem::path(OVRA_SOURCE_DIR) / "core/tests/fixtures/tokenizer" / name;
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return std::make_unique<ovra::OvraTokenizer>(bytes.str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    static const auto byteLevel = load("bytelevel.json");
    static const auto metaspace = load("metaspace.json");
    const std::string_view text = ovra::fuzz::text(data, size);

    std::size_t covered = 0;
    for (const std::string_view piece : ovra::OvraTokenizer::splitWords(text)) {
        check(!piece.empty() && piece.data() == text.data() + covered,
              "splitWords gives consecutive non-empty pieces");
        covered += piece.size();
    }
    check(covered == text.size(), "splitWords covers the whole text");

    for (const auto* tokenizer : {byteLevel.get(), metaspace.get()}) {
        for (const int maxLength : {3, 64}) {
            const auto padded = tokenizer->encodePadded(text, maxLength);
            const auto length = static_cast<std::size_t>(maxLength);
            check(padded.ids.size() == length && padded.mask.size() == length,
                  "encodePadded gives exactly maxLength ids and mask");
            check(padded.ids.front() == tokenizer->cls() && padded.mask.front() == 1,
                  "the ids start with cls");
        }
    }
    return 0;
}
