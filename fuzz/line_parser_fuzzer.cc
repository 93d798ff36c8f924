// Fuzzes the activation line parser against a second, deliberately plain
// reading of the same rules, and checks that the verdict and the record do not
// depend on layout: whitespace between tokens and the order of object members.
//
// The reference below is written independently of the parser: it builds a
// generic JSON tree with its own tokenizer, checks the record shapes on the
// tree, and converts numbers with a literal transcription of the
// significand/exponent rules (the reference shared with the unit tests).
// A disagreement means one of the two is wrong.
//
// Each input runs on one of the instruction sets the processor supports,
// picked by the input's hash, so that every version of the list check is
// held to the same reference.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/line/line_parser.h"
#include "converter/records.h"
#include "converter/json/utf8.h"
#include "number_reference.h"
#include "record_helpers.h"
#include "support/instruction_set.h"

namespace {

using ondravane::Activation;
using ondravane::Feature;
using ondravane::Layer;
using ondravane::LayerRetention;

[[noreturn]] void report(const char* what, std::string_view line) {
  std::fprintf(stderr, "line parser invariant broken: %s\nline (%zu bytes): %.*s\n", what, line.size(),
               static_cast<int>(line.size() < 2000 ? line.size() : 2000), line.data());
  std::abort();
}

using reference::is_digit;

// ---------------------------------------------------------------------------
// Generic JSON tree.

struct Member;

struct Node {
  enum Kind { kNull, kTrue, kFalse, kNumber, kString, kArray, kObject } kind = kNull;
  std::string raw;                     // number text, or string contents between the quotes
  std::optional<std::string> decoded;  // strings: the strict decoding, if surrogates pair up
  std::vector<Member> members;  // objects, in written order
  std::vector<Node> elements;   // arrays
};

struct Member {
  Node key;
  Node value;
};

void encode_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

class TreeReader {
 public:
  explicit TreeReader(std::string_view text) : text_(text) {}

  std::optional<Node> read_line() {
    Node node;
    skip_space();
    if (!read_value(node, 0)) return std::nullopt;
    skip_space();
    if (pos_ != text_.size()) return std::nullopt;
    return node;
  }
  // Whether the line nests deeper than the reader follows, so that it has no
  // verdict on it (the parser skips any depth without recursion).
  bool too_deep() const { return too_deep_; }

 private:
  // A recursion the stack holds in every build, sanitizers included; a
  // fuzz input of 8 KiB can nest 4,000 deep.
  static constexpr int kMaxDepth = 500;

  char at() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  bool done() const { return pos_ >= text_.size(); }
  void skip_space() {
    while (!done() && (at() == ' ' || at() == '\t' || at() == '\r' || at() == '\n')) ++pos_;
  }

  bool read_value(Node& node, int depth) {
    if (depth > kMaxDepth) too_deep_ = true;
    if (too_deep_ || done()) return false;
    const char c = at();
    if (c == '{') return read_object(node, depth);
    if (c == '[') return read_array(node, depth);
    if (c == '"') return read_string(node);
    for (auto [word, kind] : {std::pair{std::string_view("null"), Node::kNull},
                              std::pair{std::string_view("true"), Node::kTrue},
                              std::pair{std::string_view("false"), Node::kFalse}}) {
      if (text_.substr(pos_, word.size()) == word) {
        node.kind = kind;
        pos_ += word.size();
        return true;
      }
    }
    // A number runs as far as number characters go; what may follow a value
    // (whitespace and punctuation) is never one of them.
    const std::size_t first = pos_;
    while (!done() && (is_digit(at()) || at() == '-' || at() == '+' || at() == '.' || at() == 'e' ||
                       at() == 'E')) {
      ++pos_;
    }
    node.kind = Node::kNumber;
    node.raw = std::string(text_.substr(first, pos_ - first));
    return reference::is_json_number(node.raw);
  }

