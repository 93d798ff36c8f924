// The JSON text of a line: strings and their escapes, skipped values, and
// the reasons of rejections, worked out only when a line is rejected.
#include "converter/json/cursor.h"

#include <array>

#include "converter/json/utf8.h"

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

constexpr const char* kRawControl = "raw control character in a string";
constexpr const char* kBadEscape = "invalid escape";
constexpr const char* kUnclosedString = "unclosed string";

}  // namespace

void JsonCursor::reset(std::string_view text, bool check_utf8) {
  begin_ = p_ = text.data();
  end_ = p_ + text.size();
  checking_utf8_ = check_utf8;
  rejected_at_ = nullptr;
}

bool JsonCursor::reject_at(const char* at, const char* reason, std::string_view subject) {
  rejected_at_ = at;
  reason_ = reason;
  subject_ = subject;
  return false;
}

Rejection JsonCursor::rejection() const {
  Rejection rejection;
  if (rejected_at_ == nullptr) return rejection;
  rejection.column = static_cast<std::size_t>(rejected_at_ - begin_);
  // The scanner ends a number after a lone leading 0, so "01" is rejected at
  // the 1 as whatever may not follow a value; a digit can stand right after a
  // 0 in no other way.
  if (rejected_at_ != begin_ && rejected_at_ != end_ && rejected_at_[-1] == '0' &&
      static_cast<unsigned char>(*rejected_at_ - '0') < 10) {
    rejection.reason = "a JSON number has no leading zeros";
    return rejection;
  }
  const std::string_view reason(reason_);
  const std::size_t slot = reason.find("{}");
  if (slot == std::string_view::npos) {
    rejection.reason = reason;
  } else {
    rejection.reason.append(reason.substr(0, slot)).append(subject_).append(reason.substr(slot + 2));
  }
  return rejection;
}

// Numbers ------------------------------------------------------------------

// Numbers are rejected where the grammar breaks; the reason names what is
// there, as far as the bytes around that place tell. Only rejections pay for
// this.
bool JsonCursor::reject_number(const char* start, const char* stop, const char* if_no_number) {
  const char* after_sign = start != end_ && *start == '-' ? start + 1 : start;
  const auto word_follows = [&](std::string_view word) {
    if (static_cast<std::size_t>(end_ - after_sign) < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if ((after_sign[i] | 0x20) != word[i]) return false;
    }
    return true;
  };
  if (stop == after_sign && (word_follows("nan") || word_follows("inf"))) {
    return reject_at(stop, "NaN and Infinity are not JSON numbers");
  }
  if (stop == start && start != end_ && *start == '+') {
    return reject_at(stop, "a JSON number has no plus sign");
  }
  if (stop == after_sign && stop != end_ && *stop == '.') {
    return reject_at(stop, "a JSON number needs a digit before '.'");
  }
  if (stop == start) return reject_at(start, if_no_number);
  switch (stop[-1]) {
    case '-':
      if (stop - 1 == start) return reject_at(stop, "a minus sign without digits");
      [[fallthrough]];
    case 'e':
    case 'E':
    case '+': return reject_at(stop, "an exponent without digits");
    case '.': return reject_at(stop, "a JSON number needs a digit after '.'");
    default: return reject_at(stop, "a number JSON does not allow");
  }
}

bool JsonCursor::read_index(std::uint32_t& value, std::string_view field) {
  const NumberScan scan = scan_number_text(p_, end_);
  if (!scan.valid) return reject_number(p_, scan.end);
  switch (check_index(scan, value)) {
    case IndexCheck::kOk: p_ = scan.end; return true;
    case IndexCheck::kNegative: return reject("{} is negative", field);
    case IndexCheck::kNotAnInteger: return reject("{} is not a plain integer (no fraction, no exponent)", field);
    case IndexCheck::kTooLarge: return reject("{} is above 4294967295", field);
    case IndexCheck::kTooSmall: break;  // signed indices only
  }
  return reject("{} is not a plain integer (no fraction, no exponent)", field);
}

bool JsonCursor::read_signed_index(std::int64_t& value, std::string_view field) {
  const NumberScan scan = scan_number_text(p_, end_);
  if (!scan.valid) return reject_number(p_, scan.end);
  switch (check_signed_index(scan, value)) {
    case IndexCheck::kOk: p_ = scan.end; return true;
    case IndexCheck::kTooLarge: return reject("{} is above 4294967295", field);
    case IndexCheck::kTooSmall: return reject("{} is below -4294967295", field);
    case IndexCheck::kNegative:
    case IndexCheck::kNotAnInteger: break;
  }
  return reject("{} is not a plain integer (no fraction, no exponent)", field);
}

// Strings ------------------------------------------------------------------

