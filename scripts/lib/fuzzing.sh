# What the hardening stage and the fuzzing campaign share: the toolchain, the
# instrumented build of every libFuzzer target, and each target's seeds and
# options. Sourced, with the working directory at the project's root.

fuzz_clang_version=16
fuzz_targets=(line_parser utf8_lines value_format workers change)

# Installs clang, its sanitizer runtimes and GoogleTest from Debian when missing.
fuzz_install_toolchain() {
  local need=()
  command -v "clang++-$fuzz_clang_version" >/dev/null 2>&1 || need+=("clang-$fuzz_clang_version")
  dpkg -s "libclang-rt-$fuzz_clang_version-dev" >/dev/null 2>&1 || need+=("libclang-rt-$fuzz_clang_version-dev")
  dpkg -s libgtest-dev >/dev/null 2>&1 || need+=(libgtest-dev)
  if ((${#need[@]})); then
    scripts/retry apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
  fi
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-$fuzz_clang_version/bin/llvm-symbolizer
}

# Builds every target under ASan and UBSan into $1, with the conformance
# cases embedded as seeds in $1/seeds/jsontestsuite (needs $python).
fuzz_build() {
  local build=$1
  CXX="clang++-$fuzz_clang_version" cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DONDRAVANE_BUILD_MODULE=OFF -DONDRAVANE_BUILD_TESTS=OFF -DONDRAVANE_BUILD_CLI=OFF \
    -DONDRAVANE_BUILD_FUZZERS=ON -DONDRAVANE_SANITIZE=address,undefined >/dev/null
  cmake --build "$build" -j2
  rm -rf "$build/seeds/jsontestsuite" && mkdir -p "$build/seeds/jsontestsuite"
  "$python" fuzz/embed_cases.py tests/data/jsontestsuite/test_parsing "$build/seeds/jsontestsuite"
}

# The seed folders of target $2 in build $1, one a line.
fuzz_seeds() {
  echo "fuzz/corpus/$2"
  [ "$2" != line_parser ] || echo "$1/seeds/jsontestsuite"
}

# The options of target $1, one a line.
fuzz_options() {
  echo -timeout=20
  echo -rss_limit_mb=2048
  case $1 in
    line_parser) echo -dict=fuzz/line_parser.dict; echo -max_len=8192 ;;
    workers | change) echo -dict=fuzz/line_parser.dict; echo -max_len=4096 ;;
  esac
}