  bool read_array(Node& node, int depth) {
    node.kind = Node::kArray;
    ++pos_;
    skip_space();
    if (at() == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      node.elements.emplace_back();
      if (!read_value(node.elements.back(), depth + 1)) return false;
      skip_space();
      if (at() == ']') {
        ++pos_;
        return true;
      }
      if (at() != ',') return false;
      ++pos_;
      skip_space();
    }
  }

  bool read_object(Node& node, int depth) {
    node.kind = Node::kObject;
    ++pos_;
    skip_space();
    if (at() == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      node.members.emplace_back();
      auto& [key, value] = node.members.back();
      if (at() != '"' || !read_string(key)) return false;
      skip_space();
      if (at() != ':') return false;
      ++pos_;
      skip_space();
      if (!read_value(value, depth + 1)) return false;
      skip_space();
      if (at() == '}') {
        ++pos_;
        return true;
      }
      if (at() != ',') return false;
      ++pos_;
      skip_space();
    }
  }

  // Checks a string loosely (any four hex digits after \u) and records its
  // strict decoding when every surrogate escape is properly paired.
  bool read_string(Node& node) {
    node.kind = Node::kString;
    ++pos_;
    const std::size_t first = pos_;
    std::string out;
    bool strict = true;
    std::optional<std::uint32_t> pending_high;
    for (;;) {
      if (done()) return false;
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') break;
      if (c < 0x20) return false;
      if (c != '\\') {
        if (pending_high) strict = false;
        pending_high.reset();
        out.push_back(static_cast<char>(c));
        ++pos_;
        continue;
      }
      ++pos_;
      if (done()) return false;
      const char escape = text_[pos_++];
      if (escape == 'u') {
        if (text_.size() - pos_ < 4) return false;
        std::uint32_t unit = 0;
        for (int i = 0; i < 4; ++i) {
          const char h = text_[pos_ + i];
          unit <<= 4;
          if (h >= '0' && h <= '9') {
            unit |= static_cast<std::uint32_t>(h - '0');
          } else if (h >= 'a' && h <= 'f') {
            unit |= static_cast<std::uint32_t>(h - 'a' + 10);
          } else if (h >= 'A' && h <= 'F') {
            unit |= static_cast<std::uint32_t>(h - 'A' + 10);
          } else {
            return false;
          }
        }
        pos_ += 4;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          if (!pending_high) {
            strict = false;
          } else {
            encode_utf8(out, 0x10000 + ((*pending_high - 0xD800) << 10) + (unit - 0xDC00));
          }
          pending_high.reset();
        } else {
          if (pending_high) strict = false;
          pending_high.reset();
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            pending_high = unit;
          } else {
            encode_utf8(out, unit);
          }
        }
        continue;
      }
      if (pending_high) strict = false;
      pending_high.reset();
      switch (escape) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        default: return false;
      }
    }
    if (pending_high) strict = false;
    node.raw = std::string(text_.substr(first, pos_ - first));
    ++pos_;
    if (strict) node.decoded = std::move(out);
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool too_deep_ = false;
};

// ---------------------------------------------------------------------------
// Record shapes on the tree.

template <typename First, typename Second>
bool reference_record(const Node& node, std::string_view first_key, std::string_view second_key,
                      First first, Second second) {
  if (node.kind == Node::kArray) {
    return node.elements.size() == 2 && first(node.elements[0]) && second(node.elements[1]);
  }
  if (node.kind != Node::kObject) return false;
  int seen_first = 0;
  int seen_second = 0;
  for (const auto& [key, value] : node.members) {
    if (!key.decoded) return false;  // a record's own keys are decoded strictly
    if (*key.decoded == first_key) {
      if (++seen_first > 1 || !first(value)) return false;
    } else if (*key.decoded == second_key) {
      if (++seen_second > 1 || !second(value)) return false;
    }
  }
  return seen_first == 1 && seen_second == 1;
}

template <typename Index>
bool reference_index_node(const Node& node, Index& out) {
  if (node.kind != Node::kNumber) return false;
  const auto value = reference::json_index(node.raw);
  if (!value) return false;
  out = *value;
  return true;
}