bool JsonCursor::skip_plain_characters() {
  for (;;) {
    while (p_ != end_ && !is_string_stop(*p_)) ++p_;
    if (p_ == end_ || static_cast<unsigned char>(*p_) < 0x80) return true;
    if (!checking_utf8_) {
      ++p_;
      continue;
    }
    const std::size_t length = utf8_sequence_length(reinterpret_cast<const unsigned char*>(p_),
                                                    static_cast<std::size_t>(end_ - p_));
    if (length == 0) return reject("invalid UTF-8 in a string");
    p_ += length;  // continuation bytes are never quotation marks or escapes
  }
}

bool JsonCursor::simple_escape(char& decoded) {
  switch (peek()) {
    case '"': decoded = '"'; return true;
    case '\\': decoded = '\\'; return true;
    case '/': decoded = '/'; return true;
    case 'b': decoded = '\b'; return true;
    case 'f': decoded = '\f'; return true;
    case 'n': decoded = '\n'; return true;
    case 'r': decoded = '\r'; return true;
    case 't': decoded = '\t'; return true;
    default: return false;
  }
}

bool JsonCursor::read_string(std::string_view& text) {
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
    if (p_ == end_) return reject(kUnclosedString);
    const char c = *p_;
    if (c == '"') {
      ++p_;
      text = decode_buffer_;
      return true;
    }
    if (c != '\\') {
      const char* run = p_;
      if (!skip_plain_characters()) return false;
      if (p_ == run) return reject(kRawControl);
      decode_buffer_.append(run, p_);
      continue;
    }
    const char* escape = p_;
    ++p_;
    char decoded;
    if (simple_escape(decoded)) {
      decode_buffer_ += decoded;
      ++p_;
    } else if (peek() == 'u') {
      ++p_;
      if (!read_unicode_escape(decode_buffer_)) return false;
    } else {
      return reject_at(escape, kBadEscape);
    }
  }
}

// Decodes the escape after "\u" and appends the character; a high surrogate
// must be completed by a low one in the escape that follows at once.
bool JsonCursor::read_unicode_escape(std::string& out) {
  const char* escape = p_ - 2;
  std::uint32_t unit;
  if (!read_hex4(unit)) return false;
  if (is_low_surrogate(unit)) return reject_at(escape, "unpaired surrogate escape");
  if (is_high_surrogate(unit)) {
    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') {
      return reject_at(escape, "unpaired surrogate escape");
    }
    p_ += 2;
    std::uint32_t low;
    if (!read_hex4(low)) return false;
    if (!is_low_surrogate(low)) return reject_at(escape, "unpaired surrogate escape");
    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  append_utf8(out, unit);
  return true;
}

bool JsonCursor::read_hex4(std::uint32_t& code_unit) {
  std::uint32_t result = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = p_ + i != end_ ? hex_value(p_[i]) : -1;
    if (digit < 0) return reject_at(p_ - 2, kBadEscape);
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
bool JsonCursor::skip_value() {
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
        const NumberScan scan = scan_number_text<false>(p_, end_);
        if (!scan.valid) return reject_number(p_, scan.end, "expected a value");
        p_ = scan.end;
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
      if (c != ',') return reject(closers_.back() == '}' ? "expected ',' or '}'" : "expected ',' or ']'");
      ++p_;
      skip_whitespace();
      if (closers_.back() == '}' && !skip_member_key()) return false;
      break;
    }
  }
}

bool JsonCursor::skip_member_key() {
  if (peek() != '"') return reject("expected a string key");
  if (!skip_string()) return false;
  skip_whitespace();
  if (peek() != ':') return reject("expected ':'");
  ++p_;
  skip_whitespace();
  return true;
}

// A string inside a skipped value: escapes are checked, and a \u escape only
// needs four hexadecimal digits (surrogates may stand unpaired).
bool JsonCursor::skip_string() {
  ++p_;
  for (;;) {
    if (!skip_plain_characters()) return false;
    if (p_ == end_) return reject(kUnclosedString);
    const char c = *p_;
    if (c == '"') {
      ++p_;
      return true;
    }
    if (c != '\\') return reject(kRawControl);
    const char* escape = p_;
    ++p_;
    char decoded;
    if (simple_escape(decoded)) {
      ++p_;
    } else if (peek() == 'u') {
      ++p_;
      std::uint32_t unit;
      if (!read_hex4(unit)) return false;
    } else {
      return reject_at(escape, kBadEscape);
    }
  }
}

bool JsonCursor::skip_literal(std::string_view word) {
  if (static_cast<std::size_t>(end_ - p_) < word.size() ||
      std::string_view(p_, word.size()) != word) {
    return reject("expected a value");
  }
  p_ += word.size();
  return true;
}

}  // namespace ondravane
