// The record grammar of a line: the three records in object or array form,
// walked to parse, to survey, to index, or to read one piece again.
#include "converter/line/line_parser.h"

#include <cstdint>
#include <iterator>
#include <utility>

#include "converter/json/number_list_check.h"
#include "support/fingerprint.h"

namespace ondravane {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kSentenceNumber = "sentence number 'linex_index'";
constexpr std::string_view kLayerIndex = "layer index 'index'";

// Moves the collected elements into a vector of exactly their number.
template <typename T>
std::vector<T> take_exact(std::vector<T>& scratch) {
  std::vector<T> out(std::make_move_iterator(scratch.begin()), std::make_move_iterator(scratch.end()));
  scratch.clear();
  return out;
}

}  // namespace

std::optional<Activation> LineParser::from_line(std::string_view line, LayerRetention retention,
                                                StringUtf8 strings) {
  retention_ = retention;
  Activation activation;
  const bool check_utf8 = strings == StringUtf8::kChecked;
  if (!walk_line(line, check_utf8, [&] { return parse_activation(activation); })) return std::nullopt;
  return activation;
}

bool LineParser::survey(std::string_view line, LineShape& shape) {
  return walk_line(line, true, [&] { return survey_activation(shape); });
}

template <typename Record>
bool LineParser::walk_line(std::string_view line, bool check_utf8, Record&& record) {
  cursor_.reset(line, check_utf8);
  cursor_.skip_whitespace();
  if (cursor_.at_end()) return cursor_.reject_at(line.data(), "empty line");
  const char* start = cursor_.position();
  if (!record()) {
    // Two common layouts, told apart from other faults: a byte-order mark,
    // which keeps a record from starting, and a record spread over several
    // lines (pretty-printed), or cut short, which the line ends inside of.
    const char* end = line.data() + line.size();
    if (cursor_.rejected_at(start) && std::string_view(start, end - start).starts_with(kByteOrderMark)) {
      cursor_.reject_at(start, "byte-order mark (the file must be UTF-8 without one)");
    } else if (cursor_.rejected_at(end)) {
      cursor_.reject_at(end, "the line ends inside the record (each record must stand whole on one line)");
    }
    return false;
  }
  cursor_.skip_whitespace();
  if (!cursor_.at_end()) return cursor_.reject("text after the record");
  return true;
}

bool LineParser::index_unchecked_utf8(std::string_view line, bool keep_tokens) {
  keep_tokens_ = keep_tokens;
  indexed_places_.clear();
  return walk_line(line, true, [&] {
    return parse_record(
        "linex_index", "features",
        [&] { return cursor_.read_index(indexed_linex_index_, kSentenceNumber); },
        [&] { return parse_array([&] { return index_feature(); }); });
  });
}

bool LineParser::read_token(std::string_view text, std::uint32_t offset, std::string& token,
                            std::size_t& end) {
  cursor_.reset(text, false);
  if (offset >= text.size()) return false;
  cursor_.seek(offset);
  std::string_view decoded;
  if (cursor_.peek() != '"' || !cursor_.read_string(decoded)) return false;
  token.assign(decoded);
  end = cursor_.offset();
  return true;
}

bool LineParser::read_values(std::string_view text, std::uint32_t offset,
                             std::vector<double>& values, std::size_t& end) {
  cursor_.reset(text, false);
  if (offset >= text.size()) return false;
  cursor_.seek(offset);
  const bool read = read_number_list(values);
  end = cursor_.offset();
  return read;
}

// Records ------------------------------------------------------------------

bool LineParser::parse_activation(Activation& activation) {
  return parse_record(
      "linex_index", "features",
      [&] { return cursor_.read_index(activation.linex_index, kSentenceNumber); },
      [&] { return parse_features(activation.features); });
}

bool LineParser::parse_feature(Feature& feature) {
  return parse_record(
      "token", "layers", [&] { return parse_token(feature.token); },
      [&] { return parse_layers(feature.layers); });
}

