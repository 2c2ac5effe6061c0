#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the example hosts (C command line, Python ctypes, C# on Mono) against the module and the
# recording stand-in, and checks what each printed, returned and passed to the client library.
# Usage: check_hosts.sh MODULE_DIR STUB_DIR CLI SOURCE_DIR [cli]
# With "cli", only the command-line host (for a C library that other hosts cannot load, such as
# musl); QUIVANE_HOST_CC then names that library's C compiler.
set -u
module_dir=$1
stub_dir=$2
cli=$3
source=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export LD_LIBRARY_PATH=$stub_dir:$module_dir
export QUIVANE_STUB_LOG=$scratch/calls.log

# check NAME WANT_EXIT WANT_OUTPUT_PATTERN WANT_LOG_LINE COMMAND...
check() {
  local name=$1 want_exit=$2 pattern=$3 want_log=$4
  shift 4
  rm -f "$QUIVANE_STUB_LOG"
  local out status
  out=$(timeout 60 "$@" 2>&1)
  status=$?
  [ "$status" -eq "$want_exit" ] || fail "$name: exit $status, want $want_exit; output: $out"
  tr "\n" " " <<<"$out" | grep -Eq -- "$pattern" || fail "$name: output does not match /$pattern/: $out"
  local logged=""
  [ -f "$QUIVANE_STUB_LOG" ] && logged=$(cat "$QUIVANE_STUB_LOG")
  [ "$logged" = "$want_log" ] || fail "$name: client library saw [$logged], want [$want_log]"
}

call() { # the log line the stand-in writes for NAME TYPE DOMAIN PORTHEX
  echo "name=$1 regtype=$2 domain=$3 port=$4 flags=0 if=0 host=(null) txtLen=0"
}

# The command-line host.
check "cli accepted" 0 '= true .*domain buffer after the call: ""' "$(call 'Cli Host' _qvhost._tcp '' 1267)" \
  "$cli" "Cli Host" _qvhost._tcp . 4711 --seconds 0
check "cli keeps its domain" 0 'domain buffer after the call: "local\."' "$(call 'Cli Host' _qvhost._tcp local. 0050)" \
  "$cli" "Cli Host" _qvhost._tcp local. 80 --seconds 0
check "cli refused" 5 'registration refused' "$(call 'Cli Host' _qvhost._tcp '' 0050)" \
  env QUIVANE_STUB_RESULT=-65540 "$cli" "Cli Host" _qvhost._tcp . 80 --seconds 0
check "cli usage: too few" 2 'usage:' "" "$cli" "Cli Host" _qvhost._tcp .
check "cli usage: bad port" 2 'usage:' "" "$cli" "Cli Host" _qvhost._tcp . 65536
check "cli usage: bad option" 2 'usage:' "" "$cli" "Cli Host" _qvhost._tcp . 80 --forever
check "cli no module" 3 'cannot load the module libQuivaneDll.so' "" \
  env LD_LIBRARY_PATH="$stub_dir" "$cli" "Cli Host" _qvhost._tcp . 80 --seconds 0
mkdir -p "$scratch/empty"
echo 'int NotRegisterService(void) { return 0; }' >"$scratch/empty.c"
"${QUIVANE_HOST_CC:-cc}" -shared -fPIC -o "$scratch/empty/libQuivaneDll.so" "$scratch/empty.c"
check "cli symbol missing" 4 'exports no RegisterService' "" \
  env LD_LIBRARY_PATH="$stub_dir:$scratch/empty" "$cli" "Cli Host" _qvhost._tcp . 80 --seconds 0
# Without --seconds the host waits for a signal and then ends cleanly.
rm -f "$QUIVANE_STUB_LOG"
"$cli" "Cli Host" _qvhost._tcp . 80 >"$scratch/signal.out" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q 'until SIGINT' "$scratch/signal.out" && break; sleep 0.05; done
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" -eq 0 ] && grep -q 'stopping on signal' "$scratch/signal.out" \
  || fail "cli on SIGTERM: exit $status: $(cat "$scratch/signal.out")"

if [ "${5:-all}" = cli ]; then
  [ "$failures" -eq 0 ] || { echo "$failures host check(s) failed"; exit 1; }
  echo "command-line host OK"
  exit 0
fi

# The Python ctypes host.
python=/usr/bin/python3
check "python accepted" 0 "RegisterService = True; domain buffer after the call: ''" \
  "$(call 'Py Host' _qvhost._tcp '' 1267)" "$python" "$source/examples/quivane_advertise.py" "Py Host" _qvhost._tcp . 4711
# With ctypes' default int result, a false would read as true when the high bytes are set.
check "python refused" 5 "RegisterService = False" "$(call 'Py Host' _qvhost._tcp '' 1267)" \
  env QUIVANE_STUB_RESULT=-65537 "$python" "$source/examples/quivane_advertise.py" "Py Host" _qvhost._tcp . 4711

# The C# host on Mono.
if ! command -v mcs >/dev/null || ! command -v mono >/dev/null; then
  fail "mono-mcs and mono-runtime are needed for the C# host"
else
  mcs -nologo -out:"$scratch/QuivaneAdvertise.exe" "$source/examples/QuivaneAdvertise.cs" \
    || fail "C# host does not compile"
  name=$(printf 'C\xc3\xa9 Host')
  check "c# accepted" 0 "RegisterService = True; domain buffer after the call: ''" \
    "$(call "$name" _qvhost._tcp '' 1267)" mono "$scratch/QuivaneAdvertise.exe" "$name" _qvhost._tcp . 4711
  check "c# refused" 5 "RegisterService = False; domain buffer after the call: 'x.'" \
    "$(call "$name" _qvhost._tcp x. 0001)" \
    env QUIVANE_STUB_RESULT=1 mono "$scratch/QuivaneAdvertise.exe" "$name" _qvhost._tcp x. 1
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures host check(s) failed"
  exit 1
fi
echo "hosts OK"