bool reference_layer(const Node& node, Layer& layer) {
  return reference_record(
      node, "index", "values", [&](const Node& n) { return reference_index_node(n, layer.index); },
      [&](const Node& n) {
        if (n.kind != Node::kArray) return false;
        layer.values.clear();
        for (const Node& element : n.elements) {
          if (element.kind != Node::kNumber) return false;
          const auto value = reference::json_number_value(element.raw);
          if (!value) return false;
          layer.values.push_back(*value);
        }
        return true;
      });
}

bool reference_feature(const Node& node, Feature& feature) {
  return reference_record(
      node, "token", "layers",
      [&](const Node& n) {
        if (n.kind != Node::kString || !n.decoded) return false;
        feature.token = *n.decoded;
        return true;
      },
      [&](const Node& n) {
        if (n.kind != Node::kArray) return false;
        feature.layers.clear();
        for (const Node& element : n.elements) {
          if (!reference_layer(element, feature.layers.emplace_back())) return false;
        }
        return true;
      });
}

std::optional<Activation> reference_activation(const Node& node) {
  Activation activation;
  const bool accepted = reference_record(
      node, "linex_index", "features",
      [&](const Node& n) { return reference_index_node(n, activation.linex_index); },
      [&](const Node& n) {
        if (n.kind != Node::kArray) return false;
        activation.features.clear();
        for (const Node& element : n.elements) {
          if (!reference_feature(element, activation.features.emplace_back())) return false;
        }
        return true;
      });
  if (!accepted) return std::nullopt;
  return activation;
}

// ---------------------------------------------------------------------------
// Comparing records bit for bit: operator== treats 0 and -0 alike.

bool same_bits(const Activation& a, const Activation& b) {
  if (a.linex_index != b.linex_index || a.features.size() != b.features.size()) return false;
  for (std::size_t f = 0; f < a.features.size(); ++f) {
    const Feature& fa = a.features[f];
    const Feature& fb = b.features[f];
    if (fa.token != fb.token || fa.layers.size() != fb.layers.size()) return false;
    for (std::size_t l = 0; l < fa.layers.size(); ++l) {
      const Layer& la = fa.layers[l];
      const Layer& lb = fb.layers[l];
      if (la.index != lb.index || la.values.size() != lb.values.size()) return false;
      for (std::size_t v = 0; v < la.values.size(); ++v) {
        if (std::bit_cast<std::uint64_t>(la.values[v]) != std::bit_cast<std::uint64_t>(lb.values[v])) {
          return false;
        }
      }
    }
  }
  return true;
}

Activation first_layers_only(Activation activation) {
  for (Feature& feature : activation.features) {
    if (feature.layers.size() > 1) feature.layers.resize(1);
  }
  return activation;
}

// ---------------------------------------------------------------------------
// Writing the tree back with another layout.

class Layout {
 public:
  Layout(std::uint64_t seed, bool reorder) : state_(seed | 1), reorder_(reorder) {}

  std::string write(const Node& root) {
    out_.clear();
    space();
    node(root);
    space();
    return out_;
  }

 private:
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }

  void space() {
    static constexpr char kSpace[] = {' ', '\t', '\r', '\n'};
    for (std::uint64_t n = next() % 3; n > 0; --n) out_.push_back(kSpace[next() % 4]);
  }

  void node(const Node& n) {
    switch (n.kind) {
      case Node::kNull: out_ += "null"; break;
      case Node::kTrue: out_ += "true"; break;
      case Node::kFalse: out_ += "false"; break;
      case Node::kNumber: out_ += n.raw; break;
      case Node::kString:
        out_ += '"';
        out_ += n.raw;
        out_ += '"';
        break;
      case Node::kArray:
        out_ += '[';
        for (std::size_t i = 0; i < n.elements.size(); ++i) {
          if (i > 0) separator(',');
          space();
          node(n.elements[i]);
          space();
        }
        out_ += ']';
        break;
      case Node::kObject: {
        out_ += '{';
        const std::size_t count = n.members.size();
        // Reversed and rotated: every key changes places with another
        // whenever an object has two or more members.
        const std::size_t shift = count > 0 ? next() % count : 0;
        for (std::size_t i = 0; i < count; ++i) {
          const std::size_t at = reorder_ ? (count - 1 - i + shift) % count : i;
          if (i > 0) separator(',');
          space();
          node(n.members[at].key);
          space();
          out_ += ':';
          space();
          node(n.members[at].value);
          space();
        }
        out_ += '}';
        break;
      }
    }
  }

  void separator(char c) { out_ += c; }

  std::string out_;
  std::uint64_t state_;
  bool reorder_;
};

