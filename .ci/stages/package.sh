#!/usr/bin/env bash
# Packages: the Debian package (release preset), the tarball for other Linux systems (portable
# preset) and the Windows zip archive (windows preset), stamped with the time of the last commit.
# `--linux` makes the first two, `--windows` the zip; both by default. Fails when a manual page
# draws a lint warning, when lintian finds an error or a warning in the .deb, when a package
# cannot be made or lacks a file it should hold, when the programs unpacked from the .deb do not
# give the sample report or show another version than the package's, when the tarball's programs
# need the C++ runtime or a newer glibc than GLIBC_MAX, or when a second build of the same sources
# in another folder gives a package or program that differs in a single byte. Leaves the packages
# and their SHA256SUMS in build/packages/. Installs the Debian packages it needs where they are
# missing, which needs root.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh

# The newest glibc the tarball's programs may need. What sets it, built on Debian 12: libgcc's
# unwinder asks for _dl_find_object (2.35); the start-up code and threads need 2.34. The C++
# runtime's std::random_device would ask for arc4random (2.36), but nothing uses it, and the
# portable preset links only what is used.
GLIBC_MAX=2.35

linux=0
windows=0
for argument in "$@"; do
  case $argument in
    --linux) linux=1 ;;
    --windows) windows=1 ;;
    *)
      echo "usage: package.sh [--linux] [--windows]" >&2
      exit 2
      ;;
  esac
done
if [ "$linux" -eq 0 ] && [ "$windows" -eq 0 ]; then
  linux=1
  windows=1
fi

# mandoc checks the manual pages and renders them for Windows; dpkg-dev and file are what CPack
# needs to compute the Debian dependencies; bash-completion loads the packaged completion; zip
# makes the Windows archive reproducible (cmake/package_archives.cmake); googletest for the
# windows preset's tests.
ensure_packages cmake ninja-build g++ mandoc
if [ "$linux" -eq 1 ]; then
  ensure_packages dpkg-dev file lintian binutils bash-completion
fi
if [ "$windows" -eq 1 ]; then
  ensure_packages zip unzip g++-mingw-w64-x86-64-posix googletest
fi

started=$SECONDS
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
# The modes of the members of a .deb follow the umask; this is the usual one.
umask 022
mkdir -p build
log="$PWD/build/package.log"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs a command with its output in the log, which is shown only when the command fails.
quietly() {
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    echo "== package: failed: $*"
    exit 1
  fi
}

# Makes the packages asked for from the source tree in the current folder. The Windows build tree
# is the one the windows stage tests; extra CMake arguments apply to it only.
build_packages() {
  if [ "$linux" -eq 1 ]; then
    rm -f build/release/*.deb build/portable/*.tar.gz
    quietly cmake --workflow --preset release
    quietly cmake --workflow --preset portable
  fi
  if [ "$windows" -eq 1 ]; then
    rm -f build/windows/*.zip
    quietly cmake --preset windows "$@"
    quietly cmake --build --preset windows
    quietly cpack --preset windows
  fi
}

# Fails, naming the package, when the listing of its files lacks one of the files named.
check_members() {
  local package=$1 listing=$2
  shift 2
  for member in "$@"; do
    grep -qxF "$member" "$listing" || {
      echo "$package has no $member"
      exit 1
    }
  done
}

# lintian's verdict on the .deb: any error or warning fails. An override goes in
# cmake/debian/lintian-overrides, with a comment line giving the reason above it.
check_lintian() {
  echo "== package: lintian"
  # As root it also warns that root is not needed: true, and no finding.
  lintian --fail-on error,warning --display-info "$1" 2> >(grep -v 'with root privileges' >&2)
  echo "ok"
}

# What the .deb holds, and what its programs print.
check_deb() {
  local deb=$1 root="$scratch/root"
  echo "== package: programs from the .deb"
  dpkg-deb -x "$deb" "$root"
  local version
  version=$(dpkg-deb -f "$deb" Version)
  version=${version%-*}  # without the Debian revision
  dpkg-deb -f "$deb" Depends | grep -q 'libc6' || {
    echo "the .deb depends on nothing"
    exit 1
  }
  (cd "$root" && find . -type f -o -type l | sed 's|^\./||') >"$scratch/deb.list"
  check_members "$deb" "$scratch/deb.list" usr/share/doc/tarvel/copyright \
    usr/share/doc/tarvel/changelog.Debian.gz usr/share/man/man1/tarvel.1.gz \
    usr/share/man/man1/tarvel-diff.1.gz usr/share/man/man1/tarvel-dump.1.gz \
    usr/share/bash-completion/completions/tarvel-diff \
    usr/share/bash-completion/completions/tarvel-dump \
    usr/share/tarvel/schema/tarvel-diff.change.schema.json \
    usr/share/tarvel/schema/tarvel-dump.entry.schema.json
  # What the end-to-end tests expect: the banner (two lines, the first naming the version), an
  # empty line, the two loading lines, an empty line, then the report as samples/report.txt has it.
  "$root/usr/bin/tarvel" samples/old.img samples/new.img >"$scratch/tarvel.out"
  head -n 1 "$scratch/tarvel.out" | grep -qF "Tarvel v$version " || {
    echo "tarvel's banner does not show the package version $version:"
    head -n 1 "$scratch/tarvel.out"
    exit 1
  }
  printf '\nLoading OLD image: samples/old.img\nLoading NEW image: samples/new.img\n\n' \
    >"$scratch/loading.expected"
  sed -n '3,6p' "$scratch/tarvel.out" | cmp - "$scratch/loading.expected"
  tail -n +7 "$scratch/tarvel.out" | cmp - samples/report.txt
  # The companions: the same report without the banner, differences found; both samples sound.
  local status=0
  "$root/usr/bin/tarvel-diff" samples/old.img samples/new.img >"$scratch/diff.out" || status=$?
  [ "$status" -eq 1 ] || {
    echo "tarvel-diff exited $status on the samples, expected 1"
    exit 1
  }
  cmp "$scratch/diff.out" samples/report.txt
  "$root/usr/bin/tarvel-dump" --verify samples/old.img
  "$root/usr/bin/tarvel-dump" --verify samples/new.img
  # The completion as installed, found by bash-completion under the programs' names.
  bash tests/completions/completion_test.sh "$root/usr/share/bash-completion/completions/tarvel-diff"
  echo "ok"
}

# The tarball's programs: the C++ runtime and libgcc linked in, and no newer glibc than
# GLIBC_MAX. Prints the newest glibc version they need.
check_tarball() {
  local tarball=$1
  echo "== package: the tarball's programs"
  mkdir -p "$scratch/tarball"
  tar -xzf "$tarball" -C "$scratch/tarball"
  local program needed newest=""
  for program in "$scratch"/tarball/*/bin/*; do
    if objdump -T "$program" | grep -qE 'GLIBCXX_|CXXABI_|GCC_[0-9]'; then
      echo "$(basename "$program") needs the C++ runtime or libgcc:"
      objdump -T "$program" | grep -E 'GLIBCXX_|CXXABI_|GCC_[0-9]' | head
      exit 1
    fi
    needed=$(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }' | sort | paste -sd ' ')
    echo "$(basename "$program") needs $needed"
    newest=$( (echo "$newest"; objdump -T "$program" | grep -oE 'GLIBC_[0-9]+(\.[0-9]+)+' |
      sed 's/GLIBC_//') | sed '/^$/d' | sort -V | tail -n 1)
  done
  echo "newest glibc needed: GLIBC_$newest (at most GLIBC_$GLIBC_MAX)"
  if [ "$(printf '%s\n%s\n' "$newest" "$GLIBC_MAX" | sort -V | tail -n 1)" != "$GLIBC_MAX" ]; then
    echo "the tarball's programs need a newer glibc than $GLIBC_MAX"
    exit 1
  fi
  "$scratch"/tarball/*/bin/tarvel samples/old.img samples/new.img | tail -n +7 |
    cmp - samples/report.txt
  echo "ok"
}

