// processor(input, output, min=..., keep=..., seed=...): one whole conversion.
#include "converter/pipeline.h"
#include "module/arguments.h"
#include "module/call_scope.h"
#include "module/functions.h"

namespace ondravane::module {

namespace {

constexpr ParameterList<5> kParameters{"processor", {"input", "output", "min", "keep", "seed"}, 2};

PyObject* run_processor(PyObject* args, PyObject* kwargs) {
  const auto slots = bind_arguments(kParameters, args, kwargs);
  const auto [input_object, output_object, min_object, keep_object, seed_object] = slots;

  const std::string_view input = convert_argument("input", [&] { return to_text(input_object); });
  const std::string_view output = convert_argument("output", [&] { return to_text(output_object); });
  ConversionOptions options;
  options.min = convert_argument("min", [&] { return to_optional(min_object, to_int64); });
  options.keep = convert_argument("keep", [&] { return to_optional(keep_object, to_int64); }).value_or(-1);
  options.seed = convert_argument("seed", [&] { return to_optional(seed_object, to_uint64); }).value_or(0);

  // A malformed line has already said so on standard output; the outcome
  // that names it is for the command line.
  convert(input, output, options);
  Py_INCREF(Py_None);
  return Py_None;
}

}  // namespace

PyObject* processor(PyObject* /*self*/, PyObject* args, PyObject* kwargs) {
  return call_scope([&] { return run_processor(args, kwargs); });
}

}  // namespace ondravane::module
