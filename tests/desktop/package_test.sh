#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: built with cpack from the build tree, its contents and fields
# checked, judged by lintian, then unpacked into a scratch root where the desktop entry and
# the AppStream metadata are validated. Usage: package_test.sh BUILD_DIR
#
# dpkg -x, not dpkg --root: --root wants a dpkg database in the scratch root, would refuse
# the package for dependencies that root does not hold (Qt, libc) and would run the
# triggers inside it without their tools. Unpacking checks the files and their modes
# without any of that; installing with apt is done by hand (see the README).
set -u
build=$1
# The build's version, as configured into its Version.h.
version=$(sed -n 's/^#define KOLVIK_VERSION "\(.*\)"$/\1/p' "$build/generated/Version.h")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../support/checks.sh"

if ! (cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log" >&2
    echo "FAILED: cpack" >&2
    exit 1
fi
deb="$work/out/kolvik_${version}_amd64.deb"
check "package file name" [ -f "$deb" ]

dpkg-deb --contents "$deb" | awk '{print $1, $6}' | sed 's|^\(..........\) \./|\1 /|' >"$work/contents"
has() { grep -qx -- "$1 $2" "$work/contents"; }
check "kolvik executable" has -rwxr-xr-x /usr/bin/kolvik
check "kolvik-cli executable" has -rwxr-xr-x /usr/bin/kolvik-cli
for file in applications/kolvik.desktop mime/packages/kolvik.xml man/man1/kolvik.1.gz \
    man/man1/kolvik-cli.1.gz doc/kolvik/changelog.gz doc/kolvik/copyright metainfo/org.kolvik.Kolvik.metainfo.xml \
    icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/kolvik.png; do
    check "$file" has -rw-r--r-- /usr/share/$file
done
check "nothing outside /usr" bash -c "! awk '{print \$2}' '$work/contents' | grep -v '^/usr/\?'"
check "no maintainer scripts" bash -c "! dpkg-deb --ctrl-tarfile '$deb' | tar -t | grep -E 'postinst|postrm|preinst|prerm'"

# Package, Version and Architecture: cpack names the file from them (DEB-DEFAULT), checked above.
depends=$(dpkg-deb --field "$deb" Depends)
check "depends on libc" grep -q 'libc6 (>= ' <<<"$depends"
check "depends on Qt widgets" grep -q 'libqt6widgets6' <<<"$depends"

# Only the placeholder mail address may be flagged, in the Maintainer field and the
# changelog; its tag also shows that lintian got as far as reading the package.
lintian "$deb" >"$work/lintian" 2>&1
mail='^E: kolvik: bogus-mail-host(-in-debian-changelog)? (Maintainer )?kolvik@localhost( |$)'
check "lintian ran" grep -qE "$mail" "$work/lintian"
flagged=$(grep -E '^[EW]: ' "$work/lintian" | grep -vE "$mail")
[ -n "$flagged" ] && echo "$flagged" >&2
check "lintian: no error or warning but the mail address" [ -z "$flagged" ]

root="$work/root"
dpkg -x "$deb" "$root"
doc="$root/usr/share/doc/kolvik"
metainfo="$root/usr/share/metainfo/org.kolvik.Kolvik.metainfo.xml"
check "changelog names this version" \
    [ "$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)" = "$version" ]
check "metainfo names this release" grep -q "<release version=\"$version\"" "$metainfo"
check "metainfo validates" appstreamcli validate --no-net --strict "$metainfo"
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
check "metainfo launches the desktop entry" [ -f "$root/usr/share/applications/$launchable" ]
check "unpacked cli runs" bash -c "'$root/usr/bin/kolvik-cli' --version | grep -qx 'kolvik-cli $version'"
# The entry is DesktopEntry's, which DesktopIntegrationTest validates; here it names the program.
check "desktop entry runs kolvik" grep -qx 'Exec=kolvik %f' "$root/usr/share/applications/kolvik.desktop"
check "icons are PNGs of their size" bash -c "
    for s in 16 24 32 48 64 128 256; do
        file '$root/usr/share/icons/hicolor/'\$s'x'\$s'/apps/kolvik.png' | grep -q \"PNG image data, \$s x \$s\" || exit 1
    done"
page() { MANWIDTH=1000 man -l "$root/usr/share/man/man1/$1.1.gz" 2>/dev/null | grep -qF -- "$2"; }
check "kolvik-cli manual page reads" page kolvik-cli 'door --stop-on-wrong-key is gestopt'
check "kolvik manual page reads" page kolvik 'contextmenuactie "Besleutel met Kolvik"'
# The MIME type of the package is one that update-mime-database accepts.
mkdir -p "$work/mime/packages"
cp "$root/usr/share/mime/packages/kolvik.xml" "$work/mime/packages/"
check "MIME database builds" bash -c "update-mime-database '$work/mime' 2>/dev/null && grep -q '\*\.kol' '$work/mime/globs2'"

checks_end
