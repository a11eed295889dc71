# Checks shared by the install and package tests, sourced by both: what an
# installation of Tarnwick holds below a scratch root, and that the installed
# program works from there.
#   check_installed_tree ROOT PREFIX PROGRAM VERSION SCRATCH
# ROOT is the scratch root, PREFIX the install prefix (/usr, /usr/local),
# PROGRAM the program's path as installed (without ROOT).

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || {
      echo "FAIL: $tool is missing (tools/setup-and-test installs it)" >&2
      exit 1
    }
  done
}

# Runs the installed program with a home of its own and no display, so
# nothing reaches the real home, the settings or a window.
run_isolated() {
  local home="$scratch/home"
  mkdir -p "$home/config" "$home/data"
  env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen \
    timeout 30 "$@"
}

check_file_list() {
  local root=$1 prefix=$2 program=$3
  local -a expected=(
    "$program"
    "$prefix/bin/tarnwick"
    "$prefix/share/applications/it.velmora.Tarnwick.desktop"
    "$prefix/share/metainfo/it.velmora.Tarnwick.metainfo.xml"
    "$prefix/share/dbus-1/services/it.velmora.Tarnwick.service"
  )
  local entry path
  for path in "${expected[@]}"; do
    [ -e "$root$path" ] || [ -L "$root$path" ] || fail "$path is not installed"
  done
  # Anything else is a surprise, save the program's icons in the hicolor theme.
  while IFS= read -r entry; do
    path=${entry#"$root"}
    case " ${expected[*]} " in *" $path "*) continue ;; esac
    [[ $path =~ ^$prefix/share/icons/hicolor/[^/]+/apps/it\.velmora\.Tarnwick\.(png|svg)$ ]] && continue
    fail "unexpected installed file $path"
  done < <(find "$root" ! -type d)
}

check_program_and_command() {
  local root=$1 prefix=$2 program=$3
  [ -f "$root$program" ] && [ -x "$root$program" ] || fail "$program is not an executable file"
  local command="$root$prefix/bin/tarnwick"
  [ -L "$command" ] || fail "$prefix/bin/tarnwick is not a symbolic link"
  [ "$(readlink -f "$command")" = "$(readlink -f "$root$program")" ] ||
    fail "$prefix/bin/tarnwick leads to $(readlink "$command"), not to $program"
}

check_desktop_entry() {
  local root=$1 prefix=$2 program=$3
  local entry="$root$prefix/share/applications/it.velmora.Tarnwick.desktop"
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects the desktop entry"
  local exec=$program
  [[ $program =~ ^[A-Za-z0-9/._+-]+$ ]] || exec="\"$program\""
  # The menu opens the whole suite's list with one question for the run;
  # its action opens the options window.
  grep -qxF "Exec=$exec @c" "$entry" || fail "the desktop entry does not start $program @c: $(grep ^Exec= "$entry")"
  grep -qxF "Exec=$exec host" "$entry" || fail "the desktop entry has no action to configure the repository"
  grep -qx "Icon=it.velmora.Tarnwick" "$entry" || fail "the desktop entry names another icon"
}

check_metainfo() {
  local root=$1 prefix=$2 version=$3
  local metainfo="$root$prefix/share/metainfo/it.velmora.Tarnwick.metainfo.xml"
  appstreamcli validate --no-net --explain "$metainfo" || fail "appstreamcli rejects the metainfo"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo does not release $version"
}

# The installed activation file must be what `--regserver` writes for the
# same program, and the program started through the command on the PATH must
# see its own place in the suite (the written path is the real program's).
check_activation_file() {
  local root=$1 prefix=$2 program=$3
  local installed="$root$prefix/share/dbus-1/services/it.velmora.Tarnwick.service"
  local written="$scratch/home/data/dbus-1/services/it.velmora.Tarnwick.service"
  run_isolated "$root$prefix/bin/tarnwick" --regserver || fail "tarnwick --regserver failed"
  [ -f "$written" ] || { fail "tarnwick --regserver wrote no activation file"; return; }
  local expected
  expected=$(sed "s|^Exec=\"$program\"|Exec=\"$(readlink -f "$root$program")\"|" "$installed")
  [ "$expected" = "$(cat "$written")" ] ||
    fail "the installed activation file differs from what --regserver writes:
$(cat "$installed")
--- written by the program:
$(cat "$written")"
}

check_version_switch() {
  local root=$1 prefix=$2 program=$3 version=$4
  if ! grep -aq -- "--version" "$root$program"; then
    echo "SKIPPED: the program has no --version switch yet; not started from the package"
    return
  fi
  local output
  output=$(run_isolated "$root$prefix/bin/tarnwick" --version) || fail "tarnwick --version failed"
  [[ $output == *"$version"* ]] || fail "tarnwick --version does not print $version: $output"
}

check_installed_tree() {
  local root=$1 prefix=$2 program=$3 version=$4
  check_file_list "$root" "$prefix" "$program"
  check_program_and_command "$root" "$prefix" "$program"
  check_desktop_entry "$root" "$prefix" "$program"
  check_metainfo "$root" "$prefix" "$version"
  check_activation_file "$root" "$prefix" "$program"
  check_version_switch "$root" "$prefix" "$program" "$version"
}
