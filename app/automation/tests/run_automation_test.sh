#!/usr/bin/env bash
# One automation scenario on the private session bus this runs on (dbus-run-session starts it):
# a fresh settings store, Tallon registered in it as an installer would, then the scenario.
#   run_automation_test.sh SCENARIO
# Environment: TALLON, ZYNSCRIPT, ZYNPREFS, CHARTSCRIPT (programs), SCRIPTS (the .js folder), WORKDIR (a folder
# of this test's own).
set -euo pipefail

scenario=$1
rm -rf "$WORKDIR"
mkdir -p "$WORKDIR/store"
export ZYN_REGISTRY_DIR=$WORKDIR/store QT_QPA_PLATFORM=offscreen
background=()
trap 'for p in "${background[@]}"; do kill -9 "$p" 2>/dev/null || true; done' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The process behind a bus name, or nothing.
owner_pid() {
    { busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
        GetConnectionUnixProcessID s "$1" 2>/dev/null || true; } | awk '{print $2}'
}

# Instances of the program on this bus.
instances() {
    busctl --user list --no-legend 2>/dev/null | awk '{print $1}' | grep -c '^com\.zynthar\.Tallon\.Instance' || true
}

# Waits up to $2 seconds for process $1 to end.
wait_gone() {
    local deadline=$((SECONDS + $2))
    while kill -0 "$1" 2>/dev/null; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Waits up to $2 seconds for "$3" to appear in file $1.
wait_for_text() {
    local deadline=$((SECONDS + $2))
    until grep -q "$3" "$1" 2>/dev/null; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

"$TALLON" /Register || fail "Tallon /Register"

case $scenario in
script)
    # No program runs: creating the class starts one, and releasing everything ends it.
    "$ZYNSCRIPT" "$SCRIPTS/application.js" "$WORKDIR" >"$WORKDIR/out" 2>&1 &
    client=$!
    background+=("$client")
    pid=""
    for _ in $(seq 100); do
        pid=$(owner_pid com.zynthar.Tallon)
        [[ -n $pid ]] && break
        sleep 0.1
    done
    wait "$client" || { cat "$WORKDIR/out"; fail "the script failed"; }
    cat "$WORKDIR/out"
    grep -q '^PASS$' "$WORKDIR/out" || fail "the script did not pass"
    [[ -n $pid ]] || fail "no program served the class"
    wait_gone "$pid" 10 || fail "the program started for the script still runs 10 s after it let go"
    # Unregistered, the class is gone for clients.
    "$TALLON" /Unregister || fail "Tallon /Unregister"
    ! "$ZYNSCRIPT" "$SCRIPTS/peek.js" >"$WORKDIR/unregistered" 2>&1 || fail "the class was created after /Unregister"
    grep -q 'Cannot create an object of the class "Tallon.Application"' "$WORKDIR/unregistered" ||
        { cat "$WORKDIR/unregistered"; fail "no clear error for an unregistered class"; }
    ;;
shared | separate)
    # Two clients at once: one program for both with setting 140 at 0, one each otherwise.
    "$ZYNPREFS" 140 "$([[ $scenario == shared ]] && echo 0 || echo 1)"
    for client in first second; do
        "$ZYNSCRIPT" "$SCRIPTS/holder.js" 1 20 >"$WORKDIR/$client" 2>&1 &
        background+=($!)
        wait_for_text "$WORKDIR/$client" 60 ready || { cat "$WORKDIR/$client"; fail "the $client client did not get going"; }
    done
    expected=$([[ $scenario == shared ]] && echo 1 || echo 2)
    [[ $(instances) == "$expected" ]] || fail "$(instances) programs run for two clients, $expected expected"
    "$ZYNSCRIPT" "$SCRIPTS/peek.js" >"$WORKDIR/peek" 2>&1 || { cat "$WORKDIR/peek"; fail "a third client failed"; }
    cat "$WORKDIR/peek"
    grep -q "^$scenario\$" "$WORKDIR/peek" || fail "the third client does not see the charts as $scenario"
    ;;
