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

PiecePlace piece_between(std::size_t start, std::size_t end) {
  return {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start)};
}

// Moves the collected elements into a vector of exactly their number.
template <typename T>
std::vector<T> take_exact(std::vector<T>& scratch) {
  std::vector<T> out(std::make_move_iterator(scratch.begin()), std::make_move_iterator(scratch.end()));
  scratch.clear();
  return out;
}

}  // namespace

std::optional<Activation> LineParser::from_line(std::string_view line, LayerRetention retention,
                                                StringUtf8 strings, const LayerChoice& layers) {
  retention_ = retention;
  layers_ = &layers;
  Activation activation;
  const bool check_utf8 = strings == StringUtf8::kChecked;
  if (!walk_line(line, check_utf8, [&] { return parse_activation(activation); })) return std::nullopt;
  return activation;
}

bool LineParser::survey(std::string_view line, LineShape& shape, const LayerChoice& layers) {
  layers_ = &layers;
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

bool LineParser::index_unchecked_utf8(std::string_view line, bool keep_tokens,
                                      const LayerChoice& layers, bool for_copy) {
  keep_tokens_ = keep_tokens;
  layers_ = &layers;
  for_copy_ = for_copy;
  convert_first_layer_ = for_copy && !layers.by_index();
  pieces_per_occurrence_ = layers.count() + (keep_tokens ? 0 : 1);
  indexed_pieces_.clear();
  indexed_prints_.clear();
  indexed_values_.clear();
  indexed_value_starts_.clear();
  indexed_value_ends_.clear();
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

bool LineParser::read_values(std::string_view text, std::uint32_t offset, std::vector<double>& values,
                             ValueListText& list_text, std::size_t& end) {
  cursor_.reset(text, false);
  list_text.clear();
  if (offset >= text.size()) return false;
  cursor_.seek(offset);
  const char* const readable_end = text.data() + text.size();
  const bool read = read_number_list(values, [&](double value, const NumberScan& scan, const char* start) {
    list_text.add(value, scan, start, readable_end);
  });
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
      "index", "values", [&] { return read_layer_index(layer.index); },
      [&] { return parse_values(layer.values); });
}

bool LineParser::check_values(std::size_t& length) {
  length = 0;
  // Most lists are proved at once; the rest are walked number by number.
  const char* list_end;
  if (cursor_.peek() == '[' && check_number_list(cursor_.position(), cursor_.text_end(), list_end, length)) {
    cursor_.move_to(list_end);
    return true;
  }
  return parse_array([&] {
    ++length;
    return cursor_.check_number();
  });
}

bool LineParser::check_layer(SeenLayer& seen) {
  return parse_record(
      "index", "values", [&] { return read_layer_index(seen.index); },
      [&] {
        seen.values_at = cursor_.offset();
        if (!check_values(seen.length)) return false;
        seen.values_end = cursor_.offset();
        return true;
      });
}

bool LineParser::convert_layer(SeenLayer& seen) {
  return parse_record(
      "index", "values", [&] { return read_layer_index(seen.index); },
      [&] {
        seen.values_at = cursor_.offset();
        const bool read = parse_array([&] {
          double value;
          if (!cursor_.read_number(value)) return false;
          indexed_values_.push_back(value);
          return true;
        });
        seen.values_end = cursor_.offset();
        return read;
      });
}

bool LineParser::read_layer_index(std::int64_t& index) {
  if (layers_->by_index()) return cursor_.read_signed_index(index, kLayerIndex);
  std::uint32_t unsigned_index;
  if (!cursor_.read_index(unsigned_index, kLayerIndex)) return false;
  index = unsigned_index;
  return true;
}

// The shape of a line, walked with the same records and fields as above.
bool LineParser::survey_activation(LineShape& shape) {
  return parse_record(
      "linex_index", "features", [&] { return cursor_.read_index(shape.linex_index, kSentenceNumber); },
      [&] {
        shape.occurrences.clear();
        shape.chosen_lengths.clear();
        return parse_array([&] {
          shape.chosen_lengths.resize(shape.chosen_lengths.size() + (layers_->by_index() ? layers_->count() : 0),
                                      LineShape::kMissing);
          return survey_feature(shape.occurrences.emplace_back(), shape.chosen_lengths);
        });
      });
}

bool LineParser::survey_feature(OccurrenceShape& occurrence, std::vector<std::size_t>& chosen_lengths) {
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
        const std::size_t first_slot = chosen_lengths.size() - (layers_->by_index() ? layers_->count() : 0);
        return parse_array([&] {
          SeenLayer seen;
          if (!check_layer(seen)) return false;
          if (layers_->by_index()) {
            for (std::size_t slot = 0; slot < layers_->count(); ++slot) {
              std::size_t& chosen = chosen_lengths[first_slot + slot];
              if (layers_->indices[slot] == seen.index && chosen == LineShape::kMissing) chosen = seen.length;
            }
          }
          if (++occurrence.layer_count == 1) occurrence.first_layer_length = seen.length;
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
    if (cursor_.consume_comma_space()) continue;
    cursor_.skip_whitespace();
    if (cursor_.consume(']')) return true;
    if (!cursor_.consume(',')) return cursor_.reject("expected ',' or ']'");
    cursor_.skip_whitespace();
  }
}

// A feature of the indexing walk: every layer checked, nothing converted but,
// for a copy, the first layer.
bool LineParser::index_feature() {
  const std::size_t number = indexed_prints_.size();
  const std::size_t first_piece = indexed_pieces_.size();
  indexed_pieces_.resize(first_piece + pieces_per_occurrence_);
  const std::size_t first_layer_piece = first_piece + (keep_tokens_ ? 0 : 1);
  // For a copy, lists are converted while the line holds few values.
  const std::size_t values_before = indexed_values_.size();
  const bool converting = convert_first_layer_ && values_before < kMostConvertedValues;
  const bool parsed = parse_record(
      "token", "layers",
      [&] {
        const std::size_t start = cursor_.offset();
        std::string_view text;
        if (!read_token(text)) return false;
        if (keep_tokens_) {
          if (indexed_tokens_.size() <= number) indexed_tokens_.resize(number + 1);
          indexed_tokens_[number].assign(text);
        } else {
          indexed_pieces_[first_piece] = piece_between(start, cursor_.offset());
        }
        return true;
      },
      [&] {
        bool first = true;
        return parse_array([&] {
          SeenLayer seen;
          if (converting && first) {
            first = false;
            if (!convert_layer(seen)) return false;
            indexed_pieces_[first_layer_piece] = piece_between(seen.values_at, seen.values_end);
            return true;
          }
          if (!check_layer(seen)) return false;
          if (layers_->by_index()) {
            for (std::size_t slot = 0; slot < layers_->count(); ++slot) {
              PiecePlace& piece = indexed_pieces_[first_layer_piece + slot];
              if (layers_->indices[slot] == seen.index && piece.offset == PiecePlace::kMissing) {
                piece = piece_between(seen.values_at, seen.values_end);
              }
            }
          } else if (std::exchange(first, false)) {
            indexed_pieces_[first_layer_piece] = piece_between(seen.values_at, seen.values_end);
          }
          return true;
        });
      });
  if (convert_first_layer_) {
    indexed_value_starts_.push_back(values_before);
    indexed_value_ends_.push_back(converting ? indexed_values_.size() : kNotConverted);
  }
  // Fingerprinted in the pieces' order, which need not be the line's.
  PiecePrints prints;
  for (std::size_t piece = first_piece; parsed && !for_copy_ && piece < indexed_pieces_.size(); ++piece) {
    const PiecePlace place = indexed_pieces_[piece];
    if (place.offset != PiecePlace::kMissing) prints.add(fingerprint(cursor_.text_at(place.offset, place.length)));
  }
  indexed_prints_.push_back(prints.value());
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
  if (retention_ == LayerRetention::kChosen) {
    if (!parse_array([&] { return keep_chosen_layer(); })) return false;
    layers = take_exact(layers_scratch_);
    return true;
  }
  bool first = true;
  const bool keep_all = retention_ == LayerRetention::kAll;
  const bool parsed = parse_array([&] {
    // Later layers are still checked in full, only not stored.
    const bool keep = first || keep_all;
    first = false;
    SeenLayer seen;
    return keep ? parse_layer(layers_scratch_.emplace_back()) : check_layer(seen);
  });
  if (!parsed) return false;
  layers = take_exact(layers_scratch_);
  return true;
}

bool LineParser::keep_chosen_layer() {
  // The index may follow the values, so the layer is checked first and its
  // values converted afterwards only when it is kept.
  SeenLayer seen;
  if (!check_layer(seen)) return false;
  bool chosen = false;
  for (std::int64_t index : layers_->indices) chosen = chosen || index == seen.index;
  for (const Layer& kept : layers_scratch_) chosen = chosen && kept.index != seen.index;
  if (!chosen) return true;
  const std::size_t after = cursor_.offset();
  cursor_.seek(seen.values_at);
  Layer& layer = layers_scratch_.emplace_back();
  layer.index = seen.index;
  const bool read = parse_values(layer.values);  // checked already, so it reads
  cursor_.seek(after);
  return read;
}

bool LineParser::parse_values(std::vector<double>& values) {
  if (!read_number_list(values_scratch_)) return false;
  values = take_exact(values_scratch_);
  return true;
}

bool LineParser::read_number_list(std::vector<double>& values) {
  return read_number_list(values, [](double, const NumberScan&, const char*) {});
}

template <typename Seen>
bool LineParser::read_number_list(std::vector<double>& values, Seen&& seen) {
  values.clear();
  return parse_array([&] {
    double value;
    if (!cursor_.read_number(value, seen)) return false;
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
