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
