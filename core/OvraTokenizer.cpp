#include "core/OvraTokenizer.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/Text.h"

namespace ovra {

namespace {

// Plain (unordered) JSON objects: a vocabulary has up to a few hundred thousand keys, which the
// insertion-ordered variant would look up linearly.
using TokenizerJson = nlohmann::json;

constexpr char32_t kMetaspace = U'\u2581';

[[noreturn]] void corrupt(const std::string& what) {
    throw TokenizerError("tokenizer.json is malformed: " + what);
}

// A vocabulary number as a 32-bit id: fractions are cut off; a number that no 32-bit id can
// stand for gives none, and its entry is left out.
std::optional<std::int32_t> vocabId(const TokenizerJson& value) {
    constexpr auto lo = std::numeric_limits<std::int32_t>::min();
    constexpr auto hi = std::numeric_limits<std::int32_t>::max();
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(hi))
            return std::nullopt;
        return static_cast<std::int32_t>(u);
    }
    if (value.is_number_integer()) {
        const auto i = value.get<std::int64_t>();
        if (i < lo || i > hi)
            return std::nullopt;
        return static_cast<std::int32_t>(i);
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        // Bounds are exclusive so that truncation toward zero stays inside the 32-bit range.
        if (!std::isfinite(d) || d <= -2147483649.0 || d >= 2147483648.0)
            return std::nullopt;
        return static_cast<std::int32_t>(d);
    }
    return std::nullopt;
}

// An added token's "id": an integer (an integral float counts); anything else gives none and
// the entry is skipped. An integer that no 32-bit id can stand for makes the file unusable.
std::optional<std::int32_t> addedTokenId(const TokenizerJson& value) {
    std::optional<long double> number;
    if (value.is_number_unsigned()) {
        number = static_cast<long double>(value.get<std::uint64_t>());
    } else if (value.is_number_integer()) {
        number = static_cast<long double>(value.get<std::int64_t>());
    } else if (value.is_number_float()) {
        const double d = value.get<double>();
        if (std::isfinite(d) && std::trunc(d) == d)
            number = static_cast<long double>(d);
    }
    if (!number)
        return std::nullopt;
    if (*number < std::numeric_limits<std::int32_t>::min() ||
        *number > std::numeric_limits<std::int32_t>::max()) {
        corrupt("an added token's id is outside the 32-bit range");
    }
    return static_cast<std::int32_t>(*number);
}

std::u32string scalars(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(
        utf8.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    std::int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        out.push_back(c < 0 ? U'\uFFFD' : static_cast<char32_t>(c));
    }
    return out;
}

// Scalars come from a decoder that already replaced anything invalid, so no checks here.
void appendUtf8(std::string& out, char32_t c) {
    const auto byte = [&out](char32_t b) { out.push_back(static_cast<char>(b)); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
}

std::string utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text)
        appendUtf8(out, c);
    return out;
}

bool isWhitespaceScalar(char32_t c) {
    return u_isUWhiteSpace(static_cast<UChar32>(c));
}

// GPT-2's byte-to-character table: printable Latin-1 bytes stand for themselves, the other 68
// bytes take the code points from 256 on, in ascending byte order.
std::vector<std::string> bytesToUnicode() {
    std::vector<std::string> table(256);
    char32_t next = 256;
    for (std::size_t b = 0; b < 256; ++b) {
        const bool printable = (b >= 33 && b <= 126) || (b >= 161 && b <= 172) || b >= 174;
        appendUtf8(table[b], printable ? static_cast<char32_t>(b) : next++);
    }
    return table;
}

const icu::Normalizer2& nfc() {
    static const icu::Normalizer2* instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status) || n == nullptr) {
            std::fprintf(stderr, "murmlark: NFC normalizer unavailable (%s)\n",
                         u_errorName(status));
            std::abort();
        }
        return n;
    }();
    return *instance;
}

const TokenizerJson* member(const TokenizerJson& object, const char* key) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

}  // namespace

