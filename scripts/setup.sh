#!/bin/bash
# Installs everything the build and the tests need on Debian 12, as root.
# Idempotent: on a prepared machine it only checks and returns in seconds.
#
# Debian packages come from the archive; jsoncpp, libcurl, NSPR and
# GoogleTest have no mingw build there, so their Debian source packages are
# fetched with `apt-get source` and built as static mingw libraries into a
# versioned prefix outside the checkout.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS_PREFIX="${QV_DEPS_PREFIX:-/opt/quillavera-deps/v1}"
TRIPLE=x86_64-w64-mingw32
JOBS="$(nproc)"

log() { echo "[setup] $*"; }

# Named one by one: packages come without their recommends, so gcc alone
# brings no C library headers (NSPR's host tools need them), and Python's
# and Wine's time zones need the zone database.
packages=(
  cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools wine64
  libz-mingw-w64-dev googletest python3 dpkg-dev gcc libc6-dev make tzdata
  unzip p7zip-full zip openssl
)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" \
      || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

ensure_deb_src() {
  local list=/etc/apt/sources.list.d/quillavera-deb-src.sources
  if grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
     && apt-cache showsrc nspr >/dev/null 2>&1 \
     && [ -n "$(apt-cache showsrc nspr 2>/dev/null)" ]; then
    return 0
  fi
  log "adding a deb-src entry for bookworm main"
  cat > "$list" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get update -qq
}

# Fetches a Debian source package into a fresh work folder and prints the
# unpacked source tree's path.
fetch_source() {
  local pkg="$1" work="$2"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && apt-get source -qq "$pkg" >/dev/null 2>&1) \
    || { echo "apt-get source $pkg failed" >&2; return 1; }
  find "$work" -mindepth 1 -maxdepth 1 -type d | head -1
}

toolchain="$ROOT/cmake/mingw-toolchain.cmake"

cmake_dep() {
  local src="$1" build="$2"; shift 2
  cmake -S "$src" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$DEPS_PREFIX" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF "$@" >"$build.log" 2>&1 \
    && cmake --build "$build" -j "$JOBS" >>"$build.log" 2>&1 \
    && cmake --install "$build" >>"$build.log" 2>&1 \
    || { echo "build failed, see $build.log" >&2; tail -30 "$build.log" >&2; return 1; }
}

build_jsoncpp() {
  local work="$DEPS_PREFIX/src/jsoncpp" src
  src="$(fetch_source libjsoncpp "$work")"
  cmake_dep "$src" "$work/build" -DJSONCPP_WITH_TESTS=OFF \
    -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
    -DJSONCPP_WITH_CMAKE_PACKAGE=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF
}

build_googletest() {
  local work="$DEPS_PREFIX/src/googletest"
  rm -rf "$work" && mkdir -p "$work"
  cmake_dep /usr/src/googletest "$work/build" -DINSTALL_GTEST=ON \
    -Dgtest_disable_pthreads=OFF
}

build_curl() {
  local work="$DEPS_PREFIX/src/curl" src
  src="$(fetch_source curl "$work")"
  cmake_dep "$src" "$work/build" -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=ON \
    -DZLIB_LIBRARY=/usr/$TRIPLE/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$TRIPLE/include \
    -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
    -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
    -DENABLE_MANUAL=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON \
    -DHTTP_ONLY=ON -DENABLE_UNIX_SOCKETS=OFF -DCURL_STATICLIB=ON
}

build_nspr() {
  local work="$DEPS_PREFIX/src/nspr" src
  src="$(fetch_source nspr "$work")"
  local nsprsrc="$src/nspr"
  [ -x "$nsprsrc/configure" ] || nsprsrc="$src"
  mkdir -p "$work/build"
  (cd "$work/build" && HOST_CC=gcc HOST_CFLAGS=-O1 \
     CC=$TRIPLE-gcc-posix CXX=$TRIPLE-g++-posix AR=$TRIPLE-ar RANLIB=$TRIPLE-ranlib \
     RC=$TRIPLE-windres WINDRES=$TRIPLE-windres \
     "$nsprsrc/configure" --target=$TRIPLE --host=$TRIPLE --build=x86_64-linux-gnu \
       --enable-64bit --enable-win32-target=WIN95 --disable-debug --enable-optimize \
       --prefix="$DEPS_PREFIX" >"$work/build.log" 2>&1 \
   && PATH="$work/build/config:$PATH" make -j "$JOBS" RC=$TRIPLE-windres >>"$work/build.log" 2>&1) \
    || { echo "nspr build failed, see $work/build.log" >&2; tail -30 "$work/build.log" >&2; return 1; }
  # Only the static library and the public headers are needed.
  mkdir -p "$DEPS_PREFIX/lib" "$DEPS_PREFIX/include/nspr"
  cp "$work/build/pr/src/libnspr4_s.a" "$DEPS_PREFIX/lib/libnspr4_s.a"
  cp -rL "$work/build/dist/include/nspr/." "$DEPS_PREFIX/include/nspr/"
}

build_once() {
  local name="$1" stamp="$DEPS_PREFIX/.built-$1"
  [ -f "$stamp" ] && return 0
  log "building $name for mingw"
  local t0=$SECONDS
  "build_$name"
  touch "$stamp"
  log "$name built in $((SECONDS - t0)) s"
}

main() {
  [ "$(id -u)" = 0 ] || { echo "setup must run as root" >&2; exit 1; }
  install_packages
  mkdir -p "$DEPS_PREFIX"
  local need_src=0
  for d in jsoncpp curl nspr; do [ -f "$DEPS_PREFIX/.built-$d" ] || need_src=1; done
  [ $need_src = 1 ] && ensure_deb_src
  # The four builds are independent; run them side by side.
  local pids=() names=(jsoncpp googletest nspr curl) failed=0
  for d in "${names[@]}"; do build_once "$d" & pids+=($!); done
  for p in "${pids[@]}"; do wait "$p" || failed=1; done
  [ $failed = 0 ] || { echo "[setup] a dependency failed to build" >&2; exit 1; }
}

main "$@"