echo "== package: manual pages"
mandoc -T lint -W warning man/*.1

echo "== package: build and package"
build_packages
packages=()
programs=()
if [ "$linux" -eq 1 ]; then
  deb=(build/release/tarvel_*.deb)
  tarball=(build/portable/tarvel-*.tar.gz)
  packages+=("${deb[0]}" "${tarball[0]}")
  programs+=(build/release/src/tarvel build/release/src/tarvel-diff build/release/src/tarvel-dump
    build/portable/src/tarvel build/portable/src/tarvel-diff build/portable/src/tarvel-dump)
fi
if [ "$windows" -eq 1 ]; then
  zip=(build/windows/tarvel-*-windows-x64.zip)
  packages+=("${zip[0]}")
  programs+=(build/windows/src/*.exe)
fi
ls -l "${packages[@]}"

if [ "$linux" -eq 1 ]; then
  check_lintian "${deb[0]}"
  check_deb "${deb[0]}"
  check_tarball "${tarball[0]}"
fi
if [ "$windows" -eq 1 ]; then
  echo "== package: the Windows zip"
  unzip -Z1 "${zip[0]}" | sed 's|^[^/]*/||' >"$scratch/zip.list"
  check_members "${zip[0]}" "$scratch/zip.list" tarvel.exe tarvel-diff.exe tarvel-dump.exe \
    README.txt LICENSE.txt manual/tarvel.html manual/tarvel-diff.html manual/tarvel-dump.html \
    samples/old.img samples/new.img samples/report.txt
  echo "ok"
fi

echo "== package: second build in another folder"
# The working tree as it is, without build folders and ignored files, built from scratch. It
# leaves the Windows tests out: nothing of them is installed, and the comparison covers what is.
copy=build/reproduce/tarvel
rm -rf build/reproduce
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard |
  tar --create --null --files-from=- --ignore-failed-read --file=- | tar --extract -C "$copy"
(cd "$copy" && build_packages -DTARVEL_BUILD_TESTS=OFF)
different=0
for file in "${packages[@]}" "${programs[@]}"; do
  cmp "$file" "$copy/$file" || different=1
done
if [ "$different" -ne 0 ]; then
  echo "== package: not reproducible: the files above differ from their twins in $copy/"
  echo "(diffoscope shows where)"
  exit 1
fi
echo "ok: ${#packages[@]} packages and ${#programs[@]} programs are the same to the byte"

echo "== package: build/packages/"
rm -rf build/packages
mkdir -p build/packages
cp "${packages[@]}" build/packages/
(cd build/packages && sha256sum -- "${packages[@]##*/}" >SHA256SUMS && cat SHA256SUMS)

echo "== package: passed in $((SECONDS - started))s"
