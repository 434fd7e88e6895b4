# shellcheck shell=bash
# What every script of scripts/ shares. A script sources it first:
#   source "$(dirname "$0")/lib/common.sh"
# which moves to the project's root (set as `root`) and gives:
#   fail MESSAGE...                 print "SCRIPT: MESSAGE" on stderr and end with 1
#   run_setup [--windows]           scripts/setup: install what is missing (its messages on
#                                   stderr, so that a script's stdout stays its result)
#   configure_tree DIR [SETTING...] configure DIR as a Ninja build of this project,
#                                   RelWithDebInfo unless a SETTING says otherwise
#   build_tree DIR [TARGET...]      build the configured DIR: those targets, or everything
#   quietly COMMAND...              run COMMAND with its output shown only when it fails
#   poll SECONDS COMMAND...         true once COMMAND succeeds, false after SECONDS
#   xvfb_start FOLDER               a private Xvfb (1280x800x24, no TCP): DISPLAY exported,
#                                   XVFB_PID set, its log in FOLDER/xvfb.log
#   xvfb_stop                       stop that Xvfb, by its PID
# shellcheck disable=SC2034  # root and XVFB_PID are read by the sourcing script

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
script_name=${0##*/}
XVFB_PID=""

fail() {
  echo "$script_name: $*" >&2
  exit 1
}

# shellcheck disable=SC2120  # most scripts need no --windows
run_setup() {
  "$root/scripts/setup" "$@" >&2
}

configure_tree() { # dir [setting...]
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}

build_tree() { # dir [target...]
  local dir=$1
  shift
  cmake --build "$dir" ${1:+--target "$@"}
}

quietly() { # command...
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  ((status == 0)) || cat "$log" >&2
  rm -f "$log"
  return "$status"
}

poll() { # seconds command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

xvfb_start() { # folder
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$1/display" 2>"$1/xvfb.log" &
  XVFB_PID=$!
  poll 10 test -s "$1/display" || fail "Xvfb did not start: $(cat "$1/xvfb.log")"
  DISPLAY=":$(cat "$1/display")"
  export DISPLAY
}

xvfb_stop() {
  [ -n "$XVFB_PID" ] || return 0
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
}