OvraTokenizer::OvraTokenizer(std::string_view tokenizerJson) {
    TokenizerJson root;
    try {
        root = TokenizerJson::parse(tokenizerJson.begin(), tokenizerJson.end());
    } catch (const TokenizerJson::exception& e) {
        throw TokenizerError(std::string("tokenizer.json is not valid JSON: ") + e.what());
    }
    if (!root.is_object())
        corrupt("the top level is not an object");
    const TokenizerJson* model = member(root, "model");
    if (model == nullptr || !model->is_object())
        corrupt("\"model\" is missing or not an object");
    if (const TokenizerJson* type = member(*model, "type");
        type != nullptr && type->is_string() && type->get<std::string>() == "Unigram") {
        throw TokenizerError(
            "tokenizer.json holds a Unigram model; only BPE tokenizers are supported");
    }
    const TokenizerJson* vocab = member(*model, "vocab");
    if (vocab == nullptr || !vocab->is_object()) {
        corrupt("\"model\" \u2192 \"vocab\" is missing or not an object");
    }
    const TokenizerJson* merges = member(*model, "merges");
    if (merges == nullptr || !merges->is_array()) {
        corrupt("\"model\" \u2192 \"merges\" is missing or not an array");
    }

    vocab_.reserve(vocab->size() + 8);
    for (const auto& [token, number] : vocab->items()) {
        if (const auto id = vocabId(number))
            vocab_.insert_or_assign(token, *id);
    }

    static const TokenizerJson kNoAddedTokens = TokenizerJson::array();
    const TokenizerJson* added = member(root, "added_tokens");
    if (added == nullptr || !added->is_array())
        added = &kNoAddedTokens;
    std::vector<std::pair<std::string, std::int32_t>> addedTokens;
    for (const auto& entry : *added) {
        const TokenizerJson* content = member(entry, "content");
        const TokenizerJson* id = member(entry, "id");
        if (content == nullptr || id == nullptr || !content->is_string())
            continue;
        if (const auto value = addedTokenId(*id)) {
            addedTokens.emplace_back(content->get<std::string>(), *value);
            vocab_.insert_or_assign(addedTokens.back().first, *value);
        }
    }

    ranks_.reserve(merges->size());
    for (std::size_t rank = 0; rank < merges->size(); ++rank) {
        const TokenizerJson& pair = (*merges)[rank];
        std::string key;
        if (pair.is_array() && pair.size() == 2 && pair[0].is_string() && pair[1].is_string()) {
            key = pair[0].get<std::string>() + '\0' + pair[1].get<std::string>();
        } else if (pair.is_string()) {
            key = pair.get<std::string>();
            const auto space = key.find(' ');
            if (space == std::string::npos)
                continue;
            key[space] = '\0';
        } else {
            continue;
        }
        ranks_.insert_or_assign(std::move(key), rank);
    }

    for (const auto& [content, id] : addedTokens) {
        const std::u32string s = scalars(content);
        if (!s.empty() && std::all_of(s.begin(), s.end(), isWhitespaceScalar)) {
            addedWhitespace_.emplace_back(s, id);
        }
    }
    std::stable_sort(addedWhitespace_.begin(), addedWhitespace_.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });

    const TokenizerJson* preTokenizer = member(root, "pre_tokenizer");
    const TokenizerJson* preType = preTokenizer ? member(*preTokenizer, "type") : nullptr;
    if (preType != nullptr && preType->is_string() && preType->get<std::string>() == "Metaspace") {
        mode_ = Mode::metaspace;
    }

    const auto special = [this](std::string_view token, std::int32_t fallback) {
        const auto it = vocab_.find(token);
        return it == vocab_.end() ? fallback : it->second;
    };
    if (mode_ == Mode::byteLevel) {
        cls_ = special("[CLS]", 0);
        sep_ = special("[SEP]", 0);
        pad_ = special("[PAD]", 0);
    } else {
        cls_ = special("<bos>", 2);
        sep_ = special("<eos>", 1);
        pad_ = special("<pad>", 0);
    }

    byteToChar_ = bytesToUnicode();
}

std::vector<std::int32_t> OvraTokenizer::encode(std::string_view text, int maxLength) const {
    if (maxLength < 2)
        return {};
    const auto budget = static_cast<std::size_t>(maxLength - 2);
    std::vector<std::int32_t> content =
        mode_ == Mode::byteLevel ? encodeByteLevel(text, budget) : encodeMetaspace(text, budget);
    if (content.size() > budget)
        content.resize(budget);
    std::vector<std::int32_t> out;
    out.reserve(content.size() + 2);
    out.push_back(cls_);
    out.insert(out.end(), content.begin(), content.end());
    out.push_back(sep_);
    return out;
}

