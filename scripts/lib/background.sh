# Helpers for scripts that start programs in the background (source this file).

# work_folder NAME: sets the variable NAME to a new temporary folder and pids to
# an empty list; on exit every process in pids is ended and waited for, and the
# folder removed.
work_folder() {
  local folder
  folder=$(mktemp -d)
  printf -v "$1" '%s' "$folder"
  background_folder=$folder
  pids=()
  trap background_cleanup EXIT
}
background_cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$background_folder"
}

# start_xvfb: an Xvfb on a free display, added to pids; exports DISPLAY.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$background_folder/display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$background_folder/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$background_folder/display")"
}