bool LineParser::parse_layer(Layer& layer) {
  return parse_record(
      "index", "values", [&] { return cursor_.read_index(layer.index, kLayerIndex); },
      [&] { return parse_values(layer.values); });
}

bool LineParser::check_layer(std::size_t& length, std::uint32_t* values_at, std::uint32_t* values_length,
                             std::uint32_t* print) {
  std::uint32_t index;
  length = 0;
  return parse_record(
      "index", "values", [&] { return cursor_.read_index(index, kLayerIndex); },
      [&] {
        const std::size_t start = cursor_.offset();
        if (values_at != nullptr) *values_at = static_cast<std::uint32_t>(start);
        // Most lists are proved at once; the rest are walked number by number.
        const char* list_end;
        if (cursor_.peek() == '[' &&
            check_number_list(cursor_.position(), cursor_.text_end(), list_end, length)) {
          cursor_.move_to(list_end);
        } else if (!parse_array([&] {
                     ++length;
                     return cursor_.check_number();
                   })) {
          return false;
        }
        if (values_length != nullptr) *values_length = static_cast<std::uint32_t>(cursor_.offset() - start);
        if (print != nullptr) *print = fingerprint(cursor_.text_since(start));
        return true;
      });
}

// The shape of a line, walked with the same records and fields as above.
bool LineParser::survey_activation(LineShape& shape) {
  return parse_record(
      "linex_index", "features", [&] { return cursor_.read_index(shape.linex_index, kSentenceNumber); },
      [&] {
        shape.occurrences.clear();
        return parse_array([&] { return survey_feature(shape.occurrences.emplace_back()); });
      });
}

bool LineParser::survey_feature(OccurrenceShape& occurrence) {
  occurrence.column = cursor_.offset();
  return parse_record(
      "token", "layers",
      [&] {
        std::string_view text;
        if (!read_token(text)) return false;
        occurrence.token.assign(text);
        return true;
      },
      [&] {
        occurrence.layer_count = 0;
        occurrence.first_layer_length = 0;
        return parse_array([&] {
          std::size_t length;
          if (!check_layer(length)) return false;
          if (++occurrence.layer_count == 1) occurrence.first_layer_length = length;
          return true;
        });
      });
}

template <typename First, typename Second>
bool LineParser::parse_record(std::string_view first_key, std::string_view second_key, First&& first,
                              Second&& second) {
  const char c = cursor_.peek();
  if (c == '{') return parse_record_object(first_key, second_key, first, second);
  if (c == '[') return parse_record_pair(first, second);
  return cursor_.reject("expected an object or an array");
}

template <typename First, typename Second>
bool LineParser::parse_record_object(std::string_view first_key, std::string_view second_key,
                                     First&& first, Second&& second) {
  cursor_.advance();
  cursor_.skip_whitespace();
  // The empty object is rejected: its keys are missing.
  if (cursor_.peek() == '}') return cursor_.reject("missing key '{}'", first_key);
  if (cursor_.peek() != '"') return cursor_.reject("expected a string key");
  bool seen_first = false;
  bool seen_second = false;
  for (;;) {
    const char* key_start = cursor_.position();
    std::string_view key;
    if (!cursor_.read_string(key)) return false;
    cursor_.skip_whitespace();
    if (!cursor_.consume(':')) return cursor_.reject("expected ':'");
    cursor_.skip_whitespace();
    if (key == first_key) {
      if (seen_first) return cursor_.reject_at(key_start, "duplicate key '{}'", first_key);
      if (!first()) return false;
      seen_first = true;
    } else if (key == second_key) {
      if (seen_second) return cursor_.reject_at(key_start, "duplicate key '{}'", second_key);
      if (!second()) return false;
      seen_second = true;
    } else if (!cursor_.skip_value()) {
      return false;
    }
    cursor_.skip_whitespace();
    if (cursor_.peek() == '}') {
      if (!seen_first) return cursor_.reject("missing key '{}'", first_key);
      if (!seen_second) return cursor_.reject("missing key '{}'", second_key);
      cursor_.advance();
      return true;
    }
    if (!cursor_.consume(',')) return cursor_.reject("expected ',' or '}'");
    cursor_.skip_whitespace();
    if (cursor_.peek() != '"') return cursor_.reject("expected a string key");
  }
}