OvraTokenizer::Padded OvraTokenizer::encodePadded(std::string_view text, int maxLength) const {
    Padded out;
    out.ids = encode(text, maxLength);
    const std::size_t length = maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0;
    out.mask.assign(out.ids.size(), 1);
    out.ids.resize(length, pad_);
    out.mask.resize(length, 0);
    return out;
}

std::size_t OvraTokenizer::cachedWordCount() const {
    const std::lock_guard guard(lock_);
    return cache_.size();
}

std::vector<std::int32_t> OvraTokenizer::encodeByteLevel(std::string_view text,
                                                         std::size_t budget) const {
    // NFC, skipping the copy for text that is already composed (nearly all labels).
    std::string repaired;
    if (!text::isValidUtf8(text)) {
        repaired = text::repairUtf8(text);
        text = repaired;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
    std::string normalized;
    if (!nfc().isNormalizedUTF8(piece, status) && U_SUCCESS(status)) {
        icu::StringByteSink<std::string> sink(&normalized);
        nfc().normalizeUTF8(0, piece, sink, nullptr, status);
        if (U_FAILURE(status))
            return {};
        text = normalized;
    }

    std::vector<std::int32_t> content;
    for (const std::string_view word : splitWords(text)) {
        bpe(word, content);
        if (content.size() >= budget)
            break;
    }
    return content;
}

std::vector<std::string_view> OvraTokenizer::splitWords(std::string_view utf8) {
    enum class Kind : std::uint8_t { space, letter, number, other };
    struct Scalar {
        std::size_t offset;
        UChar32 c;
        Kind kind;
    };
    std::vector<Scalar> scalars;
    scalars.reserve(utf8.size());
    const auto* s = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(
        utf8.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    for (std::int32_t i = 0; i < length;) {
        const auto offset = static_cast<std::size_t>(i);
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0)
            c = 0xFFFD;
        Kind kind = Kind::other;
        if (u_isUWhiteSpace(c)) {
            kind = Kind::space;
        } else if ((U_GET_GC_MASK(c) & U_GC_L_MASK) != 0) {
            kind = Kind::letter;
        } else if ((U_GET_GC_MASK(c) & U_GC_N_MASK) != 0) {
            kind = Kind::number;
        }
        scalars.push_back({offset, c, kind});
    }
    const std::size_t n = scalars.size();
    const auto byteOffset = [&](std::size_t i) { return i < n ? scalars[i].offset : utf8.size(); };

    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < n) {
        std::size_t end = i;
        // 's 't 're 've 'm 'll 'd
        if (scalars[i].c == '\'' && i + 1 < n) {
            const UChar32 a = scalars[i + 1].c;
            const UChar32 b = i + 2 < n ? scalars[i + 2].c : 0;
            if (a == 's' || a == 't' || a == 'm' || a == 'd') {
                end = i + 2;
            } else if ((a == 'r' && b == 'e') || (a == 'v' && b == 'e') || (a == 'l' && b == 'l')) {
                end = i + 3;
            }
        }
        // " ?\p{L}+", " ?\p{N}+", " ?[^\s\p{L}\p{N}]+": an optional plain space, then a run of
        // one kind. Without the space a run cannot start at a space, so that is the only try.
        for (const Kind kind : {Kind::letter, Kind::number, Kind::other}) {
            if (end != i)
                break;
            const std::size_t start = scalars[i].c == ' ' ? i + 1 : i;
            std::size_t k = start;
            while (k < n && scalars[k].kind == kind)
                ++k;
            if (k > start)
                end = k;
        }
        if (end == i) {
            // "\s+(?!\S)", else "\s+": the run of white space, less its last one when
            // something other than white space follows and the run is longer than one.
            std::size_t k = i;
            while (k < n && scalars[k].kind == Kind::space)
                ++k;
            end = (k < n && k - i > 1) ? k - 1 : k;
        }
        if (end == i)
            end = i + 1;  // unreachable (every scalar is of one kind), but never loop forever
        words.push_back(utf8.substr(byteOffset(i), byteOffset(end) - byteOffset(i)));
        i = end;
    }
    return words;
}

