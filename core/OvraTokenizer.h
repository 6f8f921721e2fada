#pragma once

// The classifier's tokenizer: turns the text describing one control into fixed-length token ids
// and an attention mask. It reads a model's tokenizer.json (handed over as bytes) and works in
// one of two modes that the file selects: byte-level BPE with "[CLS]"/"[SEP]"/"[PAD]" framing,
// or Metaspace BPE over Unicode scalars with "<0xHH>" byte fallback and "<bos>"/"<eos>"/"<pad>"
// framing. The rules are the model's input contract and are followed to the letter, including
// where they differ from other tokenizers.
//
// Safe to use from any thread: everything but the word cache is fixed at load, and the cache
// has its own lock (held only for lookup and insertion, never while merging).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ovra {

// A tokenizer.json that cannot be used: not JSON, missing parts, or a model kind we don't run.
struct TokenizerError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class OvraTokenizer final {
  public:
    enum class Mode { byteLevel, metaspace };

    struct Padded {
        std::vector<std::int32_t> ids;
        std::vector<std::int32_t> mask;
    };

    // Words whose ids are remembered; once full, new words are worked out every time.
    static constexpr std::size_t kCacheLimit = 20000;

    // Builds the tokenizer from the bytes of a tokenizer.json; throws TokenizerError with a
    // readable message when the file cannot be used.
    explicit OvraTokenizer(std::string_view tokenizerJson);

    OvraTokenizer(const OvraTokenizer&) = delete;
    OvraTokenizer& operator=(const OvraTokenizer&) = delete;

    // `cls`, at most maxLength - 2 content ids, `sep`. A maxLength below 2 leaves no room for
    // the framing and gives no ids at all.
    std::vector<std::int32_t> encode(std::string_view text, int maxLength) const;
    // `encode` filled with `pad` up to exactly maxLength (none when maxLength <= 0); the mask
    // is 1 for each encoded id and 0 for each filler.
    Padded encodePadded(std::string_view text, int maxLength) const;

    Mode mode() const { return mode_; }
    std::int32_t cls() const { return cls_; }
    std::int32_t sep() const { return sep_; }
    std::int32_t pad() const { return pad_; }

    // Number of words in the cache (for tests and benchmarks).
    std::size_t cachedWordCount() const;

    // The byte-level pre-split: the consecutive pieces that the expression
    //   's|'t|'re|'ve|'m|'ll|'d| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+
    // matches over the whole text, taking at each place the first alternative that matches (as
    // a regular expression engine does), where \s is the White_Space property. Written out by
    // hand because a regular expression engine spends most of the encoding time here. The
    // pieces are views into `utf8`.
    static std::vector<std::string_view> splitWords(std::string_view utf8);

  private:
    struct BytesHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept {
            return std::hash<std::string_view>{}(s);
        }
    };
    // Keys are exact UTF-8 bytes, never normalised text.
    template <class T>
    using BytesMap = std::unordered_map<std::string, T, BytesHash, std::equal_to<>>;

    std::vector<std::int32_t> encodeByteLevel(std::string_view text, std::size_t budget) const;
    std::vector<std::int32_t> encodeMetaspace(std::string_view text, std::size_t budget) const;
    void metaspacePiece(const std::u32string& piece, std::vector<std::int32_t>& out) const;
    // Appends the cached ids of the word; false when it is not cached.
    bool appendCached(std::string_view word, std::vector<std::int32_t>& out) const;
    // Byte-level: the cached ids, else the merges over the word's byte characters.
    void bpe(std::string_view word, std::vector<std::int32_t>& out) const;
    // The merge loop shared by both modes: appends the ids of the merged symbols and remembers
    // them for the word while the cache has room.
    void merge(std::string_view word, std::vector<std::string> symbols,
               std::vector<std::int32_t>& out) const;

    Mode mode_ = Mode::byteLevel;
    std::int32_t cls_ = 0;
    std::int32_t sep_ = 0;
    std::int32_t pad_ = 0;
    BytesMap<std::int32_t> vocab_;
    std::vector<std::pair<std::u32string, std::int32_t>> addedWhitespace_;  // longest first
    BytesMap<std::size_t> ranks_;  // left, one 0x00 byte, right -> position in the merge list
    std::vector<std::string> byteToChar_;  // 256 entries, UTF-8 of each byte's stand-in

    mutable std::mutex lock_;
    mutable BytesMap<std::vector<std::int32_t>> cache_;
};

}  // namespace ovra
