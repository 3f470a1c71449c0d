# shellcheck shell=bash disable=SC2154
# The system test's cases, run by scripts/system-test in the booted
# container, in this order (each starts from where the one before left the
# machine). Sourced: it uses in_ct, on_net, ctroot, work and root from there.
#   scripts/system-test [case ...]   runs the cases named, or all.

cases=(
  "socket_activation   nothing runs until the first request; the service then runs as a dynamic user"
  "two_boards          two accounts' boards fill their 24 rows from the one service in one upstream wave"
  "service_stopped     the service stopped mid-session: rows kept, the socket starts it at the next refresh"
  "daily_limit         a restart after a 429 'daily limit' asks the upstream nothing more that day"
  "broken_settings     a broken settings file: the unit fails once, the journal names the file and line at err, no key"
  "check_config        rorizedivo-forecastd --check-config gives the unit's verdict"
  "settings_deleted    without its settings file the unit starts on its defaults and /health answers"
  "stranger_listeners  neither a subordinate-uid listener nor a deferred-accept one is trusted; a [::] IPV6_V6ONLY one beside root's is no matter"
  "purge               purge leaves nothing in /etc/rorizedivo, /var/cache or /var/lib"
)

unit=rorizedivo-forecastd
conf=/etc/rorizedivo/forecastd.conf
key=S3CRETKEY123
# The settings the cases run with: the stand-in upstream, and a key that must
# never reach the journal.
good_settings="# the system test's settings
forecast-upstream = http://127.0.0.1:8700/v1/forecast
air-quality-upstream = http://127.0.0.1:8700/v1/air-quality
api-key = $key
"
# Its fourth line has no '='.
broken_settings="# the system test's settings, broken
forecast-upstream = http://127.0.0.1:8700/v1/forecast
air-quality-upstream = http://127.0.0.1:8700/v1/air-quality
api-key: $key
"

fail() {
  echo "FAILED: $*"
  exit 1
}

# wait_for SECONDS WHAT COMMAND...: until the command succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $((seconds * 10))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "waited ${seconds} s for $what"
}

state_of() { in_ct systemctl is-active "$1" 2>/dev/null || true; }
# Whether the service has ended, for good or until systemd restarts it.
ended() { in_ct systemctl show -P SubState "$unit.service" | grep -qxE 'failed|auto-restart|dead'; }
service_pid() { in_ct systemctl show -P MainPID "$unit.service"; }
# request PATH: the HTTP status the feed service answers with.
request() { on_net curl -s -o /dev/null -w '%{http_code}' -m 60 "http://127.0.0.1:8619$1" || true; }
# calls [forecast|air-quality]: the calls the stand-in upstream has seen.
calls() { cat "$work/upstream/calls" 2>/dev/null | grep -c "^${1:-}" || true; }
set_settings() { printf '%s' "$1" >"$ctroot$conf"; }
journal_since() { in_ct journalctl --no-pager --since "@$1" "${@:2}"; }

