#!/usr/bin/env bash
# Runs the hivemend-cli commands of the README's recipes, in the order an
# endpoint manager, Ansible and a scheduled task would run them, and checks
# their exit codes and the registry they leave.
#
#   recipes.sh native CLI README            against a registry held in memory (--baseline)
#   recipes.sh wine CLI.exe README PREFIX   under Wine against the registry of PREFIX
set -euo pipefail
shopt -u patsub_replacement 2>/dev/null || true
mode=$1 cli=$2 readme=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
key="HKEY_CURRENT_USER\\Software\\HivemendTest\\Recipes-$$"

fail() { echo "recipes.sh: $*" >&2; exit 1; }
. "$root/tools/end-sessions.sh"

# The commands as the README writes them, after the program's name.
detect='diff C:\Policy\settings.reg --exit-code'
remediate='merge C:\Policy\settings.reg --rule differ'
ansible_drift='diff C:\Policy\settings.reg --exit-code --format json'
ansible_apply='merge C:\Policy\settings.reg --rule differ'
scheduled='merge C:\Policy\settings.reg --rule differ --history C:\ProgramData\Hivemend\history'
take_back='undo --last --history C:\ProgramData\Hivemend\history'
for command in "$detect" "$remediate" "$ansible_drift" "$ansible_apply" "$scheduled" "$take_back"; do
  grep -qF -- "$command" "$readme" || fail "the README no longer holds: $command"
done

# The policy, and a drift from it: a string in other letter case (SAME, yet
# not what the policy writes), another number, a value the policy deletes.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"Mode"="strict"\r\n"Level"=dword:00000003\r\n"Old"=-\r\n' \
  "$key" > "$work/policy.reg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"Mode"="STRICT"\r\n"Level"=dword:00000002\r\n"Old"="x"\r\n' \
  "$key" > "$work/drift.reg"
mkdir -p "$work/history" "$work/setup-history" "$work/xdg"

if [ "$mode" = wine ]; then
  export HIVEMEND_WINEPREFIX=$4
  winpath() { local p=${1//\//\\}; echo "Z:$p"; }
  policy_arg=$(winpath "$work/policy.reg")
  history_arg=$(winpath "$work/history")
  wine_reg() { "$root/tools/wine-run.sh" reg "$@" >/dev/null 2>&1; }
  cleanup() { end_descendants; wine_reg delete "$key" /f || true; rm -rf "$work"; }
  wine_reg delete "$key" /f || true
else
  export XDG_DATA_HOME=$work/xdg  # the default history folder
  policy_arg=$work/policy.reg
  history_arg=$work/history
  printf 'Windows Registry Editor Version 5.00\r\n' > "$work/state.reg"
  cleanup() { end_descendants; rm -rf "$work"; }
fi
trap cleanup EXIT

# run EXPECTED_EXIT_CODE COMMAND: the README's command with this run's paths.
run() {
  local expect=$1 text=$2 rc args
  text=${text//'C:\Policy\settings.reg'/"$policy_arg"}
  text=${text//'C:\ProgramData\Hivemend\history'/"$history_arg"}
  read -r -a args <<<"$text"
  set +e
  if [ "$mode" = wine ]; then
    "$root/tools/wine-run.sh" "$cli" "${args[@]}" <"${input:-/dev/null}" >"$work/out" 2>"$work/err"
    rc=$?
  else
    # The registry in memory lives on from one command to the next in state.reg.
    args+=(--baseline "$work/state.reg")
    case ${args[0]} in merge|undo) args+=(--state-out "$work/next.reg") ;; esac
    "$cli" "${args[@]}" <"${input:-/dev/null}" >"$work/out" 2>"$work/err"
    rc=$?
    [ -f "$work/next.reg" ] && mv "$work/next.reg" "$work/state.reg"
  fi
  set -e
  [ "$rc" = "$expect" ] || fail "'$2' exited with $rc, not $expect: $(cat "$work/out" "$work/err")"
}

# The registry drifts from the policy.
drift() {
  local history=$work/setup-history
  if [ "$mode" = wine ]; then
    run 0 "merge $(winpath "$work/drift.reg") --history $(winpath "$history")"
  else
    run 0 "merge $work/drift.reg --history $history"
  fi
}

json_would_change() {
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["counts"]["would_change"])' "$work/out"
}

# Endpoint manager: detection finds the drift, remediation repairs it.
drift
run 1 "$detect"
run 0 "$remediate"
run 0 "$detect"

# Ansible: no change reported while nothing drifted; then drift, change, apply.
run 0 "$ansible_drift"
[ "$(json_would_change)" = 0 ] || fail "no drift, yet would_change is $(json_would_change)"
drift
run 1 "$ansible_drift"
[ "$(json_would_change)" = 3 ] || fail "three values drifted, yet would_change is $(json_would_change)"
run 0 "$ansible_apply"
run 0 "$detect"

# Scheduled task: each run leaves an undo file; the last run can be taken
# back, and so can that undo.
undo_files() { find "$work/history" -name 'hivemend_undo_*.reg' | wc -l; }
drift
run 0 "$scheduled"   # repairs the drift
run 0 "$detect"
run 0 "$scheduled"   # nothing to do: an undo file without values
[ "$(undo_files)" = 2 ] || fail "expected an undo file per run, found $(undo_files)"
run 0 "$take_back"   # the last run changed nothing: nothing comes back
run 0 "$detect"
drift
run 0 "$scheduled"
run 0 "$take_back"   # the drift comes back
run 1 "$detect"
run 0 "$take_back"   # and goes again
run 0 "$detect"
[ "$(undo_files)" = 5 ] || fail "expected 5 undo files, found $(undo_files)"
# Standard input is read as a file is: the policy as UTF-16, in binary mode.
python3 -c 'import sys; open(sys.argv[2], "wb").write(b"\xff\xfe" + open(sys.argv[1], "rb").read().decode("ascii").encode("utf-16-le"))' \
  "$work/policy.reg" "$work/policy16.reg"
input=$work/policy16.reg run 0 "diff - --exit-code"
drift
input=$work/policy16.reg run 1 "diff - --exit-code"
input=$work/policy16.reg run 0 "merge - --rule differ"
run 0 "$detect"

echo "recipes: all commands behaved as the README says ($mode)"
