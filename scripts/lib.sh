# Shell helpers shared by the scripts; sourced, not run.

# Runs a command with its output kept aside; shows that output only when the
# command fails, and then returns the command's status.
quietly() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if [[ $status -ne 0 ]]; then
    echo "failed (status $status): $*" >&2
    cat "$log" >&2
  fi
  rm -f "$log"
  return "$status"
}

# Sets the array as_root to what runs a command as root: nothing when we are
# root, sudo when it is there. Returns 1 when neither is available.
find_root() {
  as_root=()
  [[ $(id -u) -eq 0 ]] && return 0
  command -v sudo >/dev/null || return 1
  as_root=(sudo)
}

# The progress line: on a terminal, one line of standard error rewritten in
# place; elsewhere nothing, so that logs keep only what matters.
progress() {
  if [[ -t 2 ]]; then printf '\r\033[K%s' "$1" >&2; fi
}
progress_erase() {
  if [[ -t 2 ]]; then printf '\r\033[K' >&2; fi
}

# Runs a build (cmake --build ...), its steps shown as the progress line
# ("LABEL: 45%"); whatever else it says (warnings, errors, what failed) is
# written on standard output as it comes. A build with nothing to do shows
# nothing. Returns the build's status.
show_build() {
  local label=$1 line
  shift
  "$@" 2>&1 | {
    while IFS= read -r line; do
      if [[ $line =~ ^\[\ *([0-9]+)%\]\ Built\ target ]]; then
        continue
      elif [[ $line =~ ^\[\ *([0-9]+)%\]\  ]]; then
        progress "$label: ${BASH_REMATCH[1]}%"
      elif [[ $line =~ ^\[([0-9]+)/([0-9]+)\]\  ]]; then
        progress "$label: $((BASH_REMATCH[1] * 100 / BASH_REMATCH[2]))%"
      elif [[ $line != "Consolidate compiler generated dependencies"* ]]; then
        progress_erase
        printf '%s\n' "$line"
      fi
    done
    progress_erase
  }
}

# Runs ctest, the tests that pass shown as the progress line ("tests: 120
# of 550 run"); the tests that do not pass, with their output, and ctest's
# closing summary are written on standard output. Returns ctest's status.
show_tests() {
  local line blank=true
  "$@" 2>&1 | {
    while IFS= read -r line; do
      if [[ $line =~ ^\ *([0-9]+)/([0-9]+)\ Test\ +#[0-9]+:\ .*\ Passed\ +[0-9.]+\ sec$ ]]; then
        progress "tests: ${BASH_REMATCH[1]} of ${BASH_REMATCH[2]} run"
      elif [[ $line =~ ^(\ +Start\ +[0-9]+:\ |Test\ project\ |Internal\ ctest\ changing) ]]; then
        continue
      elif [[ -n $line ]] || ! $blank; then
        # Blank lines only to part what is shown, never two in a row.
        [[ -z $line ]] && blank=true || blank=false
        progress_erase
        printf '%s\n' "$line"
      fi
    done
    progress_erase
  }
}

# Readies wine64 to run Windows programs in the prefix given, kept warm by
# one wine server (stop it with stop_wine), with no debugging chatter and no
# offers to install Mono or Gecko; sets wine to the program that runs them.
# Returns 1 when wine cannot run a Windows program here.
start_wine() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine=/usr/lib/wine/wine64
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver -p || true  # one may already be running for this prefix
  "$wine" cmd /c echo wine runs >/dev/null 2>&1
}
stop_wine() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
}
