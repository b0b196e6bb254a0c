#!/usr/bin/env bash
# Checks the Debian package that `cmake --build BUILD --target package` made:
# lintian finds nothing to complain of, not even a missing hardening flag, it
# holds the installed layout and nothing else, and a3bank unpacked from it
# works and finds its factory bank.
# Usage: check-package.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
version=$("$build/bin/a3bank" --version | cut -d' ' -f2)
deb="$build/a3-librarian_${version}_$(dpkg --print-architecture).deb"
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "no package $deb"

echo "== lintian $(basename "$deb")"
# With its informational tags, among them those of hardening that a program
# or the MIDI module was built without.
if ! tags=$(lintian -I --fail-on error,warning "$deb"); then
    echo "$tags"
    fail "lintian found problems"
fi
[ -z "$tags" ] || echo "$tags"
! grep -q 'hardening-' <<<"$tags" || fail "built without the hardening of dpkg-buildflags"

echo "== contents"
expected="/usr/bin/a3-librarian
/usr/bin/a3bank
/usr/libexec/a3-librarian/a3bank-pdf
/usr/libexec/a3-librarian/a3bank-midi
/usr/lib/$triplet/a3-librarian/a3-midi-system.so
/usr/share/a3-librarian/A3FactoryPreset
/usr/share/a3-librarian/help/index.html
/usr/share/applications/org.a3librarian.A3Librarian.desktop
/usr/share/mime/packages/org.a3librarian.A3Librarian.xml
/usr/share/metainfo/org.a3librarian.A3Librarian.metainfo.xml
/usr/share/icons/hicolor/scalable/apps/org.a3librarian.A3Librarian.svg
/usr/share/man/man1/a3bank.1.gz
/usr/share/man/man1/a3-librarian.1.gz
/usr/share/bash-completion/completions/a3bank
/usr/share/doc/a3-librarian/copyright
/usr/share/doc/a3-librarian/changelog.gz"
# Every file but directories, as "/usr/...".
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}')
diff -u --label expected <(sort <<<"$expected") --label "$(basename "$deb")" <(sort <<<"$contents") ||
    fail "the package does not hold the installed layout"
echo "$(wc -l <<<"$contents") files, as expected"

echo "== a3bank from the unpacked package"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
a3bank="$root/usr/bin/a3bank"
cd "$root"
[ "$("$a3bank" --version)" = "a3bank $version" ] || fail "a3bank --version is not $version"
"$a3bank" --version
# Without its factory bank, a3bank new says so and writes a bank of its own:
# the package's must make the bank that the build tree's a3bank makes.
"$a3bank" new X.syx 2>new.err
[ ! -s new.err ] || fail "a3bank new said: $(cat new.err)"
"$build/bin/a3bank" new reference.syx
cmp X.syx reference.syx || fail "the unpacked a3bank's new bank is not the factory bank"
echo "a3bank new X.syx: the factory bank, $(stat -c %s X.syx) bytes"
listing=$("$a3bank" list X.syx)
head -n 5 <<<"$listing"
echo "..."
[ "$(wc -l <<<"$listing")" -eq 103 ] || fail "a3bank list did not list 100 patches"
echo "package checked"