template <typename First, typename Second>
bool LineParser::parse_record_pair(First&& first, Second&& second) {
  cursor_.advance();
  cursor_.skip_whitespace();
  if (!first()) return false;
  cursor_.skip_whitespace();
  if (!cursor_.consume(',')) return cursor_.reject("expected ',' before the second of two fields");
  cursor_.skip_whitespace();
  if (!second()) return false;
  cursor_.skip_whitespace();
  if (!cursor_.consume(']')) return cursor_.reject("expected ']' after the second of two fields");
  return true;
}

template <typename Element>
bool LineParser::parse_array(Element&& element) {
  if (!cursor_.consume('[')) return cursor_.reject("expected an array");
  cursor_.skip_whitespace();
  if (cursor_.consume(']')) return true;
  for (;;) {
    if (!element()) return false;
    cursor_.skip_whitespace();
    if (cursor_.consume(']')) return true;
    if (!cursor_.consume(',')) return cursor_.reject("expected ',' or ']'");
    cursor_.skip_whitespace();
  }
}

// A feature of the indexing walk: every layer checked, nothing converted.
bool LineParser::index_feature() {
  const std::size_t number = indexed_places_.size();
  indexed_places_.emplace_back();
  std::uint32_t token_print = 0;
  std::uint32_t values_print = 0;
  const bool parsed = parse_record(
      "token", "layers",
      [&] {
        const std::size_t start = cursor_.offset();
        indexed_places_[number].token = static_cast<std::uint32_t>(start);
        std::string_view text;
        if (!read_token(text)) return false;
        indexed_places_[number].token_length = static_cast<std::uint32_t>(cursor_.offset() - start);
        if (keep_tokens_) {
          if (indexed_tokens_.size() <= number) indexed_tokens_.resize(number + 1);
          indexed_tokens_[number].assign(text);
        } else {
          token_print = fingerprint(cursor_.text_since(start));
        }
        return true;
      },
      [&] {
        std::uint32_t* first = &values_print;
        // Only the first layer is read again.
        return parse_array([&] {
          std::size_t length;
          OccurrencePlace& place = indexed_places_[number];
          const bool read_again = first != nullptr;
          return check_layer(length, read_again ? &place.values : nullptr,
                             read_again ? &place.values_length : nullptr, std::exchange(first, nullptr));
        });
      });
  indexed_places_[number].fingerprint =
      keep_tokens_ ? values_print : combined_fingerprint(token_print, values_print);
  return parsed;
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
    std::size_t length;
    return keep ? parse_layer(layers_scratch_.emplace_back()) : check_layer(length);
  });
  if (!parsed) return false;
  layers = take_exact(layers_scratch_);
  return true;
}

bool LineParser::parse_values(std::vector<double>& values) {
  if (!read_number_list(values_scratch_)) return false;
  values = take_exact(values_scratch_);
  return true;
}

bool LineParser::read_number_list(std::vector<double>& values) {
  values.clear();
  return parse_array([&] {
    double value;
    if (!cursor_.read_number(value)) return false;
    values.push_back(value);
    return true;
  });
}

bool LineParser::parse_token(std::string& token) {
  std::string_view text;
  if (!read_token(text)) return false;
  token = std::string(text);  // sized exactly, unlike an assignment into the old buffer
  return true;
}

bool LineParser::read_token(std::string_view& text) {
  if (cursor_.peek() != '"') return cursor_.reject("expected a string");
  return cursor_.read_string(text);
}

}  // namespace ondravane
