#!/usr/bin/env bash
# Packages: the Debian package and tarball (release preset) and the Windows zip archive (windows
# preset), stamped with the time of the last commit. Fails when a manual page draws a lint warning,
# when a package cannot be made, when the programs unpacked from the .deb do not give the sample
# report or show another version than the package's, or when a second build of the same sources in
# another folder gives a package or program that differs in a single byte. Leaves the packages and
# their SHA256SUMS in build/packages/.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh

# dpkg-dev and file are what CPack needs to compute the Debian dependencies; zip makes the Windows
# archive reproducible (cmake/package_archives.cmake); googletest for the windows preset's tests.
ensure_packages cmake ninja-build g++ dpkg-dev file mandoc zip g++-mingw-w64-x86-64-posix \
  googletest

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

# Makes every package of the source tree in the current folder. The Windows build tree is the one
# the windows stage tests; extra CMake arguments apply to it only.
build_packages() {
  rm -f build/release/*.deb build/release/*.tar.gz build/windows/*.zip
  quietly cmake --workflow --preset release
  quietly cmake --preset windows "$@"
  quietly cmake --build --preset windows
  quietly cpack --preset windows
}

echo "== package: manual pages"
mandoc -T lint -W warning man/*.1

echo "== package: build and package"
build_packages
deb=(build/release/tarvel_*.deb)
packages=("${deb[0]}" build/release/tarvel-*.tar.gz build/windows/tarvel-*-windows-x64.zip)
programs=(build/release/src/tarvel build/windows/src/*.exe)
ls -l "${packages[@]}"

echo "== package: programs from the .deb"
root="$scratch/root"
dpkg-deb -x "${deb[0]}" "$root"
version=$(dpkg-deb -f "${deb[0]}" Version)
dpkg-deb -f "${deb[0]}" Depends | grep -q 'libc6' || {
  echo "the .deb depends on nothing"
  exit 1
}
for page in tarvel tarvel-diff tarvel-dump; do
  [ -f "$root/usr/share/man/man1/$page.1" ] || {
    echo "no manual page $page.1 in the .deb"
    exit 1
  }
done
# What the end-to-end tests expect: the banner (two lines, the first naming the version), an empty
# line, the two loading lines, an empty line, then the report exactly as samples/report.txt has it.
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
# The companions where the package has them: the same report without the banner, differences
# found; both samples sound.
if [ -e "$root/usr/bin/tarvel-diff" ]; then
  status=0
  "$root/usr/bin/tarvel-diff" samples/old.img samples/new.img >"$scratch/diff.out" || status=$?
  [ "$status" -eq 1 ] || {
    echo "tarvel-diff exited $status on the samples, expected 1"
    exit 1
  }
  cmp "$scratch/diff.out" samples/report.txt
fi
if [ -e "$root/usr/bin/tarvel-dump" ]; then
  "$root/usr/bin/tarvel-dump" --verify samples/old.img
  "$root/usr/bin/tarvel-dump" --verify samples/new.img
fi
echo "ok"

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
(cd build/packages && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS && cat SHA256SUMS)

echo "== package: passed in $((SECONDS - started))s"
