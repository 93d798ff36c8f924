// A cursor over the JSON text of one line: whitespace, punctuation, strings
// with their escapes (and the UTF-8 inside them), numbers, and skipping whole
// values without recursion. It knows nothing of the records a line holds;
// the record grammar (line_parser) drives it.
//
// Every operation returns false when the text is rejected, after noting
// where and why. The note is written only on the rejecting paths, so
// accepting a line pays nothing for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "converter/json/number_conversion.h"
#include "converter/json/rejection.h"

namespace ondravane {

class JsonCursor {
 public:
  // Starts on `text`. With `check_utf8`, the bytes of every string that are
  // not ASCII must also form well-formed UTF-8.
  void reset(std::string_view text, bool check_utf8);

  char peek() const { return p_ != end_ ? *p_ : '\0'; }
  bool at_end() const { return p_ == end_; }
  const char* position() const { return p_; }
  const char* text_end() const { return end_; }
  // Moves to `at`, a position within the text at or after the cursor.
  void move_to(const char* at) { p_ = at; }
  // Byte offset from the start of the text, and a jump to one (at most the
  // text's length).
  std::size_t offset() const { return static_cast<std::size_t>(p_ - begin_); }
  void seek(std::size_t offset) { p_ = begin_ + offset; }
  // The text from `offset` to the cursor.
  std::string_view text_since(std::size_t offset) const {
    return {begin_ + offset, static_cast<std::size_t>(p_ - begin_) - offset};
  }
  // `length` bytes of the text from `offset`.
  std::string_view text_at(std::size_t offset, std::size_t length) const { return {begin_ + offset, length}; }
  void advance() { ++p_; }
  void skip_whitespace() {
    while (p_ != end_ && is_whitespace(*p_)) ++p_;
  }
  // Consumes ", " when a byte other than whitespace follows it: the
  // separator of the elements of most arrays, taken in one step where
  // skipping whitespace, then looking for ']' and ',' and skipping again
  // took three times the instructions.
  bool consume_comma_space() {
    if (end_ - p_ < 3 || p_[0] != ',' || p_[1] != ' ' || is_whitespace(p_[2])) return false;
    p_ += 2;
    return true;
  }
  // Consumes `c` when it is the next byte.
  bool consume(char c) {
    if (peek() != c) return false;
    ++p_;
    return true;
  }

  // At a quotation mark: reads the string with its escapes decoded. `text`
  // views either the line itself or a buffer valid until the next string.
  bool read_string(std::string_view& text);
  // At a number: reads and converts it. Inline: it runs for every value.
  bool read_number(double& value) {
    return read_number(value, [](double, const NumberScan&, const char*) {});
  }
  // The same, then `seen(value, scan, start)`: the value with the scan of
  // its text, which starts at `start`.
  template <typename Seen>
  bool read_number(double& value, Seen&& seen) {
    const NumberScan scan = scan_number_text(p_, end_);
    if (!scan.valid) return reject_number(p_, scan.end);
    Conversion conversion = convert_common_number(scan, value);
    if (conversion == Conversion::kUncommon) {
      conversion = convert_number_text(p_, end_, value) ? Conversion::kDone : Conversion::kOutOfRange;
    }
    if (conversion == Conversion::kOutOfRange) return reject("number out of range");
    seen(value, scan, p_);
    p_ = scan.end;
    return true;
  }
  // At a number: checks it, range included, without converting it.
  bool check_number() {
    const NumberScan scan = scan_number_text<false>(p_, end_);
    if (!scan.valid) return reject_number(p_, scan.end);
    // Only a number that may be too large needs its digits after all.
    if (!number_cannot_overflow(scan) && !number_text_in_range(p_, end_)) {
      return reject("number out of range");
    }
    p_ = scan.end;
    return true;
  }
  // At a number: reads a plain unsigned 32-bit integer; `field` names it in
  // the rejection, and must outlive it.
  bool read_index(std::uint32_t& value, std::string_view field);
  // The same with a minus sign allowed, from -4294967295 to 4294967295.
  bool read_signed_index(std::int64_t& value, std::string_view field);
  // At any value: checks its syntax and steps over it. Strings in it only
  // need four hexadecimal digits after \u (surrogates may stand unpaired).
  bool skip_value();

  // Notes a rejection at the cursor or at `at` and returns false. In
  // `reason`, "{}" stands for `subject` (a static text such as a key).
  bool reject(const char* reason, std::string_view subject = {}) {
    return reject_at(p_, reason, subject);
  }
  bool reject_at(const char* at, const char* reason, std::string_view subject = {});

  // The last rejection noted since reset().
  Rejection rejection() const;
  // Whether the last rejection was noted at `at`.
  bool rejected_at(const char* at) const { return rejected_at_ == at; }

 private:
  static bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

  // Advances over plain string characters, up to a quotation mark, reverse
  // solidus, control character or the end; false on a malformed UTF-8
  // sequence when checking UTF-8.
  bool skip_plain_characters();
  bool read_unicode_escape(std::string& out);
  bool read_hex4(std::uint32_t& code_unit);
  // After a reverse solidus: the single-character escapes.
  bool simple_escape(char& decoded);
  bool skip_string();
  bool skip_member_key();
  bool skip_literal(std::string_view word);
  // `if_no_number`: the reason when nothing there looks like a number.
  bool reject_number(const char* start, const char* stop, const char* if_no_number = "expected a number");

  const char* begin_ = nullptr;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  bool checking_utf8_ = false;
  std::string decode_buffer_;
  std::vector<char> closers_;  // the open containers of a skipped value

  const char* rejected_at_ = nullptr;
  const char* reason_ = "";
  std::string_view subject_;
};

}  // namespace ondravane
