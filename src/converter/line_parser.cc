#include "converter/line_parser.h"

#include <array>
#include <cstdint>
#include <iterator>

#include "converter/number_parser.h"
#include "converter/utf8.h"

namespace ondravane {

namespace {

// Bytes that end a run of plain string characters: the quotation mark, the
// reverse solidus and the control characters, which may not stand raw, and
// the bytes that are not ASCII, which may need their UTF-8 form checked.
constexpr std::array<bool, 256> kStringStops = [] {
  std::array<bool, 256> stops{};
  for (int c = 0; c < 0x20; ++c) stops[c] = true;
  for (int c = 0x80; c < 0x100; ++c) stops[c] = true;
  stops['"'] = true;
  stops['\\'] = true;
  return stops;
}();

inline bool is_string_stop(char c) { return kStringStops[static_cast<unsigned char>(c)]; }

inline bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline bool is_high_surrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool is_low_surrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_utf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// Moves the collected elements into a vector of exactly their number.
template <typename T>
std::vector<T> take_exact(std::vector<T>& scratch) {
  std::vector<T> out(std::make_move_iterator(scratch.begin()), std::make_move_iterator(scratch.end()));
  scratch.clear();
  return out;
}

}  // namespace

std::optional<Activation> Activation::from_line(std::string_view line, LayerRetention retention) {
  LineParser parser;
  return parser.parse(line, retention);
}

std::optional<Activation> LineParser::parse_unchecked_utf8(std::string_view line,
                                                          LayerRetention retention) {
  return parse_line(line, retention, true);
}

std::optional<Activation> LineParser::parse(std::string_view line, LayerRetention retention) {
  return parse_line(line, retention, false);
}

std::optional<Activation> LineParser::parse_line(std::string_view line, LayerRetention retention,
                                                 bool check_utf8) {
  checking_utf8_ = check_utf8;
  p_ = line.data();
  end_ = p_ + line.size();
  retention_ = retention;
  Activation activation;
  skip_whitespace();
  if (!parse_activation(activation)) return std::nullopt;
  skip_whitespace();
  if (p_ != end_) return std::nullopt;
  return activation;
}

void LineParser::skip_whitespace() {
  while (p_ != end_ && is_whitespace(*p_)) ++p_;
}

// Records ------------------------------------------------------------------

bool LineParser::parse_activation(Activation& activation) {
  return parse_record(
      "linex_index", "features", [&] { return parse_index_value(activation.linex_index); },
      [&] { return parse_features(activation.features); });
}

bool LineParser::parse_feature(Feature& feature) {
  return parse_record(
      "token", "layers", [&] { return parse_token(feature.token); },
      [&] { return parse_layers(feature.layers); });
}

bool LineParser::parse_layer(Layer& layer, bool keep) {
  return parse_record(
      "index", "values", [&] { return parse_index_value(layer.index); },
      [&] { return parse_values(layer.values, keep); });
}

template <typename First, typename Second>
bool LineParser::parse_record(std::string_view first_key, std::string_view second_key, First&& first,
                              Second&& second) {
  const char c = peek();
  if (c == '{') return parse_record_object(first_key, second_key, first, second);
  if (c == '[') return parse_record_pair(first, second);
  return false;
}

template <typename First, typename Second>
bool LineParser::parse_record_object(std::string_view first_key, std::string_view second_key,
                                     First&& first, Second&& second) {
  ++p_;
  skip_whitespace();
  // Also rejects the empty object, whose keys are missing.
  if (peek() != '"') return false;
  bool seen_first = false;
  bool seen_second = false;
  for (;;) {
    std::string_view key;
    if (!read_string(key)) return false;
    skip_whitespace();
    if (peek() != ':') return false;
    ++p_;
    skip_whitespace();
    if (key == first_key) {
      if (seen_first || !first()) return false;
      seen_first = true;
    } else if (key == second_key) {
      if (seen_second || !second()) return false;
      seen_second = true;
    } else if (!skip_value()) {
      return false;
    }
    skip_whitespace();
    const char c = peek();
    if (c == '}') {
      ++p_;
      return seen_first && seen_second;
    }
    if (c != ',') return false;
    ++p_;
    skip_whitespace();
    if (peek() != '"') return false;
  }
}

template <typename First, typename Second>
bool LineParser::parse_record_pair(First&& first, Second&& second) {
  ++p_;
  skip_whitespace();
  if (!first()) return false;
  skip_whitespace();
  if (peek() != ',') return false;
  ++p_;
  skip_whitespace();
  if (!second()) return false;
  skip_whitespace();
  if (peek() != ']') return false;
  ++p_;
  return true;
}

template <typename Element>
bool LineParser::parse_array(Element&& element) {
  if (peek() != '[') return false;
  ++p_;
  skip_whitespace();
  if (peek() == ']') {
    ++p_;
    return true;
  }
  for (;;) {
    if (!element()) return false;
    skip_whitespace();
    const char c = peek();
    if (c == ']') {
      ++p_;
      return true;
    }
    if (c != ',') return false;
    ++p_;
    skip_whitespace();
  }
}

// Fields -------------------------------------------------------------------

bool LineParser::parse_features(std::vector<Feature>& features) {
  features_scratch_.clear();
  if (!parse_array([&] { return parse_feature(features_scratch_.emplace_back()); })) return false;
  features = take_exact(features_scratch_);
  return true;
}

bool LineParser::parse_layers(std::vector<Layer>& layers) {
  layers_scratch_.clear();
  bool first = true;
  const bool keep_all = retention_ == LayerRetention::kAll;
  const bool parsed = parse_array([&] {
    // Later layers are still checked in full, only not stored.
    const bool keep = first || keep_all;
    first = false;
    return parse_layer(keep ? layers_scratch_.emplace_back() : discarded_layer_, keep);
  });
  if (!parsed) return false;
  layers = take_exact(layers_scratch_);
  return true;
}

bool LineParser::parse_values(std::vector<double>& values, bool keep) {
  values_scratch_.clear();
  const bool parsed = parse_array([&] {
    double value;
    const char* next = parse_number(p_, end_, value);
    if (next == nullptr) return false;
    p_ = next;
    if (keep) values_scratch_.push_back(value);
    return true;
  });
  if (!parsed) return false;
  if (keep) values = take_exact(values_scratch_);
  return true;
}

bool LineParser::parse_index_value(std::uint32_t& index) {
  const char* next = parse_index(p_, end_, index);
  if (next == nullptr) return false;
  p_ = next;
  return true;
}

bool LineParser::parse_token(std::string& token) {
  std::string_view text;
  if (peek() != '"' || !read_string(text)) return false;
  token = std::string(text);  // sized exactly, unlike an assignment into the old buffer
  return true;
}

// Strings ------------------------------------------------------------------

bool LineParser::skip_plain_characters() {
  for (;;) {
    while (p_ != end_ && !is_string_stop(*p_)) ++p_;
    if (p_ == end_ || static_cast<unsigned char>(*p_) < 0x80) return true;
    if (!checking_utf8_) {
      ++p_;
      continue;
    }
    const std::size_t length = utf8_sequence_length(reinterpret_cast<const unsigned char*>(p_),
                                                    static_cast<std::size_t>(end_ - p_));
    if (length == 0) return false;
    p_ += length;  // continuation bytes are never quotation marks or escapes
  }
}

bool LineParser::read_string(std::string_view& text) {
  ++p_;  // the opening quotation mark
  const char* start = p_;
  if (!skip_plain_characters()) return false;
  if (p_ != end_ && *p_ == '"') {
    // No escapes: the text stands in the line as it is.
    text = std::string_view(start, static_cast<std::size_t>(p_ - start));
    ++p_;
    return true;
  }
  decode_buffer_.assign(start, p_);
  for (;;) {
    if (p_ == end_) return false;
    const char c = *p_;
    if (c == '"') {
      ++p_;
      text = decode_buffer_;
      return true;
    }
    if (c != '\\') {
      const char* run = p_;
      if (!skip_plain_characters()) return false;
      if (p_ == run) return false;  // a raw control character
      decode_buffer_.append(run, p_);
      continue;
    }
    ++p_;
    char decoded;
    switch (peek()) {
      case '"': decoded = '"'; break;
      case '\\': decoded = '\\'; break;
      case '/': decoded = '/'; break;
      case 'b': decoded = '\b'; break;
      case 'f': decoded = '\f'; break;
      case 'n': decoded = '\n'; break;
      case 'r': decoded = '\r'; break;
      case 't': decoded = '\t'; break;
      case 'u':
        ++p_;
        if (!read_unicode_escape(decode_buffer_)) return false;
        continue;
      default: return false;
    }
    decode_buffer_ += decoded;
    ++p_;
  }
}

// Decodes the escape after "\u" and appends the character; a high surrogate
// must be completed by a low one in the escape that follows at once.
bool LineParser::read_unicode_escape(std::string& out) {
  std::uint32_t unit;
  if (!read_hex4(unit)) return false;
  if (is_low_surrogate(unit)) return false;
  if (is_high_surrogate(unit)) {
    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
    p_ += 2;
    std::uint32_t low;
    if (!read_hex4(low) || !is_low_surrogate(low)) return false;
    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  append_utf8(out, unit);
  return true;
}

bool LineParser::read_hex4(std::uint32_t& code_unit) {
  if (end_ - p_ < 4) return false;
  std::uint32_t result = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = hex_value(p_[i]);
    if (digit < 0) return false;
    result = (result << 4) | static_cast<std::uint32_t>(digit);
  }
  p_ += 4;
  code_unit = result;
  return true;
}

// Skipped values -------------------------------------------------------------

// Walks any JSON value with an explicit stack of the closers still expected,
// so nesting depth costs memory, not call depth, and every byte is visited
// once.
bool LineParser::skip_value() {
  closers_.clear();
  for (;;) {
    // Here a value starts.
    switch (peek()) {
      case '{':
        ++p_;
        skip_whitespace();
        if (peek() == '}') {
          ++p_;
          break;
        }
        closers_.push_back('}');
        if (!skip_member_key()) return false;
        continue;
      case '[':
        ++p_;
        skip_whitespace();
        if (peek() == ']') {
          ++p_;
          break;
        }
        closers_.push_back(']');
        continue;
      case '"':
        if (!skip_string()) return false;
        break;
      case 't':
        if (!skip_literal("true")) return false;
        break;
      case 'f':
        if (!skip_literal("false")) return false;
        break;
      case 'n':
        if (!skip_literal("null")) return false;
        break;
      default: {
        const char* next = scan_number(p_, end_);
        if (next == nullptr) return false;
        p_ = next;
        break;
      }
    }
    // Here a value ended: close containers until one goes on with a comma.
    for (;;) {
      if (closers_.empty()) return true;
      skip_whitespace();
      const char c = peek();
      if (c == closers_.back()) {
        ++p_;
        closers_.pop_back();
        continue;
      }
      if (c != ',') return false;
      ++p_;
      skip_whitespace();
      if (closers_.back() == '}' && !skip_member_key()) return false;
      break;
    }
  }
}

bool LineParser::skip_member_key() {
  if (peek() != '"' || !skip_string()) return false;
  skip_whitespace();
  if (peek() != ':') return false;
  ++p_;
  skip_whitespace();
  return true;
}

// A string inside a skipped value: escapes are checked, and a \u escape only
// needs four hexadecimal digits (surrogates may stand unpaired).
bool LineParser::skip_string() {
  ++p_;
  for (;;) {
    if (!skip_plain_characters()) return false;
    if (p_ == end_) return false;
    const char c = *p_++;
    if (c == '"') return true;
    if (c != '\\') return false;  // a raw control character
    switch (peek()) {
      case '"':
      case '\\':
      case '/':
      case 'b':
      case 'f':
      case 'n':
      case 'r':
      case 't': ++p_; break;
      case 'u': {
        ++p_;
        std::uint32_t unit;
        if (!read_hex4(unit)) return false;
        break;
      }
      default: return false;
    }
  }
}

bool LineParser::skip_literal(std::string_view word) {
  if (static_cast<std::size_t>(end_ - p_) < word.size() ||
      std::string_view(p_, word.size()) != word) {
    return false;
  }
  p_ += word.size();
  return true;
}

}  // namespace ondravane
