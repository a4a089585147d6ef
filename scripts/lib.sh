# Shared by the project's scripts (sourced, not run): which Windows build this machine can test, and
# stages that say why they failed.

# Whether this machine executes 32-bit x86 programs. Some machines of the same kind cannot ("Exec
# format error"): their kernel runs no i386 code at all, so 32-bit Wine cannot start there. Asked of
# the kernel with the smallest such program, which only exits with status 42.
can_run_i386() {
  local probe status
  probe="$(mktemp)"
  base64 -d > "$probe" <<'ELF'
f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhgAAAAYAAAAAUAAAAAEAAAuAEAAAC7KgAAAM2A
ELF
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# The Windows build whose tests run here: i686 (the shipped 32-bit programs, under 32-bit Wine) where
# the machine runs 32-bit programs, else x86_64 under wine64. QUORVEL_WINDOWS_ARCH=x86_64 (or i686)
# chooses instead, for trying the other way.
windows_arch() {
  case "${QUORVEL_WINDOWS_ARCH:-}" in
    i686 | x86_64) echo "$QUORVEL_WINDOWS_ARCH" ;;
    "") if can_run_i386; then echo i686; else echo x86_64; fi ;;
    *) echo "QUORVEL_WINDOWS_ARCH must be i686 or x86_64, not '$QUORVEL_WINDOWS_ARCH'" >&2; return 1 ;;
  esac
}

# The CMake preset of each Windows build, and the script that runs its programs under Wine.
windows_preset() { if [ "$1" = x86_64 ]; then echo windows64; else echo windows; fi; }
scripts_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run_of() { if [ "$1" = windows64 ]; then echo "$scripts_dir/wine64-run"; else echo "$scripts_dir/wine-run"; fi; }

# stage NAME COMMAND [ARG]...: runs the command with its output shown as it comes; when it fails,
# ends the script saying which stage and command failed, with the last lines of their output.
# quiet_stage does the same, with the output shown only when the command fails.
stage() { run_stage shown "$@"; }
quiet_stage() { run_stage quiet "$@"; }

run_stage() {
  local how="$1" name="$2" log status
  shift 2
  log="$(mktemp)"
  set +e
  if [ "$how" = shown ]; then
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
  else
    "$@" >"$log" 2>&1
    status=$?
  fi
  set -e
  if [ "$status" -ne 0 ]; then
    {
      echo
      echo "FAILED: stage '$name' (exit status $status)"
      echo "  command:$(printf ' %q' "$@")"
      echo "  its last lines of output:"
      tail -n 40 "$log" | sed 's/^/    | /'
    } >&2
    rm -f "$log"
    exit "$status"
  fi
  rm -f "$log"
}