killed)
    # A client killed while it holds charts: the program it started lets them go and ends.
    "$ZYNSCRIPT" "$SCRIPTS/holder.js" 2 60 >"$WORKDIR/holder" 2>&1 &
    client=$!
    background+=("$client")
    wait_for_text "$WORKDIR/holder" 60 ready || { cat "$WORKDIR/holder"; fail "the client did not get going"; }
    pid=$(owner_pid com.zynthar.Tallon)
    [[ -n $pid ]] || fail "no program served the class"
    kill -9 "$client"
    wait_gone "$pid" 10 || fail "the program still runs 10 s after its only client was killed"
    ;;
killed-user)
    # The same with a program the user started: it stays, and the client's windows go.
    "$TALLON" >"$WORKDIR/tallon" 2>&1 &
    tallon=$!
    background+=("$tallon")
    for _ in $(seq 300); do
        [[ -n $(owner_pid com.zynthar.Tallon) ]] && break
        sleep 0.1
    done
    "$ZYNSCRIPT" "$SCRIPTS/holder.js" 2 60 >"$WORKDIR/holder" 2>&1 &
    client=$!
    background+=("$client")
    wait_for_text "$WORKDIR/holder" 60 ready || { cat "$WORKDIR/holder"; fail "the client did not get going"; }
    kill -9 "$client"
    # Each window goes on the GUI thread after its sampling thread has stopped: a loaded machine takes its while.
    deadline=$((SECONDS + 30))
    until "$ZYNSCRIPT" "$SCRIPTS/peek.js" >"$WORKDIR/peek" 2>&1 && grep -q '^charts 1$' "$WORKDIR/peek"; do
        ((SECONDS < deadline)) || { cat "$WORKDIR/peek"; fail "the killed client's charts were not let go"; }
        sleep 0.2
    done
    kill -0 "$tallon" || fail "the program the user started ended"
    ;;
