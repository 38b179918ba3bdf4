#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests of the shared records database.
#
#   scripts/pg-server.sh start DIR   make DIR (which must not exist), initdb into it and start a
#                                    server that listens only on a Unix socket in DIR; writes
#                                    DIR/env (PGHOST, PGPORT, PGUSER, PGDATABASE) for the tests to source
#   scripts/pg-server.sh stop DIR    stop that server and remove DIR
#   scripts/pg-server.sh halt DIR    stop the server at once, as a crash or a pulled cable
#                                    would, keeping its data
#   scripts/pg-server.sh resume DIR  start a halted server again
#
# The server runs as the invoking user, or as "postgres" when invoked as root (the server
# refuses to run as root). The role QARN3_PG_SUPERUSER (default qarn3_admin) is the superuser
# and is trusted on the socket; every other role logs in with its password. Exit status 77
# with the reason on standard error when no server can be had here, so callers can skip.
#
# The server's data and socket live in DIR, unless the server's user cannot reach DIR (a
# parent only root may enter, as root's home) or the socket's name would be too long for a
# Unix socket (107 bytes): then in a private folder made in the temporary folder, which
# DIR/server-dir names and stop removes.
set -euo pipefail

cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|halt|resume DIR" >&2; exit 2; }
superuser=${QARN3_PG_SUPERUSER:-qarn3_admin}
port=5432

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "PostgreSQL is not installed (no initdb under /usr/lib/postgresql)" >&2
    exit 77
fi

as_server() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# The folder of the server's data and socket: DIR, or the private folder DIR/server-dir
# names (only one of the names this script makes).
server_of() {
    local s
    if [ -f "$1/server-dir" ]; then
        s=$(cat "$1/server-dir")
        case "$(basename "$s")" in qarn3-pg-??????)
            echo "$s"
            return
            ;;
        esac
    fi
    echo "$1"
}

case "$cmd" in
start)
    if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
        echo "no postgres user to run the server as" >&2
        exit 77
    fi
    mkdir -m 0700 "$dir"
    dir=$(cd "$dir" && pwd)
    server=$dir
    if [ ${#dir} -gt 80 ] ||
        { [ "$(id -u)" -eq 0 ] && ! runuser -u postgres -- test -x "$(dirname "$dir")"; }; then
        server=$(mktemp -d "${TMPDIR:-/tmp}/qarn3-pg-XXXXXX")
        echo "$server" >"$dir/server-dir"
    fi
    if [ "$(id -u)" -eq 0 ]; then chown postgres: "$server"; fi
    if ! as_server "$bindir/initdb" -D "$server/data" -U "$superuser" -A trust -E UTF8 \
        --locale=C.UTF-8 >"$dir/initdb.log" 2>&1; then
        echo "initdb failed:" >&2
        cat "$dir/initdb.log" >&2
        exit 77
    fi
    printf 'local all %s trust\nlocal all all scram-sha-256\n' "$superuser" \
        >"$server/data/pg_hba.conf"
    cat >>"$server/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$server'
port = $port
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 40
EOF
    if ! as_server "$bindir/pg_ctl" -D "$server/data" -l "$server/server.log" -w -t 30 start \
        >/dev/null; then
        echo "the server did not start:" >&2
        cat "$server/server.log" >&2
        exit 77
    fi
    printf 'PGHOST=%s\nPGPORT=%s\nPGUSER=%s\nPGDATABASE=postgres\n' "$server" "$port" \
        "$superuser" >"$dir/env"
    chmod 0644 "$dir/env"
    ;;
stop)
    [ -d "$dir" ] || exit 0
    server=$(server_of "$dir")
    if [ -f "$server/data/postmaster.pid" ]; then
        as_server "$bindir/pg_ctl" -D "$server/data" -m immediate -w -t 30 stop >/dev/null || true
    fi
    [ "$server" = "$dir" ] || rm -rf "$server"
    rm -rf "$dir"
    ;;
halt)
    server=$(server_of "$dir")
    as_server "$bindir/pg_ctl" -D "$server/data" -m immediate -w -t 30 stop >/dev/null
    ;;
resume)
    server=$(server_of "$dir")
    as_server "$bindir/pg_ctl" -D "$server/data" -l "$server/server.log" -w -t 30 start \
        >/dev/null
    ;;
*)
    echo "usage: $0 start|stop|halt|resume DIR" >&2
    exit 2
    ;;
esac
