# Sourced by the script tests: check WHAT EXPECTED ACTUAL counts a pass or prints the failure;
# checks_end prints the count and fails the script if any check failed.
passes=0 failures=0
check() {
  if [ "$2" == "$3" ]; then passes=$((passes + 1)); else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
checks_end() { echo "$passes passed, $failures failed"; [ "$failures" -eq 0 ] || exit 1; }