tools)
    # busctl and gdbus know nothing of the bridge. Nothing runs: the first call starts the
    # program through the bus's activation file, and it ends when the caller has left.
    app=(com.zynthar.Tallon /com/zynthar/Tallon/Application)
    describe=$(busctl --user call "${app[@]}" com.zynthar.Tallon.ICoApp Describe)
    [[ $describe == 's "Zynthar Tallon. Version 2.4  Build#1439"' ]] || fail "busctl Describe: $describe"
    for _ in $(seq 100); do
        [[ -z $(owner_pid com.zynthar.Tallon) ]] && break
        sleep 0.1
    done
    [[ -z $(owner_pid com.zynthar.Tallon) ]] || fail "the program started for one call still runs 10 s after it"

    # A script holds the application object meanwhile, so that every call below meets one program.
    "$ZYNSCRIPT" "$SCRIPTS/holder.js" 0 120 >"$WORKDIR/holder" 2>&1 &
    client=$!
    background+=("$client")
    wait_for_text "$WORKDIR/holder" 60 ready || { cat "$WORKDIR/holder"; fail "the holding script did not get going"; }
    pid=$(owner_pid com.zynthar.Tallon)
    [[ -n $pid ]] || fail "no program serves the script"

    busctl --user introspect "${app[@]}" >"$WORKDIR/introspect"
    for member in '.AddChart +method +- +o' '.FindChartWindow +method +s +o' '.LoadChart +method +v +o' \
        '.Charts +property +o' '.StatusText +property +s' '.ImportPrometheus +method +ssvvd +o'; do
        grep -Eq "^$member" "$WORKDIR/introspect" || { cat "$WORKDIR/introspect"; fail "introspection lacks $member"; }
    done
    busctl --user set-property "${app[@]}" com.zynthar.Tallon.ICoApp StatusText s "Set by busctl" ||
        fail "busctl set-property StatusText"
    ! busctl --user get-property "${app[@]}" com.zynthar.Tallon.ICoApp StatusText 2>"$WORKDIR/err" ||
        fail "StatusText was read"
    # By dispatch id: 4 is Describe.
    invoked=$(busctl --user call "${app[@]}" com.zynthar.Automation.Dispatch Invoke iiav 4 1 0)
    [[ $invoked == 'v s "Zynthar Tallon. Version 2.4  Build#1439"' ]] || fail "Invoke 4: $invoked"
    missing=$(busctl --user call "${app[@]}" com.zynthar.Tallon.ICoApp FileOpen s "$WORKDIR/missing.tlon")
    [[ $missing == 'o "/"' ]] || fail "FileOpen of a missing file: $missing"
    ! busctl --user call "${app[@]}" com.zynthar.Tallon.ICoApp FileOpen i 5 2>"$WORKDIR/err" || fail "FileOpen took a number"
    grep -q 'takes (s), not (i)' "$WORKDIR/err" || { cat "$WORKDIR/err"; fail "no clear text for a wrong argument"; }
    # The later version's member answers under the first version's name; a server that is not there
    # is an error that says so, not an empty chart.
    ! busctl --user call "${app[@]}" com.zynthar.Tallon.ICoApp ImportPrometheus ssvvd http://127.0.0.1:1 up \
        d 46000 d 46000.001 1 2>"$WORKDIR/err" || fail "an import from nowhere succeeded"
    grep -q '127.0.0.1' "$WORKDIR/err" || { cat "$WORKDIR/err"; fail "no reason for a failed import"; }
    chart=$(busctl --user call "${app[@]}" com.zynthar.Tallon.ICoApp AddChart)
    [[ $chart == 'o "/com/zynthar/Tallon/IZynChart/'* ]] || fail "AddChart: $chart"

    described=$(gdbus call --session --dest com.zynthar.Tallon --object-path /com/zynthar/Tallon/Application \
        --method com.zynthar.Tallon.ICoApp.Describe)
    [[ $described == "('Zynthar Tallon. Version 2.4  Build#1439',)" ]] || fail "gdbus Describe: $described"
    gdbus introspect --session --dest com.zynthar.Tallon --object-path /com/zynthar/Tallon/Application \
        >"$WORKDIR/gintrospect"
    grep -q 'FindChartWindow(in  s i_Identifier,' "$WORKDIR/gintrospect" || fail "gdbus introspection"
    ! gdbus call --session --dest com.zynthar.Tallon --object-path /com/zynthar/Tallon/Application \
        --method com.zynthar.Automation.Dispatch.Invoke 4 99 "[]" 2>"$WORKDIR/err" || fail "bad flags were taken"
    grep -q 'com.zynthar.Automation.Error.E80070057: The call flags 99 are not known (source: ICoApp)' \
        "$WORKDIR/err" || { cat "$WORKDIR/err"; fail "gdbus error text"; }

    [[ $(owner_pid com.zynthar.Tallon) == "$pid" ]] || fail "the calls did not all meet one program"
    kill -9 "$client"
    wait_gone "$pid" 10 || fail "the program still runs 10 s after its last client left"
    ;;
roundtrip)
    # A running chart's generated JScript, run as it was written, rebuilds the chart in the program:
    # a second client reads the rebuilt chart through automation while the script counts down.
    "$ZYNPREFS" 140 0
    "$CHARTSCRIPT" "$WORKDIR/chart.js" "$WORKDIR/expected" || fail "the script was not generated"
    "$ZYNSCRIPT" "$WORKDIR/chart.js" >"$WORKDIR/generated.out" 2>&1 &
    generated=$!
    background+=("$generated")
    deadline=$((SECONDS + 60))
    until "$ZYNSCRIPT" "$SCRIPTS/rebuilt-chart.js" >"$WORKDIR/actual" 2>&1 && cmp -s "$WORKDIR/expected" "$WORKDIR/actual"; do
        if ((SECONDS >= deadline)) || ! kill -0 "$generated" 2>/dev/null; then
            diff -u "$WORKDIR/expected" "$WORKDIR/actual" || true
            cat "$WORKDIR/generated.out"
            fail "the rebuilt chart differs from the one the script was made from"
        fi
        sleep 0.5
    done
    wait "$generated" || { cat "$WORKDIR/generated.out"; fail "the generated script failed"; }
    ! grep -q 'ERROR' "$WORKDIR/generated.out" || { cat "$WORKDIR/generated.out"; fail "the generated script reported an error"; }
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "scenario $scenario passed"
