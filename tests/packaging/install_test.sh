#!/usr/bin/env bash
# `cmake --install` into a scratch root: the program lands in the suite's
# Eseguibili folder, the desktop files and the command under the prefix, and
# nothing else anywhere.
#   install_test.sh BUILD_DIR PROGRAM VERSION   (PROGRAM as installed under /usr/local)
set -uo pipefail
build=$1 program=$2 version=$3
source "$(dirname "$0")/installed_tree_checks.sh"
require_tools cmake desktop-file-validate appstreamcli

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"

DESTDIR="$root" cmake --install "$build" --prefix /usr/local >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log" >&2; fail "cmake --install failed"; exit 1; }
check_installed_tree "$root" /usr/local "$program" "$version"
((failures == 0))
