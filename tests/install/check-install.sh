#!/usr/bin/env bash
# Checks tova-plugin as its users get it: installed into a prefix, or
# unpacked from its Debian packages, and used by the project in consumer/.
#
#   check-install.sh install BUILD_DIR PREFIX
#   check-install.sh layout PREFIX LIBDIR
#   check-install.sh exports PREFIX LIBDIR
#   check-install.sh programs PREFIX LIBDIR
#   check-install.sh cmake-consumer PREFIX LIBDIR WORK_DIR
#   check-install.sh rejected-plugin PREFIX LIBDIR WORK_DIR
#   check-install.sh pkg-config-consumer PREFIX LIBDIR WORK_DIR
#   check-install.sh examples PREFIX LIBDIR WORK_DIR
#   check-install.sh nested WORK_DIR
#   check-install.sh debian WORK_DIR
#
# Environment: TOVA_SOURCE_DIR and TOVA_VERSION (the project's version, as
# CMake has it) are required; CXX (the compiler; default c++),
# TOVA_CONSUMER_FLAGS (compile and link flags of consumers built against an
# installed prefix: a sanitized build installs instrumented libraries, so
# its consumers must link the sanitizer runtimes too).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
CONSUMER=$HERE/consumer
SOURCE=${TOVA_SOURCE_DIR:?TOVA_SOURCE_DIR must name the source tree}
CXX=${CXX:-c++}
VERSION=${TOVA_VERSION:?TOVA_VERSION must give the project version}
SOVERSION=${VERSION%%.*}
# Consumers are built with warnings as errors: the public headers must
# compile cleanly in a user's project.
WARNINGS="-Wall -Wextra -Wpedantic -Werror"

fail() { printf 'error: %s\n' "$*" >&2; exit 1; }

expect_equal() {
  local what=$1 expected=$2 actual=$3
  [ "$expected" = "$actual" ] && return
  fail "$what: expected
$expected
but got
$actual"
}

# install BUILD_DIR PREFIX: installs the build into a fresh PREFIX.
install_build() {
  local build=$1 prefix=$2
  rm -rf "$prefix"
  cmake --install "$build" --prefix "$prefix" >/dev/null
}

header_list() {
  local dir
  for dir in "$@"; do (cd "$dir" && find . -type f -name '*.hpp'); done | sort
}

expect_library() {
  local libdir=$1 name=$2
  expect_equal "$name.so link" "$name.so.$SOVERSION" \
    "$(readlink "$libdir/$name.so")"
  expect_equal "$name.so.$SOVERSION link" "$name.so.$VERSION" \
    "$(readlink "$libdir/$name.so.$SOVERSION")"
  if [ ! -f "$libdir/$name.so.$VERSION" ] || [ -L "$libdir/$name.so.$VERSION" ]; then
    fail "$libdir/$name.so.$VERSION is not a file"
  fi
  expect_equal "SONAME of $name" "$name.so.$SOVERSION" \
    "$(readelf -d "$libdir/$name.so.$VERSION" \
         | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
}

# layout PREFIX LIBDIR: every public header, the libraries with their
# links, the program, the CMake package and the pkg-config files.
check_layout() {
  local prefix=$1 libdir=$1/$2 file
  expect_equal "installed headers" \
    "$(header_list "$SOURCE/core/include" "$SOURCE/loader/include")" \
    "$(header_list "$prefix/include")"
  expect_library "$libdir" libtova-plugin
  expect_library "$libdir" libtova-plugin-loader
  [ -x "$prefix/bin/tova-plugin-info" ] || fail "no bin/tova-plugin-info"
  [ -x "$prefix/bin/tova-plugin" ] || fail "no bin/tova-plugin"
  for file in tova-plugin-info.1.gz tova-plugin.1.gz; do
    [ -f "$prefix/share/man/man1/$file" ] || fail "no share/man/man1/$file"
  done
  for file in cmake/tova-plugin/tova-plugin-config.cmake \
              cmake/tova-plugin/tova-plugin-config-version.cmake \
              pkgconfig/tova-plugin.pc pkgconfig/tova-plugin-loader.pc; do
    [ -f "$libdir/$file" ] || fail "no $libdir/$file"
  done
}

