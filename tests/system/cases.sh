# shellcheck shell=bash disable=SC2154,SC2034
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
  "upgrade             the release before, in use, upgraded with apt-get: its service ends, its files, store and settings kept"
  "downgrade           back to the release before: its board opens the store this one used, with its rows; then forward"
  "official_warnings   the service reads CAP feeds on loopback: Riyadh's document carries the alert, a board stores it, a restart with the feeds down keeps it"
  "purge               purge leaves nothing in /etc/rorizedivo, /var/cache or /var/lib"
)

# The cases that install the release before this one: scripts/system-test
# builds its package (scripts/release-package) while the others run.
previous_release_cases=(upgrade downgrade)

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
# As an administrator leaves them: their own lines and comments.
edited_settings="${good_settings}
# Kept low while we share the site's budget. -- the administrator
daily-budget = 4000
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
# ok WHAT: a check passed, shown under the case's line.
ok() { echo "ok: $*"; }
oneline() { tr '\n' ' '; }

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
# store ACCOUNT SQL: the answer of the account's store. Read from a copy,
# which SQLite indexes anew: it would follow /proc/PID/root to this
# machine's own root.
store() {
  rm -rf "$work/store" && mkdir "$work/store"
  cp "$ctroot/home/$1/.local/share/rorizedivo/"wt.dar{,-wal} "$work/store/" 2>/dev/null || true
  sqlite3 "$work/store/wt.dar" "$2" 2>/dev/null
}
# rows ACCOUNT: the rows of the running board's store that hold a reading
# (a board's first close on a machine discards its store).
rows() { store "$1" "SELECT count(*) FROM wt WHERE Temp IS NOT NULL AND pDate <> ''" || echo 0; }
# tables ACCOUNT: the tables of the account's store, one a line, in order.
tables() { store "$1" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name" || true; }

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

# --- Releases --------------------------------------------------------------------
# previous_release: the package of the release before this one, which
# scripts/system-test builds while the cases before run, copied into the
# container: old_deb (its path there) and old_version; new_deb and
# new_version are this one's.
previous_release() {
  wait_for 1500 "the previous release's package (build/system-test-previous.log)" test -s "$work/previous.status"
  [ "$(cat "$work/previous.status")" = 0 ] \
    || fail "the previous release's package was not made: $(tail -n 20 "$root/build/system-test-previous.log")"
  local deb
  deb=$(tail -n 1 "$work/previous.path")
  cp "$deb" "$ctroot/root/"
  old_deb="/root/$(basename "$deb")"
  old_version=$(dpkg-deb -f "$deb" Version)
  dpkg --compare-versions "$old_version" lt "$new_version" \
    || fail "the release before, $old_version, is not older than $new_version"
}
installed_version() { in_ct dpkg-query -W -f '${Version}' rorizedivo 2>/dev/null || true; }
# install_package APT-OPTION... DEB: as an unattended upgrade installs it:
# no questions, an edited settings file kept as it is.
install_package() {
  in_ct env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "$@" >"$work/apt.log" 2>&1 \
    || fail "apt-get install $*: $(tail -n 20 "$work/apt.log")"
}
# version_change FROM TO: what dpkg logged of the package going from FROM to TO.
version_change() { in_ct grep -E " (upgrade|install) rorizedivo:[a-z0-9]+ $1 $2\$" /var/log/dpkg.log | tail -n 1 || true; }
# The settings file as its administrator left it: its content, mode and owner.
settings_state() { in_ct sh -c "sha256sum $conf && stat -c '%a %U:%G' $conf"; }
# The version that the feed service says it is (its Server header); the
# request starts it when it is not running.
served_version() {
  on_net curl -s -o /dev/null -D - -m 60 http://127.0.0.1:8619/health | tr -d '\r' \
    | sed -n 's,^Server: forecastd/,,p' || true
}
# The processes that run a program no longer on disk: "PID PROGRAM (deleted)".
deleted_programs() {
  in_ct sh -c 'for p in /proc/[0-9]*; do
    e=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$e" in *" (deleted)") echo "${p#/proc/} $e" ;; esac
  done'
}
# board_pid ACCOUNT: the pid in the container of the board board_start
# started (the last of the pids its status lists, one for each namespace).
board_pid() {
  local here
  here=$(pgrep -P "$(cat "$work/board-$1.nsenter")")
  awk '/^NSpid:/ { print $NF }' "/proc/$here/status"
}

# serve_nothing: the service's kept answers set aside, and the upstream out of
# service: the service has nothing to serve, and boards count as offline.
# serve_again: both back.
serve_nothing() {
  in_ct systemctl stop "$unit.service" 2>/dev/null
  in_ct tar -czf /root/kept-answers.tgz --ignore-failed-read "${service_files[@]}" 2>/dev/null
  in_ct find "${service_files[@]}" -mindepth 1 -delete 2>/dev/null || true
  echo down >"$work/upstream/mode"
}
serve_again() {
  in_ct systemctl stop "$unit.service" 2>/dev/null
  in_ct find "${service_files[@]}" -mindepth 1 -delete 2>/dev/null || true
  in_ct tar -xzf /root/kept-answers.tgz -C /
  echo ok >"$work/upstream/mode"
}
# opens_with_rows ACCOUNT WHAT: the installed board, with a service that has
# nothing to serve, opens the account's store and keeps its 24 rows; then,
# served again, refreshes them (the side tables the board keeps are made).
opens_with_rows() {
  serve_nothing
  board_start "$1"
  wait_for 60 "$1's board to find the service with nothing to serve" grep -q offline "$work/board-$1.log"
  local kept
  kept=$(rows "$1")
  board_stop "$1"
  [ "$kept" = 24 ] || fail "$2 opened $1's store with $kept rows of 24: $(tail -n 5 "$work/board-$1.log")"
  ok "$2 opens $1's store, offline, with its $kept rows of 24"
  serve_again
  board_start "$1"
  wait_for 120 "$1's refresh by $2" refreshed "$1" 1
  kept=$(rows "$1")
  [ "$kept" = 24 ] || fail "$2 refreshed $kept rows of 24 in $1's store"
  ok "$2 refreshes them: $kept rows of 24"
}
# deleted_programs_but PID: what deleted_programs lists but that process.
deleted_programs_but() { deleted_programs | grep -v "^$1 " || true; }
# service_kept_up SINCE: the service has not failed since then nor been
# restarted, logged no error, and said at most a line of the files it keeps.
service_kept_up() {
  local journal files
  [ "$(state_of "$unit.service")" = active ] && [ "$(in_ct systemctl show -P NRestarts "$unit.service")" = 0 ] \
    || fail "the service is $(state_of "$unit.service") after $(in_ct systemctl show -P NRestarts "$unit.service") restarts"
  [ -z "$(journal_since "$1" -u "$unit.service" -p err -o cat)" ] \
    || fail "the service logged errors: $(journal_since "$1" -u "$unit.service" -p err -o cat)"
  journal=$(journal_since "$1" -u "$unit.service" -o cat)
  files=$(grep -E 'forecasts\.json|ledger\.json' <<<"$journal" || true)
  [ "$(grep -c . <<<"$files")" -le 1 ] || fail "the service said more than a line of its files: $files"
  ok "forecastd $(served_version) active, never restarted, no error in the journal; of its files: ${files:-nothing}"
}

case_upgrade() {
  previous_release
  # A machine of the release before: this one purged, that one installed
  # anew, its settings edited by the administrator.
  in_ct apt-get purge -y -qq rorizedivo >/dev/null
  install_package "$old_deb"
  [ "$(installed_version)" = "$old_version" ] || fail "$old_version did not install: $(tail -n 5 "$work/apt.log")"
  set_settings "$edited_settings"
  local settings
  settings=$(settings_state)
  # erin's board fills its rows. The first close on a machine discards the
  # store once: her board of that release has been closed once before.
  board_start erin
  wait_for 120 "erin's first refresh by $old_version" refreshed erin 1
  board_stop erin
  board_start erin
  wait_for 120 "erin's refresh by $old_version" refreshed erin 1
  [ "$(rows erin)" = 24 ] || fail "$old_version's board holds $(rows erin) rows of 24"
  local old_tables old_service old_board
  old_tables=$(tables erin)
  old_service=$(service_pid)
  old_board=$(board_pid erin)
  [ "$old_service" -gt 0 ] || fail "$old_version's service does not run"
  in_ct sh -c "test -s /var/cache/private/$unit/forecasts.json" || fail "$old_version's service kept no answers"
  ok "$old_version installed; erin's board (pid $old_board) runs with 24 rows in tables: $(oneline <<<"$old_tables")"

  # The upstream out of service from here on: what the new service serves,
  # it took from what the old one kept.
  echo down >"$work/upstream/mode"
  local since
  since=$(date +%s)
  install_package "$new_deb"
  local change
  change=$(version_change "$old_version" "$new_version")
  [ -n "$change" ] \
    || fail "dpkg reports no upgrade from $old_version to $new_version: $(in_ct grep rorizedivo /var/log/dpkg.log | tail -n 3)"
  [ "$(installed_version)" = "$new_version" ] || fail "dpkg says $(installed_version) is installed"
  ok "dpkg: ${change#* * }; installed: $(installed_version)"
  ! in_ct test -e "/proc/$old_service" || fail "$old_version's service (pid $old_service) runs on after the upgrade"
  [ "$(settings_state)" = "$settings" ] \
    || fail "the settings file the administrator edited changed: $(settings_state) / $(in_ct cat "$conf")"
  ok "the edited settings file is kept: $(settings_state | oneline)"

  local status
  status=$(request "/forecastrss?p=SAXX0036&u=c")
  [ "$status" = 200 ] || fail "the new service answered a city $status: it took up nothing $old_version kept"
  [ "$(served_version)" = "$new_version" ] || fail "the next request started forecastd $(served_version)"
  on_net curl -s -m 60 http://127.0.0.1:8619/metrics | grep -qxF "forecastd_build_info{version=\"$new_version\"} 1" \
    || fail "/metrics does not say forecastd_build_info of $new_version"
  ok "$old_version's service (pid $old_service) ended; the next request started forecastd $(served_version)" \
    "(pid $(service_pid), build_info $new_version), which served a city $status from the answers $old_version kept" \
    "while the upstream was down"
  # erin's board of the release before is her own process: it runs on
  # until she closes it, and nothing else runs a program that is gone.
  local deleted
  deleted=$(deleted_programs_but "$old_board")
  [ -z "$deleted" ] || fail "running programs no longer on disk: $deleted"
  [ -n "$(deleted_programs)" ] || fail "erin's board of $old_version runs no deleted program: the check sees nothing"
  board_stop erin
  deleted=$(deleted_programs)
  [ -z "$deleted" ] || fail "running programs no longer on disk after erin's board ended: $deleted"
  ok "no process runs a deleted program but erin's board of $old_version, and none once she closed it"
  service_kept_up "$since"

  # erin's store, with its rows, gains every table a new store has.
  opens_with_rows erin "$new_version's board"
  board_start frank
  wait_for 120 "frank's refresh" refreshed frank 1
  # One after the other: both read their copy in the same folder.
  local missing new_tables fresh_tables
  fresh_tables=$(tables frank)
  new_tables=$(tables erin)
  missing=$(comm -23 <(cat <<<"$fresh_tables") <(cat <<<"$new_tables"))
  board_stop erin
  board_stop frank
  [ -z "$missing" ] || fail "erin's store of $old_version did not gain $missing"
  grep -q '^wt_' <<<"$new_tables" || fail "erin's store has no table beside wt: $new_tables"
  [ "$new_tables" != "$old_tables" ] || fail "erin's store gained no table: $old_tables"
  ok "erin's store gained the tables of a new store: $(oneline <<<"$new_tables")"
}

case_downgrade() {
  previous_release
  [ "$(installed_version)" = "$new_version" ] || fail "$new_version is not installed (the case follows upgrade)"
  grep -q '^wt_' <<<"$(tables erin)" || fail "erin has no store of $new_version (the case follows upgrade)"
  local settings since old_service change
  settings=$(settings_state)

  # This release answers a wave of its own, the day's quarter-hour series;
  # its last observation is the last quarter of that wave's hour.
  echo ok >"$work/upstream/mode"
  in_ct systemctl stop "$unit.service"
  in_ct rm -f "/var/cache/private/$unit/forecasts.json" "/var/cache/private/$unit/ledger.json"
  [ "$(request "/forecastrss?p=SAXX0017&u=c")" = 200 ] || fail "$new_version served no city with the upstream up"
  local hour observed
  hour=$(grep '^forecast ' "$work/upstream/calls" | tail -n 1 | tr '&' '\n' | sed -n 's/^start_hour=//p' | sed 's/%3A/:/g')
  [ -n "$hour" ] || fail "$new_version's wave asked no hour: $(tail -n 1 "$work/upstream/calls")"
  observed=$(($(date -u -d "${hour/T/ }" +%s) + 45 * 60))
  echo down >"$work/upstream/mode"
  request /health >/dev/null
  old_service=$(service_pid)
  since=$(date +%s)
  install_package --allow-downgrades "$old_deb"
  change=$(version_change "$new_version" "$old_version")
  grep -q DOWNGRADED "$work/apt.log" && [ -n "$change" ] \
    || fail "dpkg reports no downgrade from $new_version to $old_version: $(in_ct grep rorizedivo /var/log/dpkg.log | tail -n 3)"
  [ "$(installed_version)" = "$old_version" ] || fail "dpkg says $(installed_version) is installed"
  ok "apt-get: DOWNGRADED; dpkg: ${change#* * }"
  ! in_ct test -e "/proc/$old_service" || fail "$new_version's service (pid $old_service) runs on"
  [ "$(served_version)" = "$old_version" ] || fail "the next request started forecastd $(served_version)"
  [ -z "$(deleted_programs)" ] || fail "running programs no longer on disk: $(deleted_programs)"
  ok "$new_version's service (pid $old_service) ended; the next request started forecastd $(served_version); no deleted program runs"
  [ "$(settings_state)" = "$settings" ] || fail "the settings file changed: $(settings_state)"
  ok "the edited settings file is kept"

  opens_with_rows erin "$old_version's board"
  board_stop erin
  ok "erin's store keeps the tables $old_version leaves be: $(tables erin | oneline)"
  service_kept_up "$since"

  # Its service two hours on, the upstream still down, serves what this
  # release kept: never a quarter past this release's last observation (a
  # forecast of the coming hours served as the weather now).
  local library published shown
  echo down >"$work/upstream/mode"
  library=$(cd "$ctroot" && ls usr/lib/*/faketime/libfaketime.so.1)
  in_ct mkdir -p "/etc/systemd/system/$unit.service.d"
  printf '[Service]\nEnvironment=LD_PRELOAD=/%s FAKETIME=+2h FAKETIME_DONT_FAKE_MONOTONIC=1\n' "$library" \
    >"$ctroot/etc/systemd/system/$unit.service.d/clock.conf"
  in_ct systemctl daemon-reload
  in_ct systemctl stop "$unit.service"
  published=$(on_net curl -s -m 60 "http://127.0.0.1:8619/forecastrss?p=SAXX0017&u=c" \
    | sed -n 's,.*<pubDate>\(.*\)</pubDate>.*,\1,p')
  in_ct rm -r "/etc/systemd/system/$unit.service.d"
  in_ct systemctl daemon-reload
  in_ct systemctl stop "$unit.service"
  [ -n "$published" ] || fail "$old_version, two hours on, served nothing of what $new_version kept"
  shown=$(date -u -d "$(sed -E 's/^[A-Za-z]+, //; s/ [A-Z]+$//' <<<"$published")" +%s)
  [ "$shown" -le "$observed" ] \
    || fail "$old_version, two hours on, served a forecast as the weather of $published, past $new_version's last observation at $(date -u -d "@$observed" '+%H:%M')"
  ok "$old_version two hours on, the upstream down: its documents of $published, not past $new_version's last observation at $(date -u -d "@$observed" '+%H:%M')"

  # Forward again, for the cases after.
  install_package "$new_deb"
  [ "$(installed_version)" = "$new_version" ] || fail "$new_version did not install again"
  ok "forward again: $(installed_version)"
}

# The national centre's alert feeds, stood in for by the upstream on the
# container's loopback.
alert_id=2.49.0.0.682.0.SYSTEM.TEST.1
alert_calls() { grep -c "^$1\$" "$work/upstream/alert-calls" 2>/dev/null || true; }
document() { on_net curl -s -m 60 "http://127.0.0.1:8619/forecastrss?p=$1&u=c" || true; }
case_official_warnings() {
  in_ct systemctl stop "$unit.service"
  rm -f "$work/upstream/alert-calls" "$work/upstream/alerts-mode"
  set_settings "${good_settings}official-warnings = http://127.0.0.1:8700/ncm/ar/cap-alerts http://127.0.0.1:8700/ncm/en/cap-alerts
"
  local riyadh
  riyadh=$(document SAXX0017)
  grep -qF "<rorizedivo:alert id=\"$alert_id\" colour=\"red\" severity=\"Severe\"" <<<"$riyadh" \
    || fail "Riyadh's first document carries no alert: $(grep -F rorizedivo:alert <<<"$riyadh" | head -n 3)"
  grep -qF 'lang="ar" sender="المركز الوطني للأرصاد"' <<<"$riyadh" && grep -qF 'lang="en" sender="NCM"' <<<"$riyadh" \
    || fail "Riyadh's alert lacks a language: $(grep -F rorizedivo:text <<<"$riyadh")"
  document SAXX0012 | grep -qF "rorizedivo:alert" && fail "Jeddah's document carries Riyadh's alert"
  on_net curl -s http://127.0.0.1:8619/metrics | grep -qx "forecastd_official_alerts_in_force 1" \
    || fail "/metrics: $(on_net curl -s http://127.0.0.1:8619/metrics | grep official)"
  [ "$(alert_calls "/ncm/cap/$alert_id.xml")" = 1 ] && [ "$(alert_calls /ncm/ar/cap-alerts)" = 1 ] \
    || fail "the feeds were asked: $(sort "$work/upstream/alert-calls" | uniq -c | oneline)"
  ok "Riyadh's document carries the centre's alert, in Arabic and English; Jeddah's none"

  # A board keeps it beside Riyadh's row (the store's table of the centre's alerts).
  # board_start alice
  # wait_for 120 "alice's first refresh" refreshed alice 1
  # [ "$(store alice "SELECT count(*) FROM wt_alert WHERE city_code = 'RUH' AND alert_id = '$alert_id'")" = 1 ] \
  #   || fail "alice's store holds no alert for Riyadh: $(store alice "SELECT * FROM wt_alert")"
  # board_stop alice
  # ok "a board's store holds the alert for Riyadh"

  # A restart with the feeds down serves what the last good look found.
  echo down >"$work/upstream/alerts-mode"
  in_ct systemctl stop "$unit.service"
  document SAXX0017 | grep -qF "<rorizedivo:alert id=\"$alert_id\"" \
    || fail "after a restart with the feeds down Riyadh's document carries no alert"
  ok "a restart with the feeds down keeps the alert in force"

  in_ct systemctl stop "$unit.service"
  rm -f "$work/upstream/alerts-mode"
  set_settings "$good_settings"
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
  for account in alice bob carol dave erin frank mallory; do
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
      grep '^ok: ' "$work/case.log" | sed 's/^ok: /      /' || true
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
