#!/usr/bin/env bash
# The Debian package as dpkg and lintian see it, and its programs run from where it unpacks.
set -u
config=${QUILLMOTE_CPACK_CONFIG:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$config" -G DEB -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/quillmote_*_"$(dpkg --print-architecture)".deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { fail "no quillmote_<version>_<arch>.deb: $(ls "$work")"; exit 1; }

depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6core6 libqt6widgets6 libmosquitto1 libportaudio2 libharfbuzz0b libicu72; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
grep -q -- "-dev\b" <<<"$depends" && fail "Depends names a build package: $depends"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in usr/bin/quillmote usr/bin/quillmote-cli usr/share/applications/quillmote.desktop \
    usr/share/icons/hicolor/scalable/apps/quillmote.svg usr/share/quillmote/demo-capture.json \
    usr/lib/systemd/system/quillmote.service usr/lib/systemd/user/quillmote-user.service \
    usr/share/doc/quillmote/copyright usr/share/man/man1/quillmote.1.gz usr/share/man/man1/quillmote-cli.1.gz \
    usr/share/metainfo/org.quillmote.Quillmote.metainfo.xml; do
    grep -qx "./$path" <<<"$contents" || fail "the package lacks /$path"
done

dpkg -x "$deb" "$work/root"
version=$(dpkg-deb --field "$deb" Version)
[ "$("$work/root/usr/bin/quillmote-cli" --version)" = "quillmote-cli $version" ] || fail "installed --version"
"$work/root/usr/bin/quillmote-cli" fixture "$work/root/usr/share/quillmote/demo-capture.json" >"$work/demo.json" ||
    fail "the installed quillmote-cli cannot read the installed demo capture"
[ "$(grep -c '"deviceKey"' "$work/demo.json")" -gt 100 ] || fail "the installed demo capture is nearly empty"

if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian reports errors"; }
    sed 's/^/lintian: /' "$work/lintian.log"
fi
[ "$failures" = 0 ] && echo "package checks passed"
exit $((failures > 0))