# Whether an exported symbol belongs to the libraries' interface or to the
# C++ runtime, judged by its mangled name: names in tova::plugin whose
# first class or function the public headers declare, the standard
# library's template instances, and type information of built-in types
# (such as function types).
is_interface_symbol() {
  local words=$2 rest length first
  # Drop special-name prefixes (vtable, typeinfo, guard variable, thunks),
  # the mark of a function-local entity and a nested name's qualifiers.
  rest=$(sed -E 's/^_Z//; s/^(T[VIST]|GV|Th[^_]*_|Tv[^_]*_[^_]*_)//; s/^Z//; s/^N?[KVrRO]*//' <<<"$1")
  case $rest in
    St* | S[absiod]* | 9__gnu_cxx*) return 0 ;;
    4tova6plugin*)
      rest=$(sed -E 's/^4tova6plugin(2v[0-9]|3v[0-9]{2}|6detail)*//' <<<"$rest")
      if [[ $rest =~ ^([0-9]+) ]]; then
        length=${BASH_REMATCH[1]}
        first=${rest:${#length}:$length}
      elif [[ $rest =~ ^[a-z][a-z] ]]; then
        first=operator
      fi
      grep -qxF -- "${first:-?}" <<<"$words" ;;
    *) [[ $1 == _ZT[IS]* && $rest != *[0-9]* ]] ;;
  esac
}

