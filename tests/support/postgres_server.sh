#!/usr/bin/env bash
# Throwaway PostgreSQL servers for tests and benchmarks, on loopback TCP only.
#
#   postgres_server.sh start STATE        one server
#   postgres_server.sh start-pair STATE   a primary and one synchronous standby
#   postgres_server.sh kill-primary STATE the primary dies at once (SIGKILL to it
#                                         and its backends), as a crashed host would
#   postgres_server.sh promote STATE      the standby becomes the primary
#   postgres_server.sh stop STATE         stops whatever runs and removes the data
#
# STATE is a folder (made when missing) that keeps what the commands share:
#   conninfo          the primary's libpq connection string (dbname=postgres)
#   standby-conninfo  the standby's (start-pair only)
#   failover-conninfo both hosts with target_session_attrs=read-write, the
#                     string a server uses to follow a promoted standby
#   data              the path of the data folder (under /tmp)
# The servers run as an unprivileged user (when started by root: "postgres" if
# it exists, else "nobody"), with the database superuser "tarvelin" and trust
# authentication on 127.0.0.1, UTF-8 and the C.UTF-8 collation (byte order),
# and no unix socket. Their ports are below the kernel's ephemeral range, so a
# test's "free port" never races them; 5432 is never used.
set -euo pipefail

bin=${POSTGRES_BIN:-/usr/lib/postgresql/15/bin}
superuser=tarvelin

usage() {
  sed -n '3,9p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

[ $# -eq 2 ] || usage
command=$1
state=$2
state_path=$(realpath -m "$state")

# The user the servers run as, and how to run a command as that user.
if [ "$(id -u)" -eq 0 ]; then
  if id postgres >/dev/null 2>&1; then owner=postgres; else owner=nobody; fi
  as_owner() { (cd / && setpriv --reuid="$owner" --regid="$(id -g "$owner")" --clear-groups -- "$@"); }
else
  owner=$(id -un)
  as_owner() { "$@"; }
fi

port_in_use() {
  ss -Hltn "sport = :$1" 2>/dev/null | grep -q .
}

# A port nobody listens on, from 20000-31999 (below the ephemeral range).
pick_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 12000))
    if ! port_in_use "$port"; then
      echo "$port"
      return 0
    fi
  done
  echo "no free port found" >&2
  return 1
}

conninfo_of() { echo "host=127.0.0.1 port=$1 user=$superuser dbname=postgres"; }

# Appends the settings every test server shares to $1/postgresql.conf.
configure() {
  local folder=$1 port=$2
  as_owner tee -a "$folder/postgresql.conf" >/dev/null <<EOF
# Tarvelin test server
port = $port
listen_addresses = '127.0.0.1'
unix_socket_directories = ''
max_connections = 300
shared_buffers = 32MB
# The data is thrown away: no flush to disk (a killed server still loses
# nothing, as the operating system keeps what was written).
fsync = off
full_page_writes = off
logging_collector = off
log_min_messages = warning
EOF
}

# Starts the server of data folder $1 on port $2; false when it did not come up
# (the port may have been taken meanwhile).
start_folder() {
  local folder=$1 log=$1/server.log
  if ! as_owner "$bin/pg_ctl" -D "$folder" -l "$log" -w -t 60 start >/dev/null; then
    cat "$log" >&2 2>/dev/null || true
    return 1
  fi
}

# Makes a data folder at $1 with initdb.
init_folder() {
  as_owner "$bin/initdb" -D "$1" --encoding=UTF8 --locale=C.UTF-8 --auth=trust \
    --username="$superuser" --no-instructions >"$1.initdb.log" 2>&1 ||
    { cat "$1.initdb.log" >&2; return 1; }
}

# Initialises and starts a server in $1 on some free port; prints the port.
new_server() {
  local folder=$1 port
  init_folder "$folder"
  for _ in 1 2 3 4 5; do
    port=$(pick_port)
    configure "$folder" "$port"
    if start_folder "$folder"; then
      echo "$port"
      return 0
    fi
  done
  echo "cannot start PostgreSQL in $folder" >&2
  return 1
}

# The data folder recorded in STATE, "" when none.
recorded_data() { cat "$state/data" 2>/dev/null || true; }