# --- Boards --------------------------------------------------------------------
# board_start ACCOUNT [FAKETIME]: the installed board as ACCOUNT, with no
# display and no session bus, its clock set going from FAKETIME when given.
board_start() {
  local account=$1 clock=()
  if [ -n "${2:-}" ]; then
    local library
    library=$(cd "$ctroot" && ls usr/lib/*/faketime/libfaketime.so.1)
    clock=(LD_PRELOAD="/$library" FAKETIME="@$2")
  fi
  : >"$work/board-$account.log"
  "${ct[@]}" setpriv --reuid="$account" --regid="$account" --init-groups \
    env HOME="/home/$account" USER="$account" LOGNAME="$account" QT_QPA_PLATFORM=offscreen "${clock[@]}" \
    rorizedivo >"$work/board-$account.log" 2>&1 &
  echo $! >"$work/board-$account.nsenter"
}
# stop NAME: SIGTERM to what `NAME` started in the container (nsenter's
# child) and its status.
stop() {
  local nsenter
  nsenter=$(cat "$work/$1.nsenter")
  rm "$work/$1.nsenter"
  kill -TERM $(pgrep -P "$nsenter") 2>/dev/null || true
  wait "$nsenter"
}
# What a case started and left running when it failed.
stop_all() {
  for started in "$work"/*.nsenter; do
    [ -e "$started" ] || continue
    started=$(basename "$started" .nsenter)
    stop "$started" || true
  done
}
refreshes() { grep -c "rows refreshed" "$work/board-$1.log" || true; }
refreshed() { [ "$(refreshes "$1")" -ge "$2" ]; }
# board_stop ACCOUNT: SIGTERM, as a session's end sends; waits for it to
# end. Done with what it does at the end, the board ends by the signal.
board_stop() {
  local status=0
  stop "board-$1" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 143 ] \
    || fail "$1's board ended with status $status: $(tail -n 5 "$work/board-$1.log")"
}
# rows ACCOUNT: the rows of the running board's store that hold a reading
# (a board's first close on a machine discards its store). Read from a copy,
# which SQLite indexes anew: it would follow /proc/PID/root to this
# machine's own root.
rows() {
  rm -rf "$work/store" && mkdir "$work/store"
  cp "$ctroot/home/$1/.local/share/rorizedivo/"wt.dar{,-wal} "$work/store/" 2>/dev/null || true
  sqlite3 "$work/store/wt.dar" "SELECT count(*) FROM wt WHERE Temp IS NOT NULL AND pDate <> ''" 2>/dev/null || echo 0
}

# --- The cases -------------------------------------------------------------------

case_socket_activation() {
  [ "$(state_of "$unit.socket")" = active ] || fail "the package left its socket $(state_of "$unit.socket")"
  [ "$(state_of "$unit.service")" = inactive ] || fail "the service runs before any request"
  [ "$(calls)" = 0 ] || fail "the upstream was asked before any request"
  local status
  status=$(request /health)
  case "$status" in 200 | 503) ;; *) fail "the socket's first request got '$status'" ;; esac
  [ "$(state_of "$unit.service")" = active ] || fail "the first request did not start the service"
  local uid
  uid=$(in_ct awk '/^Uid:/ { print $2 }' "/proc/$(service_pid)/status")
  # systemd's dynamic users are 61184-65519.
  [ "$uid" -ge 61184 ] && [ "$uid" -le 65519 ] || fail "the service runs as uid $uid, not a dynamic user"
}

case_two_boards() {
  for account in alice bob; do
    board_start "$account"
  done
  for account in alice bob; do
    wait_for 120 "$account's first refresh" refreshed "$account" 1
    [ "$(rows "$account")" = 24 ] || fail "$account's board holds $(rows "$account") rows of 24"
  done
  for account in alice bob; do
    board_stop "$account"
  done
  # One wave: a forecast and an air-quality call (two, should the hour have
  # turned since the first request).
  local hours
  hours=$(grep -o 'start_hour=[^&]*' "$work/upstream/calls" | sort -u | wc -l)
  [ "$(calls forecast)" = "$hours" ] && [ "$(calls air-quality)" = "$hours" ] && [ "$hours" -ge 1 ] && [ "$hours" -le 2 ] \
    || fail "the upstream saw $(calls forecast) forecast and $(calls air-quality) air-quality calls, not one wave"
}

case_service_stopped() {
  # Its clock at minute 4 of the hour: the first load at start, the next
  # refresh at the tick 55 s later, in minute 5.
  board_start alice "$(date -u '+%F %H'):04:05"
  wait_for 60 "alice's first refresh" refreshed alice 1
  in_ct systemctl stop "$unit.service"
  [ "$(state_of "$unit.service")" = inactive ] || fail "the service did not stop"
  [ "$(rows alice)" = 24 ] || fail "alice's board kept $(rows alice) rows of 24"
  wait_for 90 "alice's next refresh" refreshed alice 2
  [ "$(state_of "$unit.service")" = active ] || fail "the next refresh did not start the service again"
  [ "$(rows alice)" = 24 ] || fail "alice's board holds $(rows alice) rows of 24 after its next refresh"
  board_stop alice
  grep -q offline "$work/board-alice.log" && fail "alice's board went offline: $(grep offline "$work/board-alice.log")"
  true
}

# The service's files, kept aside while a case spends its day.
service_files=("/var/cache/private/$unit" "/var/lib/private/$unit")
case_daily_limit() {
  in_ct systemctl stop "$unit.service"
  in_ct tar -czf /root/service-files.tgz --ignore-failed-read "${service_files[@]}" 2>/dev/null
  in_ct find "${service_files[@]}" -mindepth 1 -delete 2>/dev/null || true
  echo 429 >"$work/upstream/mode"
  local before after
  before=$(calls)
  request "/forecastrss?p=SAXX0036&u=c" >/dev/null
  wait_for 30 "a call to the upstream" test "$(calls)" -gt "$before"
  sleep 2
  after=$(calls)
  in_ct systemctl stop "$unit.service"
  request "/forecastrss?p=SAXX0036&u=c" >/dev/null
  request /health >/dev/null
  sleep 3
  [ "$(calls)" = "$after" ] || fail "after the restart the upstream was asked $(($(calls) - after)) more times"
  # The day as it was before.
  in_ct systemctl stop "$unit.service"
  in_ct find "${service_files[@]}" -mindepth 1 -delete 2>/dev/null || true
  in_ct tar -xzf /root/service-files.tgz -C /
  echo ok >"$work/upstream/mode"
}

case_broken_settings() {
  local since
  since=$(date +%s)
  in_ct systemctl stop "$unit.service"
  set_settings "$broken_settings"
  in_ct systemctl start "$unit.service" || true
  wait_for 30 "the service to end" ended
  [ "$(in_ct systemctl show -P SubState "$unit.service")" = failed ] \
    || fail "the unit is '$(in_ct systemctl show -P SubState "$unit.service")', not failed for good"
  [ "$(in_ct systemctl show -P NRestarts "$unit.service")" = 0 ] || fail "the unit was restarted"
  journal_since "$since" -u "$unit.service" -p err -o cat | grep -qF "$conf:4" \
    || fail "no line at priority err names $conf:4: $(journal_since "$since" -u "$unit.service" -o cat)"
  # Anything the journal holds, from every unit, in every field.
  in_ct journalctl --no-pager -o export | grep -aqF "$key" \
    && fail "the key is in the journal: $(in_ct journalctl --no-pager -o export | grep -aF "$key" | head -n 3)"
  set_settings "$good_settings"
  in_ct systemctl reset-failed "$unit.service"
  request /health >/dev/null
  [ "$(state_of "$unit.service")" = active ] || fail "the service does not come back with good settings"
}

case_check_config() {
  local out
  set_settings "$broken_settings"
  out=$(in_ct rorizedivo-forecastd --check-config 2>&1) && fail "--check-config passes a broken file: $out"
  grep -qF "$conf:4" <<<"$out" || fail "--check-config does not name $conf:4: $out"
  grep -qF "$key" <<<"$out" && fail "--check-config shows the key: $out"
  set_settings "$good_settings"
  out=$(in_ct rorizedivo-forecastd --check-config 2>&1) || fail "--check-config fails a good file: $out"
}

case_settings_deleted() {
  local since status out
  in_ct systemctl stop "$unit.service"
  # On its defaults the upstream is out of reach here, and the back-off
  # that leaves it would outlast the case: the service's files are kept aside.
  in_ct tar -czf /root/service-files.tgz --ignore-failed-read "${service_files[@]}" 2>/dev/null
  since=$(date +%s)
  # As an administrator would; dpkg keeps a deleted conffile deleted.
  rm "$ctroot$conf"
  out=$(in_ct rorizedivo-forecastd --check-config 2>&1) || fail "--check-config fails without $conf: $out"
  status=$(request /health)
  case "$status" in 200 | 503) ;; *) fail "without $conf, /health got '$status'" ;; esac
  [ "$(state_of "$unit.service")" = active ] \
    || fail "without $conf the unit is $(state_of "$unit.service"): $(journal_since "$since" -u "$unit.service" -o cat)"
  # Its defaults: the upstream's own endpoints, not the stand-in of the settings.
  journal_since "$since" -u "$unit.service" -o cat | grep -qF "live from https://api.open-meteo.com" \
    || fail "it does not run on its defaults: $(journal_since "$since" -u "$unit.service" -o cat)"
  in_ct systemctl stop "$unit.service"
  in_ct find "${service_files[@]}" -mindepth 1 -delete 2>/dev/null || true
  in_ct tar -xzf /root/service-files.tgz -C /
  set_settings "$good_settings"
}

# stranger ACCOUNT NAME COMMAND...: a listener of another account.
stranger() {
  local account=$1 name=$2
  shift 2
  "${ct[@]}" setpriv --reuid="$account" --regid="$account" --init-groups "$@" >"$work/$name.log" 2>&1 &
  echo $! >"$work/$name.nsenter"
}
stranger_stop() { stop "$1" || true; }
listening() { on_net grep -q "$1" /proc/net/tcp /proc/net/tcp6; }

case_stranger_listeners() {
  # mallory serves recorded feeds, as the service itself would, on
  # 127.0.0.1:8619 as the first uid of her subordinate range.
  mkdir -p "$ctroot/srv/feeds"
  cp "$root"/service/samples/demo/*.xml "$ctroot/srv/feeds/"
  : >"$ctroot/srv/feeds/forecastd.conf"
  local first
  first=$(awk -F: '$1 == "mallory" { print $2 }' "$ctroot/etc/subuid")
  [ -n "$first" ] || fail "useradd gave mallory no subordinate uids"
  in_ct systemctl stop "$unit.socket" "$unit.service"
  stranger mallory subordinate unshare --map-users="$first,0,1" --map-groups="$first,0,1" --setuid 0 --setgid 0 \
    env HOME=/tmp rorizedivo-forecastd --replay /srv/feeds --config /srv/feeds/forecastd.conf
  wait_for 30 "mallory's subordinate listener" listening ":21AB 00000000:0000 0A"
  board_start carol
  wait_for 60 "carol's board to judge the listener" grep -qE "rows refreshed|offline" "$work/board-carol.log"
  local taken
  taken=$(rows carol)
  board_stop carol
  stranger_stop subordinate
  [ "$taken" = 0 ] || fail "carol's board took $taken rows from uid $first's listener"

  # mallory again, as herself, accepting only once the client has sent its
  # request: until then the server end of a connection is half-open, and
  # the kernel tells it as root's. Her own feed service answers behind it.
  stranger mallory replay env HOME=/tmp rorizedivo-forecastd --replay /srv/feeds --config /srv/feeds/forecastd.conf \
    --port 8620
  wait_for 30 "mallory's feed service" listening "0100007F:21AC 00000000:0000 0A"
  stranger mallory deferred socat "TCP4-LISTEN:8619,bind=127.0.0.1,defer-accept=10,reuseaddr,fork" TCP4:127.0.0.1:8620
  wait_for 30 "mallory's deferred-accept listener" listening "0100007F:21AB 00000000:0000 0A"
  board_start carol
  wait_for 60 "carol's board to judge the listener" grep -qE "rows refreshed|offline" "$work/board-carol.log"
  taken=$(rows carol)
  board_stop carol
  stranger_stop deferred
  stranger_stop replay
  [ "$taken" = 0 ] || fail "carol's board took $taken rows from mallory's deferred-accept listener"

  # Root's socket again, and mallory on [::]:8619 for IPv6 alone beside it.
  in_ct systemctl start "$unit.socket"
  stranger mallory v6only socat "TCP6-LISTEN:8619,ipv6only=1,reuseaddr,fork" /dev/null
  wait_for 30 "mallory's [::]:8619 listener" listening "00000000000000000000000000000000:21AB"
  board_start dave
  wait_for 60 "dave's board to judge the listener" grep -qE "rows refreshed|offline" "$work/board-dave.log"
  taken=$(rows dave)
  board_stop dave
  stranger_stop v6only
  [ "$taken" = 24 ] || fail "beside [::]:8619 of another account, dave's board filled $taken rows of 24"
}

case_purge() {
  in_ct apt-get purge -y -qq rorizedivo >/dev/null
  [ -e "$ctroot/etc/rorizedivo" ] && fail "/etc/rorizedivo is left: $(ls -A "$ctroot/etc/rorizedivo")"
  local left
  left=$(in_ct find /var/cache /var/lib -name '*rorizedivo*')
  [ -z "$left" ] || fail "left behind: $left"
}

# --- The table -------------------------------------------------------------------
run_cases() {
  set_settings "$good_settings"
  for account in alice bob carol dave mallory; do
    in_ct useradd --create-home --shell /bin/bash "$account"
  done
  local failed=() ran=0 name what row
  for row in "${cases[@]}"; do
    name=${row%% *}
    what=$(sed 's/^[a-z_]* *//' <<<"$row")
    if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then
      continue
    fi
    ran=$((ran + 1))
    local begun=$SECONDS status=0
    set +e
    (
      set -e
      trap stop_all EXIT
      "case_$name"
    ) >"$work/case.log" 2>&1
    status=$?
    set -e
    if [ "$status" -eq 0 ]; then
      printf 'PASS  %-19s %3d s  %s\n' "$name" $((SECONDS - begun)) "$what"
    else
      printf 'FAIL  %-19s %3d s  %s\n' "$name" $((SECONDS - begun)) "$what"
      sed 's/^/      /' "$work/case.log"
      failed+=("$name")
    fi
  done
  if [ "${#failed[@]}" -gt 0 ]; then
    echo "system-test: ${#failed[@]} of $ran cases failed: ${failed[*]}"
    return 1
  fi
  echo "system-test: all $ran cases passed"
}