# exports PREFIX LIBDIR: the shared objects export only their interface.
check_exports() {
  local prefix=$1 libdir=$1/$2 words library symbol leaked=()
  words=$(find "$prefix/include/tova/plugin" -name '*.hpp' -exec cat {} + \
            | grep -oE '[A-Za-z_][A-Za-z0-9_]*' | sort -u)
  for library in libtova-plugin libtova-plugin-loader; do
    while read -r symbol; do
      is_interface_symbol "$symbol" "$words" \
        || leaked+=("$library: $(c++filt "$symbol")")
    done < <(nm -D --defined-only "$libdir/$library.so" | awk '{ print $3 }' \
               | grep -vxE '_init|_fini|_edata|_end|__bss_start')
  done
  [ ${#leaked[@]} -eq 0 ] \
    || fail "symbols exported beyond the interface:$(printf '\n  %s' "${leaked[@]}")"
}

# programs PREFIX LIBDIR: the installed programs start from a prefix
# outside the library path, and the libraries carry no search path.
check_programs() {
  local prefix=$1 libdir=$1/$2 program library
  for program in tova-plugin-info tova-plugin; do
    expect_equal "$program --version" "$VERSION" \
      "$(env -u LD_LIBRARY_PATH "$prefix/bin/$program" --version | grep -oF "$VERSION" | head -n 1)"
  done
  for library in "$libdir"/libtova-plugin*.so; do
    expect_equal "search path of $library" "" \
      "$(readelf -d "$library" | grep -E 'RPATH|RUNPATH' || true)"
  done
}

# Runs the consumer program on its plugin library and checks what it says:
# its message handler, not the standard error stream, gets the failed load.
run_consumer() {
  local libdir=$1 app=$2 plugin=$3 output
  output=$(LD_LIBRARY_PATH=$libdir "$app" "$plugin" 2>"$app.stderr")
  expect_equal "consumer output" "failed load: captured
plugin: consumer::Hello
greeting: hello, installed" "$output"
  expect_equal "consumer standard error stream" "" "$(cat "$app.stderr")"
}

# The installed tova-plugin describes the consumer's plugin library, as
# built and stripped, from its manifest, and finds nothing to report on it.
check_manifest() {
  local prefix=$1 libdir=$2 plugin=$3 stripped=$3.stripped library
  strip --strip-all "$plugin" -o "$stripped"
  for library in "$plugin" "$stripped"; do
    expect_equal "tova-plugin describe --json" \
'{"libraries":[{"path":"'"$library"'","metadata":{"license":"MIT","version":"1.0.0"},"plugins":[{"name":"consumer::Hello","aliases":["hello"],"interfaces":[{"name":"consumer::Greeter","version":"1.2"}],"metadata":{"language":"en"}}]}]}' \
      "$(LD_LIBRARY_PATH=$libdir "$prefix/bin/tova-plugin" describe --json \
           "$library" | tr -d ' \n')"
    expect_equal "tova-plugin check" "" \
      "$(LD_LIBRARY_PATH=$libdir "$prefix/bin/tova-plugin" check "$library")"
  done
}

# cmake-consumer PREFIX LIBDIR WORK_DIR [FLAGS]
build_with_cmake() {
  local prefix=$1 libdir=$1/$2 work=$3 flags=${4-${TOVA_CONSUMER_FLAGS:-}}
  rm -rf "$work"
  cmake -S "$CONSUMER" -B "$work" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="$WARNINGS $flags" \
    >/dev/null
  expect_equal "package found" "$libdir/cmake/tova-plugin" \
    "$(sed -n 's/^tova-plugin_DIR:PATH=//p' "$work/CMakeCache.txt")"
  # The helper's check runs the prefix's tova-plugin, which finds the
  # libraries of an unpacked package only through the library path.
  LD_LIBRARY_PATH=$libdir cmake --build "$work" >/dev/null
  run_consumer "$libdir" "$work/consumer-app" "$work/libconsumer-hello.so"
  check_manifest "$prefix" "$libdir" "$work/libconsumer-hello.so"
  check_static_plugin "$libdir" "$work/consumer-static-app"
  check_unloading "$libdir" "$work"
}

# The consumer's plugin source linked into a program as a static plugin:
# made by alias, and listed in the program's own manifest.
check_static_plugin() {
  local libdir=$1 app=$2
  expect_equal "static plugin" "greeting: hello, static
manifest: consumer::Hello" "$(LD_LIBRARY_PATH=$libdir "$app")"
}

is_clang() { "$CXX" -dM -E - </dev/null | grep -q __clang__; }

unique_symbols() { readelf --dyn-syms -W "$1" | grep -c UNIQUE || true; }

# A plugin whose header makes an inline function's static visible: built by
# the helper it has no unique symbol and closes once forgotten; built
# plainly by g++ it has one (so that this check can fail at all).
check_unloading() {
  local libdir=$1 work=$2 library=$2/libconsumer-counting.so
  expect_equal "unique symbols of $library" 0 "$(unique_symbols "$library")"
  expect_equal "unloading" "greeting 1 for you
library closed" \
    "$(LD_LIBRARY_PATH=$libdir "$work/consumer-unloading-app" "$library")"
  if ! is_clang; then
    [ "$(unique_symbols "$work/libconsumer-counting-plain.so")" -gt 0 ] \
      || fail "no unique symbol in the plain build: the check proves nothing"
  fi
}

# rejected-plugin PREFIX LIBDIR WORK_DIR: a plugin library that the check
# rejects fails its build, which shows the findings.
build_rejected_plugin() {
  local prefix=$1 libdir=$1/$2 work=$3 output library
  rm -rf "$work"
  cmake -S "$HERE/rejected" -B "$work" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$CXX" \
    -DCMAKE_CXX_FLAGS="$WARNINGS ${TOVA_CONSUMER_FLAGS:-}" >/dev/null
  if output=$(LD_LIBRARY_PATH=$libdir cmake --build "$work" 2>&1); then
    fail "the rejected plugin built:
$output"
  fi
  library=$work/librejected.so
  grep -qxF "$library: plugin [rejected::Box<3>] is only in the manifest" <<<"$output" \
    && grep -qxF "$library: plugin [rejected::Box<3u>] is only in the loaded library" <<<"$output" \
    || fail "the failed build does not show the findings:
$output"
}

# pkg-config-consumer PREFIX LIBDIR WORK_DIR [FLAGS]
build_with_pkg_config() {
  local prefix=$1 libdir=$1/$2 work=$3 flags=${4-${TOVA_CONSUMER_FLAGS:-}}
  local -a plugin_flags loader_flags
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  expect_equal "pkg-config version" "$VERSION" \
    "$(pkg-config --modversion tova-plugin-loader)"
  read -ra plugin_flags <<<"$(pkg-config --cflags --libs tova-plugin)"
  read -ra loader_flags <<<"$(pkg-config --cflags --libs tova-plugin-loader)"
  [[ ${loader_flags[0]} == "-I$libdir/pkgconfig/"* ]] \
    || fail "pkg-config flags outside the prefix: ${loader_flags[*]}"
  rm -rf "$work" && mkdir -p "$work"
  # shellcheck disable=SC2086 # the flags are lists of words
  "$CXX" $WARNINGS $flags -fPIC -shared -I"$CONSUMER/include" \
    -o "$work/libconsumer-hello.so" "$CONSUMER/plugin/Hello.cpp" "${plugin_flags[@]}"
  # shellcheck disable=SC2086
  "$CXX" $WARNINGS $flags -I"$CONSUMER/include" \
    -o "$work/consumer-app" "$CONSUMER/app/main.cpp" "${loader_flags[@]}"
  run_consumer "$libdir" "$work/consumer-app" "$work/libconsumer-hello.so"
}

# examples PREFIX LIBDIR WORK_DIR: the project's examples as a project of
# their own, built against the installed copy and run to the end.
build_examples() {
  local prefix=$1 libdir=$1/$2 work=$3 output
  rm -rf "$work"
  cmake -S "$SOURCE/examples" -B "$work" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$CXX" \
    -DCMAKE_CXX_FLAGS="$WARNINGS ${TOVA_CONSUMER_FLAGS:-}" >/dev/null
  cmake --build "$work" >/dev/null
  output=$(LD_LIBRARY_PATH=$libdir "$work/shapes-app" "$work/libshapes-plugins.so")
  expect_equal "last line of the example" \
    "After cleanup; parked references: 0; library closed" \
    "$(tail -n 1 <<<"$output")"
}

# The compile command of a source file in a build's compile_commands.json.
compile_command() {
  grep -F "\"file\": \"$2\"" -B 3 "$1/compile_commands.json" | grep -F '"command"'
}

# nested WORK_DIR: a project that builds this one inside itself gets the
# libraries, the programs, their targets and the helper, and none of the
# tests, examples, packaging or compile flags of this project.
check_nested() {
  local work=$1 cache=$1/CMakeCache.txt option library parent
  rm -rf "$work"
  cmake -S "$HERE/nested" -B "$work" -DTOVA_SOURCE_DIR="$SOURCE" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  for option in TESTS EXAMPLES BENCHMARKS; do
    expect_equal "nested TOVA_PLUGIN_BUILD_$option" OFF \
      "$(sed -n "s/^TOVA_PLUGIN_BUILD_$option:BOOL=//p" "$cache")"
  done
  [ ! -e "$work/CPackConfig.cmake" ] || fail "the nested build configures packaging"
  [ ! -e "$work/CTestTestfile.cmake" ] || fail "the nested build has tests"
  cmake --build "$work" -j 2 >/dev/null
  [ -x "$work/_deps/tova-plugin-build/tools/tova-plugin" ] \
    || fail "the nested build has no tova-plugin"
  library=$(compile_command "$work" "$SOURCE/loader/src/Loader.cpp")
  parent=$(compile_command "$work" "$CONSUMER/app/main.cpp")
  [ -n "$library" ] && [ -n "$parent" ] || fail "compile commands missing"
  [[ $library == *-Wpedantic* ]] \
    || fail "the nested libraries are built without their warnings"
  [[ $parent != *-Wpedantic* ]] \
    || fail "the parent's program gets this project's compile flags"
  run_consumer "" "$work/consumer-app" "$work/libconsumer-hello.so"
}

package_field() { dpkg-deb -f "$1" "$2"; }

# The files and links that a package installs, without directories.
package_files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print $6 }' | sort; }

# Fails unless the Depends field in $2 holds $3: an exact entry, or a
# package name with any version.
expect_depends() {
  local package=$1 entry
  while read -r entry; do
    [[ $entry == "$3" || $entry == "$3 ("* ]] && return
  done <<<"${2//, /$'\n'}"
  fail "$package: Depends ($2) lacks $3"
}

# Each package has a summary of its own, ldconfig runs by a trigger alone,
# the debug information is in -dbgsym packages, and lintian finds no error
# in any package (its warnings are shown).
check_lintian() {
  local build=$1 output
  expect_equal "distinct summaries" 3 \
    "$(for deb in "$build"/*.deb; do package_field "$deb" Description | head -n 1; done \
         | sort -u | wc -l)"
  ls "$build"/*-dbgsym*.ddeb >/dev/null || fail "no -dbgsym packages"
  for deb in "$build"/*.deb; do
    if dpkg-deb -I "$deb" postinst postrm 2>/dev/null | grep -v '^#' \
         | grep -q ldconfig; then
      fail "$deb: a maintainer script calls ldconfig"
    fi
  done
  expect_equal "ldconfig trigger" "activate-noawait ldconfig" \
    "$(dpkg-deb -I "$build/libtova-plugin${SOVERSION}_${VERSION}_"*.deb triggers)"
  if ! output=$(lintian --fail-on error "$build"/*.deb 2>&1); then
    fail "lintian:
$output"
  fi
  [ -z "$output" ] || printf 'lintian:\n%s\n' "$output" >&2
}

# debian WORK_DIR: builds the packages in a release build for /usr, checks
# their contents and dependencies, unpacks them into a scratch root and
# uses that as the prefix.
check_debian() {
  local work=$1 build=$1/build root=$1/root libdir deb package runtime dependency
  rm -rf "$work" && mkdir -p "$work"
  cmake -S "$SOURCE" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_INSTALL_PREFIX=/usr \
    -DTOVA_PLUGIN_BUILD_TESTS=OFF -DTOVA_PLUGIN_BUILD_EXAMPLES=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" >/dev/null
  (cd "$build" && cpack -G DEB >/dev/null)
  libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")

  runtime=libtova-plugin$SOVERSION
  for deb in "$build"/*.deb; do
    package=$(package_field "$deb" Package)
    expect_equal "$package version" "$VERSION" "$(package_field "$deb" Version)"
    case $package in
      "$runtime")
        for dependency in libc6 libstdc++6; do
          expect_depends "$package" "$(package_field "$deb" Depends)" "$dependency"
        done
        expect_equal "$package files" "\
./usr/$libdir/libtova-plugin-loader.so.$SOVERSION
./usr/$libdir/libtova-plugin-loader.so.$VERSION
./usr/$libdir/libtova-plugin.so.$SOVERSION
./usr/$libdir/libtova-plugin.so.$VERSION
./usr/share/doc/$runtime/changelog.gz
./usr/share/doc/$runtime/copyright" \
          "$(package_files "$deb")" ;;
      tova-plugin-info)
        expect_depends "$package" "$(package_field "$deb" Depends)" \
          "$runtime (= $VERSION)"
        expect_equal "$package files" "\
./usr/bin/tova-plugin
./usr/bin/tova-plugin-info
./usr/share/doc/tova-plugin-info/changelog.gz
./usr/share/doc/tova-plugin-info/copyright
./usr/share/man/man1/tova-plugin-info.1.gz
./usr/share/man/man1/tova-plugin.1.gz" "$(package_files "$deb")" ;;
      libtova-plugin-dev)
        # tova_add_plugin runs tova-plugin.
        for dependency in "$runtime" tova-plugin-info; do
          expect_depends "$package" "$(package_field "$deb" Depends)" \
            "$dependency (= $VERSION)"
        done ;;
      *) fail "unexpected package $package" ;;
    esac
    dpkg -x "$deb" "$root"
  done
  expect_equal "packages" "libtova-plugin-dev $runtime tova-plugin-info" \
    "$(for deb in "$build"/*.deb; do package_field "$deb" Package; done \
         | sort | xargs)"

  check_lintian "$build"
  check_layout "$root/usr" "$libdir"
  LD_LIBRARY_PATH=$root/usr/$libdir "$root/usr/bin/tova-plugin-info" --version \
    >/dev/null
  build_with_cmake "$root/usr" "$libdir" "$work/cmake-consumer" ""
  build_with_pkg_config "$root/usr" "$libdir" "$work/pkg-config-consumer" ""
}

command=${1:?a command}
shift
case $command in
  install) install_build "$@" ;;
  layout) check_layout "$@" ;;
  exports) check_exports "$@" ;;
  programs) check_programs "$@" ;;
  rejected-plugin) build_rejected_plugin "$@" ;;
  cmake-consumer) build_with_cmake "$@" ;;
  pkg-config-consumer) build_with_pkg_config "$@" ;;
  examples) build_examples "$@" ;;
  nested) check_nested "$@" ;;
  debian) check_debian "$@" ;;
  *) fail "unknown command $command" ;;
esac