std::uint64_t seed_of(std::string_view text) {
  std::uint64_t hash = 1469598103934665603ULL;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return hash;
}

std::vector<ondravane::InstructionSet> supported_instruction_sets() {
  std::vector<ondravane::InstructionSet> sets;
  for (ondravane::InstructionSet set : ondravane::kInstructionSets) {
    if (ondravane::instruction_set_supported(set)) sets.push_back(set);
  }
  return sets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  static const std::vector<ondravane::InstructionSet> sets = supported_instruction_sets();
  std::optional<ondravane::ForcedInstructionSet> forced;
  if (!sets.empty()) forced.emplace(sets[(seed_of(line) >> 32) % sets.size()]);

  const std::optional<Activation> all = from_line(line, LayerRetention::kAll);
  const std::optional<Activation> first = from_line(line, LayerRetention::kFirstOnly);
  // The reader keeps one parser for a whole file: its reused buffers must not
  // carry anything from one line to the next.
  static ondravane::LineParser reused;
  const std::optional<Activation> again = parse_unchecked(reused, line, LayerRetention::kFirstOnly);

  if (all.has_value() != first.has_value() || first.has_value() != again.has_value()) {
    report("verdict depends on layer retention or parser reuse", line);
  }
  if (all && (!same_bits(first_layers_only(*all), *first) || !same_bits(*first, *again))) {
    report("kept first layers differ from the full record", line);
  }
  // The reader trusts an accepted line to be UTF-8 and checks only rejected
  // ones: the checking parse must accept exactly the UTF-8 lines that parse.
  const std::optional<Activation> checked = reused.from_line(line, LayerRetention::kFirstOnly);
  if (checked.has_value() != (first.has_value() && ondravane::is_valid_utf8(line))) {
    report("checking parse disagrees with parse and the UTF-8 check", line);
  }
  if (checked && !same_bits(*checked, *first)) report("checking parse gives a different record", line);
  // The check of a file surveys lines instead: same verdict, same rejection,
  // and the shape of the record the conversion reads.
  const ondravane::Rejection checked_rejection = reused.rejection();
  static ondravane::LineShape shape;
  if (reused.survey(line, shape) != checked.has_value()) report("survey and checking parse disagree", line);
  if (!checked && !(reused.rejection() == checked_rejection)) report("survey rejects elsewhere or otherwise", line);
  if (checked && all) {
    bool same_shape = shape.linex_index == all->linex_index && shape.occurrences.size() == all->features.size();
    for (std::size_t k = 0; same_shape && k < shape.occurrences.size(); ++k) {
      const Feature& feature = all->features[k];
      const ondravane::OccurrenceShape& occurrence = shape.occurrences[k];
      same_shape = occurrence.token == feature.token && occurrence.layer_count == feature.layers.size() &&
                   occurrence.first_layer_length == (feature.layers.empty() ? 0 : feature.layers[0].values.size());
    }
    if (!same_shape) report("survey's shape differs from the record", line);
  }

  // The first of two readings walks the same grammar without building the
  // record: the same verdict and rejection, and pieces from which the second
  // reading gets every token and first layer back, byte for byte.
  static ondravane::LineParser indexer;
  static ondravane::LineParser rereader;
  for (bool keep_tokens : {true, false}) {
    const bool indexed = indexer.index_unchecked_utf8(line, keep_tokens);
    if (indexed != checked.has_value()) report("index walk and checking parse disagree", line);
    if (!indexed && !(indexer.rejection() == checked_rejection)) {
      report("index walk explains a rejection differently", line);
    }
    if (!indexed) continue;
    const auto& pieces = indexer.indexed_pieces();
    const std::size_t per = indexer.indexed_pieces_per_occurrence();
    if (indexer.indexed_occurrences() != checked->features.size() || pieces.size() != per * checked->features.size()) {
      report("index walk misses occurrences", line);
    }
    if (indexer.indexed_linex_index() != checked->linex_index) report("index walk reads another sentence", line);
    std::string token;
    std::vector<double> values;
    for (std::size_t i = 0; i < checked->features.size(); ++i) {
      const Feature& feature = checked->features[i];
      if (keep_tokens && indexer.indexed_token(i) != feature.token) report("index walk decodes a token differently", line);
      const ondravane::PiecePlace layer = pieces[i * per + per - 1];
      if (feature.layers.empty() != (layer.offset == ondravane::PiecePlace::kMissing)) {
        report("index walk misplaces a layer-less occurrence", line);
      }
      std::size_t end = 0;
      if (!keep_tokens) {
        const ondravane::PiecePlace place = pieces[i * per];
        if (!rereader.read_token(line, place.offset, token, end) || token != feature.token ||
            end - place.offset != place.length) {
          report("second reading does not find the token where it was indexed", line);
        }
      }
      if (feature.layers.empty()) continue;
      const bool found = rereader.read_values(line, layer.offset, values, end) && end - layer.offset == layer.length;
      const Activation reread{0, {Feature{feature.token, {Layer{feature.layers[0].index, values}}}}};
      const Activation indexed_one{0, {Feature{feature.token, {feature.layers[0]}}}};
      if (!found || !same_bits(reread, indexed_one)) {
        report("second reading does not find the first layer where it was indexed", line);
      }
    }
  }
  // The walk for the copy of an input read once converts the first layers
  // instead: the same verdict, rejection and pieces, and the values the
  // checking parse read.
  {
    static ondravane::LineParser copier;
    const bool keep_tokens = seed_of(line) % 2 != 0;
    const bool indexed = indexer.index_unchecked_utf8(line, keep_tokens);
    const bool copied = copier.index_unchecked_utf8(line, keep_tokens, ondravane::kFirstLayer, true);
    if (copied != indexed) report("the walk for a copy and the index walk disagree", line);
    if (!copied && !(copier.rejection() == indexer.rejection())) {
      report("the walk for a copy explains a rejection differently", line);
    }
    if (copied && checked) {
      if (copier.indexed_pieces() != indexer.indexed_pieces()) report("the walk for a copy places pieces differently", line);
      for (std::size_t i = 0; i < checked->features.size(); ++i) {
        const std::vector<Layer>& layers = checked->features[i].layers;
        std::span<const double> values;
        if (!copier.indexed_values(i, values)) {
          // Each value takes two bytes at least, so only a longer line
          // reaches the bound past which lists are left unconverted.
          if (line.size() < 2 * ondravane::LineParser::kMostConvertedValues) {
            report("the walk for a copy leaves a short line's list", line);
          }
          continue;
        }
        const std::vector<double> expected = layers.empty() ? std::vector<double>{} : layers[0].values;
        const Activation converted{0, {Feature{"", {Layer{0, std::vector<double>(values.begin(), values.end())}}}}};
        const Activation read{0, {Feature{"", {Layer{0, expected}}}}};
        if (!same_bits(converted, read)) report("the walk for a copy converts a first layer differently", line);
      }
    }
  }
  // Layers chosen by index: the same verdict on the lines the checking parse
  // accepts (their indices are not negative, their strings UTF-8), and of
  // each occurrence the first layer of each index chosen, found by every walk
  // alike.
  if (all && checked) {
    ondravane::LayerChoice choice;
    for (const Feature& feature : all->features) {
      for (const Layer& layer : feature.layers) {
        if (choice.indices.size() < 3 && (seed_of(line) >> choice.indices.size()) % 2) choice.indices.push_back(layer.index);
      }
    }
    choice.indices.push_back(static_cast<std::int64_t>(seed_of(line) % 4));
    if (!indexer.index_unchecked_utf8(line, false, choice)) report("chosen layers reject a line", line);
    static ondravane::LineParser chooser;
    const std::optional<Activation> kept = parse_unchecked(chooser, line, LayerRetention::kChosen, choice);
    static ondravane::LineShape chosen_shape;
    if (!kept || !chooser.survey(line, chosen_shape, choice)) report("chosen layers reject a line", line);
    const auto& pieces = indexer.indexed_pieces();
    const std::size_t per = choice.count() + 1;
    std::vector<double> values;
    for (std::size_t i = 0; i < all->features.size() && kept; ++i) {
      const Feature& feature = all->features[i];
      for (std::size_t slot = 0; slot < choice.count(); ++slot) {
        const Layer* first_of_index = nullptr;
        for (const Layer& layer : feature.layers) {
          if (layer.index == choice.indices[slot]) {
            first_of_index = &layer;
            break;
          }
        }
        const ondravane::PiecePlace piece = pieces[i * per + 1 + slot];
        const std::size_t length = chosen_shape.chosen_lengths[i * choice.count() + slot];
        if (first_of_index == nullptr) {
          if (piece.offset != ondravane::PiecePlace::kMissing || length != ondravane::LineShape::kMissing) {
            report("a chosen layer found that the occurrence lacks", line);
          }
          continue;
        }
        std::size_t end = 0;
        const bool found = rereader.read_values(line, piece.offset, values, end) && end - piece.offset == piece.length;
        const Activation reread{0, {Feature{"", {Layer{first_of_index->index, values}}}}};
        if (!found || !same_bits(reread, Activation{0, {Feature{"", {*first_of_index}}}}) ||
            length != first_of_index->values.size()) {
          report("a chosen layer is not the first of its index", line);
        }
      }
      // The record keeps the first layer of each index chosen, in the line's order.
      Feature expected{feature.token, {}};
      for (const Layer& layer : feature.layers) {
        const bool chosen = std::find(choice.indices.begin(), choice.indices.end(), layer.index) != choice.indices.end();
        const bool met = std::any_of(expected.layers.begin(), expected.layers.end(),
                                     [&](const Layer& k) { return k.index == layer.index; });
        if (chosen && !met) expected.layers.push_back(layer);
      }
      if (!same_bits(Activation{0, {kept->features[i]}}, Activation{0, {expected}})) {
        report("a record keeps other layers than the chosen ones", line);
      }
    }
  }

  TreeReader reader(line);
  const std::optional<Node> tree = reader.read_line();
  if (reader.too_deep()) return 0;
  const std::optional<Activation> expected = tree ? reference_activation(*tree) : std::nullopt;
  if (all.has_value() != expected.has_value()) {
    report(all ? "parser accepts a line the reference rejects"
               : "parser rejects a line the reference accepts",
           line);
  }
  if (!all) return 0;
  if (!same_bits(*all, *expected)) report("parser and reference give different records", line);

  const std::uint64_t seed = seed_of(line);
  for (bool reorder : {false, true}) {
    const std::string relaid = Layout(seed + reorder, reorder).write(*tree);
    const std::optional<Activation> reparsed = from_line(relaid, LayerRetention::kAll);
    if (!reparsed) {
      report(reorder ? "rejected after reordering members" : "rejected after adding whitespace", relaid);
    }
    if (!same_bits(*reparsed, *all)) {
      report(reorder ? "record changed by reordering members" : "record changed by adding whitespace",
             relaid);
    }
  }
  return 0;
}
