#!/bin/sh
# A history shared by a line's PCs on a real PostgreSQL server, which this
# test starts in its own folder as an unprivileged user (a user namespace of
# its own maps it to "nobody") on a free port of 127.0.0.1: a batch of eight
# devices writes eight records there, with their backups; a server stopped
# in the middle of a batch loses no record (they wait on the station and
# arrive once it is back and the next run starts); two stations (two kits,
# each with its own state folder) write at once to a fresh database.
. "$(dirname "$0")/kit_test_lib.sh"
. "$(dirname "$0")/../netns/devsim_fleet.sh"

pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2> /dev/null | sort -V | tail -n 1)
if [ -z "$pg_bin" ] || [ ! -x "$pg_bin/initdb" ] || [ ! -x "$pg_bin/pg_ctl" ] || [ ! -x "$pg_bin/psql" ]; then
    echo "SKIP: no PostgreSQL server here (Debian package postgresql; make deps installs it)"
    exit 77
fi

pg_data="$work/pg/data"
pg_port=""
pg_started=0
# as_server COMMAND...: as "nobody" in a user namespace of its own, the
# network (this test's) shared; the server refuses to run as root.
as_server() { unshare --user --map-user=65534 --map-group=65534 -- "$@"; }
pg_start() {
    as_server "$pg_bin/pg_ctl" -D "$pg_data" -l "$work/pg/server.log" -w -t 30 \
        -o "-c listen_addresses=127.0.0.1 -p $pg_port -c unix_socket_directories=$work/pg -c fsync=off" \
        start > "$work/pg/ctl.log" 2>&1 && pg_started=1
}
pg_stop() {
    [ "$pg_started" = 1 ] || return 0
    as_server "$pg_bin/pg_ctl" -D "$pg_data" -m fast -w -t 30 stop > "$work/pg/ctl.log" 2>&1
    pg_started=0
}
trap 'fleet_stop; pg_stop; finish' EXIT

ip link set lo up || exit 1
mkdir -p "$work/pg" && chmod 755 "$work" "$work/pg"
if ! as_server "$pg_bin/initdb" -D "$pg_data" -U line --auth=trust --no-sync -E UTF8 > "$work/pg/initdb.log" 2>&1; then
    cat "$work/pg/initdb.log"
    echo "FAIL: initdb as an unprivileged user"
    exit 1
fi
# The first port from 54321 on that nothing holds.
for port in $(seq 54321 54340); do
    pg_port=$port
    pg_start && break
done
if [ "$pg_started" != 1 ]; then
    cat "$work/pg/server.log"
    echo "FAIL: the PostgreSQL server did not start"
    exit 1
fi
sql() { "$pg_bin/psql" -X -A -t -q -h 127.0.0.1 -p "$pg_port" -U line -d "$1" -c "$2"; }
sql postgres "CREATE DATABASE line1" && sql postgres "CREATE DATABASE line2" || exit 1
url="postgresql://line@127.0.0.1:$pg_port/line1"

# station NAME: a PC of the line, with its own kit and its own state folder.
station() {
    install_kit "$work/$1"
    mkdir -p "$work/state-$1"
}
# on STATION COMMAND...: the command on that station's kit and state.
on() {
    _station="$1"
    shift
    (cd "$work/$_station" && XDG_STATE_HOME="$work/state-$_station" exec timeout -k 5 90 "$@") < /dev/null
}
station a
station b

devices=""
for n in 1 2 3 4 5 6 7 8; do
    mac="0A-3F-71-00-02-0$n"
    devices="$devices $mac"
    fleet_start "$work" "$mac" --fw-version 1.3.2 --flash "$work/flash-$mac.bin"
done
fleet_ready || exit 1
printf '%s\n' $devices > "$work/all.txt"
printf '%s\n' $devices | head -n 4 > "$work/first.txt"
printf '%s\n' $devices | tail -n 4 > "$work/last.txt"

# --- A batch of eight upgrades: eight records and eight backups on the server.
on a ./ndxupgrade --upgrade --interface hl0 --mac-list "$work/all.txt" --jobs 8 --history-db "$url" \
    > "$work/batch.out" 2> "$work/batch.err"
status=$?
cat "$work/batch.out" "$work/batch.err"
check "batch of eight: exit 0" [ "$status" -eq 0 ]
check "eight records on the server" [ "$(sql line1 "SELECT COUNT(*) FROM operations")" -eq 8 ]
check "all eight ok, one per device" \
    [ "$(sql line1 "SELECT COUNT(DISTINCT mac) FROM operations WHERE result = 'ok' AND backup_status = 'stored'")" -eq 8 ]
