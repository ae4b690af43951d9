# Sourced by the check scripts: check_label names the checks, work is a
# scratch directory, rc collects failures.
#   check <name> <command...>: runs the command with its output in
#   $work/<name>.log and prints "<label>: <name> passed" or its log's end and
#   "<label>: <name> failed".
rc=0
check() {
  local name=$1
  shift
  if "$@" >"$work/$name.log" 2>&1; then
    echo "$check_label: $name passed"
  else
    tail -n 20 "$work/$name.log"
    echo "$check_label: $name failed"
    rc=1
  fi
}