# Every data folder made for STATE: the recorded one and any other that names
# STATE as its own (its record lost with an interrupted run or a wiped build).
data_of_state() {
  local folder
  recorded_data
  for folder in /tmp/tarvelin-postgres-*; do
    [ "$(cat "$folder/state" 2>/dev/null)" = "$state_path" ] && echo "$folder"
  done
  return 0
}

stop_all() {
  local data folder
  for data in $(data_of_state | sort -u); do
    for folder in "$data/standby" "$data/primary"; do
      if [ -f "$folder/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" -D "$folder" -m immediate -w -t 30 stop >/dev/null 2>&1 ||
          echo "cannot stop the PostgreSQL server in $folder" >&2
      fi
    done
    case "$data" in
      /tmp/tarvelin-postgres-*) rm -rf "$data" && echo "PostgreSQL test server in $data stopped and removed" ;;
    esac
  done
  rm -f "$state/data" "$state/conninfo" "$state/standby-conninfo" "$state/failover-conninfo"
}

make_data() {
  mkdir -p "$state"
  stop_all >&2  # a server left over by an interrupted run
  local data
  data=$(mktemp -d /tmp/tarvelin-postgres-XXXXXX)
  chown "$owner" "$data"
  echo "$state_path" >"$data/state"
  echo "$data" >"$state/data"
  echo "$data"
}

start_one() {
  local data port
  data=$(make_data)
  port=$(new_server "$data/primary")
  conninfo_of "$port" >"$state/conninfo"
  echo "PostgreSQL test server: $(cat "$state/conninfo")"
}

start_pair() {
  local data primary standby
  data=$(make_data)
  primary=$(new_server "$data/primary")
  as_owner "$bin/pg_basebackup" -D "$data/standby" -R -X stream \
    -d "$(conninfo_of "$primary") application_name=standby"
  standby=$(pick_port)
  as_owner tee -a "$data/standby/postgresql.conf" >/dev/null <<EOF
port = $standby
EOF
  as_owner tee -a "$data/standby/postgresql.auto.conf" >/dev/null <<EOF
primary_conninfo = 'host=127.0.0.1 port=$primary user=$superuser application_name=standby'
EOF
  start_folder "$data/standby"
  # Commits wait for the standby's flush from now on: what a client was told
  # is committed survives the primary's death.
  as_owner "$bin/psql" -X -q -d "$(conninfo_of "$primary")" \
    -c "ALTER SYSTEM SET synchronous_standby_names = 'standby'" \
    -c "ALTER SYSTEM SET synchronous_commit = 'on'" -c "SELECT pg_reload_conf()" >/dev/null
  local synced=""
  for _ in $(seq 1 100); do
    synced=$(as_owner "$bin/psql" -X -At -d "$(conninfo_of "$primary")" \
      -c "SELECT sync_state FROM pg_stat_replication WHERE application_name = 'standby'")
    [ "$synced" = sync ] && break
    sleep 0.1
  done
  if [ "$synced" != sync ]; then
    echo "the standby did not become synchronous" >&2
    return 1
  fi
  conninfo_of "$primary" >"$state/conninfo"
  conninfo_of "$standby" >"$state/standby-conninfo"
  echo "host=127.0.0.1,127.0.0.1 port=$primary,$standby user=$superuser dbname=postgres" \
    "target_session_attrs=read-write" >"$state/failover-conninfo"
  echo "PostgreSQL primary: $(cat "$state/conninfo")"
  echo "PostgreSQL standby: $(cat "$state/standby-conninfo")"
}

kill_primary() {
  local data pid
  data=$(recorded_data)
  [ -f "$data/primary/postmaster.pid" ] || { echo "no primary runs" >&2; return 1; }
  pid=$(head -n 1 "$data/primary/postmaster.pid")
  # The backends first: a postmaster killed alone leaves them serving their
  # clients until they notice.
  local children
  children=$(ps -o pid= --ppid "$pid" || true)
  kill -9 "$pid" $children 2>/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "PostgreSQL primary (pid $pid) killed"
}

promote() {
  local data
  data=$(recorded_data)
  [ -d "$data/standby" ] || { echo "no standby" >&2; return 1; }
  as_owner "$bin/pg_ctl" -D "$data/standby" -w -t 60 promote >/dev/null
  echo "PostgreSQL standby promoted: $(cat "$state/standby-conninfo")"
}

case "$command" in
  start) start_one ;;
  start-pair) start_pair ;;
  kill-primary) kill_primary ;;
  promote) promote ;;
  stop) stop_all ;;
  *) usage ;;
esac