check "eight backups" [ "$(sql line1 "SELECT COUNT(*) FROM backups")" -eq 8 ]
run=$(sed -n 's/^ndxupgrade: run folder \(.*\) (8 devices.*$/\1/p' "$work/batch.err")
mac=0A-3F-71-00-02-05
check "the backup is in the device's folder of the run" \
    [ "$(hex_of "$run/$mac/Kernel/backup.bin" | tr -d '\n')" = \
      "$(sql line1 "SELECT encode(bytes, 'hex') FROM backups WHERE mac = '$mac'")" ]
check "the record names the run folder and the kit" \
    [ "$(sql line1 "SELECT run_folder || ' ' || kit_dir FROM operations WHERE mac = '$mac'")" = "$run $work/a" ]
check "nothing waits on the station" \
    [ "$(on a ./ndxupgrade --history --format csv | grep -c ',yes,[0-9a-f-]*,')" -eq 0 ]
check "another station sees them all" \
    [ "$(on b ./ndxupgrade --history --history-db "$url" | grep -c ' upgrade ')" -eq 8 ]

# --- The server stopped in the middle of a batch: no record is lost.
(on a ./ndxupgrade --query-version --interface hl0 --mac-list "$work/all.txt" --jobs 1 --history-db "$url" \
    > "$work/outage.out" 2> "$work/outage.err"; echo $? > "$work/outage.status") &
batch=$!
n=0
until [ "$(sql line1 "SELECT COUNT(*) FROM operations" 2> /dev/null)" -ge 10 ] || [ "$n" -ge 300 ]; do
    sleep 0.1
    n=$((n + 1))
done
pg_stop
wait "$batch"
cat "$work/outage.out" "$work/outage.err"
check "outage: the batch goes on (exit 0)" [ "$(cat "$work/outage.status")" -eq 0 ]
check "outage: told once for the batch" \
    [ "$(grep -c "^ndxupgrade: history: cannot reach postgresql://line@127.0.0.1:$pg_port/line1: " "$work/outage.err")" -eq 1 ]
on a ./ndxupgrade --history --format csv > "$work/local.csv"
waiting=$(grep -c ',yes,[0-9a-f-]*,' "$work/local.csv")
check "outage: the station keeps what the server missed" [ "$waiting" -ge 1 ]
pg_start || fail "the server starts again"
check "outage: the server had only the first ones" \
    [ "$(sql line1 "SELECT COUNT(*) FROM operations")" -eq $((16 - waiting)) ]
on a ./ndxupgrade --query-version --interface hl0 --mac 0A-3F-71-00-02-01 --history-db "$url" \
    > "$work/next.out" 2> "$work/next.err"
check "the next run: sent what waited, and its own" [ "$(sql line1 "SELECT COUNT(*) FROM operations")" -eq 17 ]
check "the next run: each record once" \
    [ "$(sql line1 "SELECT COUNT(DISTINCT record_uid) FROM operations WHERE action = 'version query'")" -eq 9 ]
# The version queries ran one after another: the server got them in that order.
check "the next run: in order" \
    [ "$(sql line1 "SELECT COUNT(*) FROM operations a JOIN operations b ON a.id < b.id
                    WHERE a.action = 'version query' AND b.action = 'version query' AND a.started_at > b.started_at")" -eq 0 ]
check "the next run: nothing waits any more" \
    [ "$(on a ./ndxupgrade --history --format csv | grep -c ',yes,[0-9a-f-]*,')" -eq 0 ]
check "the next run: says it sent them" grep -q "^ndxupgrade: history: $waiting kept record(s) sent to " "$work/next.err"

# --- Two stations at once, on a database that neither has seen yet.
url2="postgresql://line@127.0.0.1:$pg_port/line2"
on a ./ndxupgrade --query-version --interface hl0 --mac-list "$work/first.txt" --history-db "$url2" \
    > "$work/a.out" 2> "$work/a.err" &
first=$!
on b ./ndxupgrade --query-version --interface hl0 --mac-list "$work/last.txt" --history-db "$url2" \
    > "$work/b.out" 2> "$work/b.err" &
second=$!
wait "$first"
status_a=$?
wait "$second"
status_b=$?
cat "$work/a.out" "$work/a.err" "$work/b.out" "$work/b.err"
check "two stations: both exit 0" [ "$status_a $status_b" = "0 0" ]
check "two stations: nothing kept back" not grep -q 'history:' "$work/a.err" "$work/b.err"
check "two stations: four records of each kit" \
    [ "$(sql line2 "SELECT kit_dir || ':' || COUNT(*) FROM operations GROUP BY kit_dir ORDER BY kit_dir" | tr '\n' ' ')" = \
      "$work/a:4 $work/b:4 " ]
check "two stations: each sees all eight" \
    [ "$(on a ./ndxupgrade --history --history-db "$url2" | grep -c ' version query ')" -eq 8 ]

verdict
