#!/usr/bin/env bash
# Builds the Debian package with CPack into a scratch folder, reads its
# control fields and file list, unpacks it into a scratch root and starts the
# program there through the command on the PATH.
#   deb_package_test.sh BUILD_DIR PROGRAM VERSION   (PROGRAM as installed under /usr)
set -uo pipefail
build=$1 program=$2 version=$3
source "$(dirname "$0")/installed_tree_checks.sh"
require_tools cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate appstreamcli

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB failed"; exit 1; }
shopt -s nullglob
debs=("$scratch"/out/*.deb)
((${#debs[@]} == 1)) || { fail "cpack made ${#debs[@]} packages"; exit 1; }
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tarnwick ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
[ "$(field Section)" = admin ] || fail "Section is $(field Section)"
[[ $(field Maintainer) =~ ^.+\ \<.+@.+\>$ ]] || fail "Maintainer is '$(field Maintainer)'"
[ -n "$(field Description)" ] || fail "the package has no description"
depends=$(field Depends)
# Computed from the binary: the C library, Qt and libcurl, with versions.
for library in libc6 libqt6core6 libqt6dbus6 libqt6widgets6 libcurl4; do
  [[ $depends =~ (^|,\ )$library\ \(\>=\ [^\)]+\) ]] || fail "Depends lacks $library: $depends"
done

# Owned by root, the program executable by all, the command a relative link.
listing=$(dpkg-deb -c "$deb")
line_of() { grep -E " \.$1( |$)" <<<"$listing"; }
[[ $(line_of "$program") =~ ^-rwxr-xr-x\ root/root ]] || fail "the program's entry is '$(line_of "$program")'"
[[ $(line_of /usr/bin/tarnwick) =~ ^lrwxrwxrwx\ root/root.*\ -\>\ \.\./\.\./ ]] ||
  fail "the command's entry is '$(line_of /usr/bin/tarnwick)'"
grep -v " root/root " <<<"$listing" && fail "entries not owned by root"

root="$scratch/root"
dpkg -x "$deb" "$root" || { fail "dpkg -x failed"; exit 1; }
check_installed_tree "$root" /usr "$program" "$version"
((failures == 0))