std::vector<std::int32_t> OvraTokenizer::encodeMetaspace(std::string_view text,
                                                         std::size_t budget) const {
    const std::u32string s = scalars(text);
    std::vector<std::int32_t> content;
    std::u32string piece;
    std::size_t i = 0;
    while (i < s.size() && content.size() < budget) {
        bool matched = false;
        if (isWhitespaceScalar(s[i])) {
            const std::u32string_view rest(s.data() + i, s.size() - i);
            for (const auto& [token, id] : addedWhitespace_) {
                if (!rest.starts_with(token))
                    continue;
                if (!piece.empty()) {
                    metaspacePiece(piece, content);
                    piece.clear();
                }
                content.push_back(id);
                i += token.size();
                matched = true;
                break;
            }
        }
        if (!matched)
            piece.push_back(s[i++]);
    }
    if (!piece.empty())
        metaspacePiece(piece, content);
    return content;
}

void OvraTokenizer::metaspacePiece(const std::u32string& piece,
                                   std::vector<std::int32_t>& out) const {
    std::u32string marked = piece;
    std::replace(marked.begin(), marked.end(), U' ', kMetaspace);
    if (marked.front() != kMetaspace)
        marked.insert(marked.begin(), kMetaspace);

    const auto emitWord = [&](std::u32string_view word) {
        const std::string bytes = utf8(word);
        if (appendCached(bytes, out))
            return;
        std::vector<std::string> symbols;
        symbols.reserve(word.size());
        for (const char32_t c : word) {
            symbols.emplace_back();
            appendUtf8(symbols.back(), c);
        }
        merge(bytes, std::move(symbols), out);
    };
    std::size_t wordStart = 0;
    for (std::size_t i = 1; i < marked.size(); ++i) {
        if (marked[i] == kMetaspace) {
            emitWord(std::u32string_view(marked).substr(wordStart, i - wordStart));
            wordStart = i;
        }
    }
    emitWord(std::u32string_view(marked).substr(wordStart));
}

bool OvraTokenizer::appendCached(std::string_view word, std::vector<std::int32_t>& out) const {
    const std::lock_guard guard(lock_);
    const auto it = cache_.find(word);
    if (it == cache_.end())
        return false;
    out.insert(out.end(), it->second.begin(), it->second.end());
    return true;
}

void OvraTokenizer::bpe(std::string_view word, std::vector<std::int32_t>& out) const {
    if (appendCached(word, out))
        return;
    std::vector<std::string> symbols;
    symbols.reserve(word.size());
    for (const char byte : word)
        symbols.push_back(byteToChar_[static_cast<std::uint8_t>(byte)]);
    merge(word, std::move(symbols), out);
}

void OvraTokenizer::merge(std::string_view word, std::vector<std::string> symbols,
                          std::vector<std::int32_t>& out) const {
    std::string key;
    std::vector<std::string> merged;
    while (symbols.size() >= 2) {
        std::optional<std::size_t> bestRank;
        std::size_t best = 0;
        for (std::size_t i = 0; i + 1 < symbols.size(); ++i) {
            key.assign(symbols[i]);
            key.push_back('\0');
            key.append(symbols[i + 1]);
            const auto it = ranks_.find(key);
            if (it != ranks_.end() && (!bestRank || it->second < *bestRank)) {
                bestRank = it->second;
                best = i;
            }
        }
        if (!bestRank)
            break;
        const std::string left = symbols[best];
        const std::string right = symbols[best + 1];
        merged.clear();
        merged.reserve(symbols.size());
        for (std::size_t i = 0; i < symbols.size();) {
            if (i + 1 < symbols.size() && symbols[i] == left && symbols[i + 1] == right) {
                merged.push_back(left + right);
                i += 2;
            } else {
                merged.push_back(std::move(symbols[i]));
                i += 1;
            }
        }
        symbols.swap(merged);
    }

    std::vector<std::int32_t> ids;
    ids.reserve(symbols.size());
    for (const std::string& symbol : symbols) {
        if (const auto it = vocab_.find(symbol); it != vocab_.end()) {
            ids.push_back(it->second);
            continue;
        }
        if (mode_ != Mode::metaspace)
            continue;  // byte-level drops what it cannot name
        for (const char byte : symbol) {
            char name[8];
            std::snprintf(name, sizeof name, "<0x%02X>",
                          static_cast<unsigned>(static_cast<std::uint8_t>(byte)));
            if (const auto it = vocab_.find(std::string_view(name)); it != vocab_.end()) {
                ids.push_back(it->second);
            }
        }
    }

    out.insert(out.end(), ids.begin(), ids.end());
    const std::lock_guard guard(lock_);
    if (cache_.size() < kCacheLimit)
        cache_.insert_or_assign(std::string(word), std::move(ids));
}

}  // namespace ovra
