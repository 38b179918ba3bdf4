# shellcheck shell=bash
# The records file as sqlite3 reads it, and the masking of what differs from run to run in
# the records: sourced by record-records.sh and record-program.sh.

# SQL of the script's own, to read a records file or to set up a refusal.
sql() { sqlite3 -batch "$@"; }

# A records file's schema (PREFIX.schema), its pragmas (PREFIX.pragmas) and every table's rows,
# of a waveform its size and digest (PREFIX.rows; their order is set by records_normalise).
records_dump() { # DB PREFIX
    sql "$1" .schema > "$2.schema"
    local pragma table
    for pragma in user_version application_id journal_mode page_size; do
        echo "$pragma $(sql "$1" "PRAGMA $pragma")"
    done > "$2.pragmas"
    for table in $(sql "$1" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"); do
        echo "== $table"
        if [ "$table" = waveform ]; then
            sql -header "$1" "SELECT id, length(bytes) AS bytes, hex(sha3(bytes)) AS sha3
                FROM waveform"
        else
            sql -header "$1" "SELECT * FROM \"$table\""
        fi
    done > "$2.rows"
}

# What each record id of a records file names, a line "ID|HEX" each (HEX: the name's bytes).
records_names() { # DB
    sql "$1" "WITH b AS (SELECT b.id, s.name || '/' || b.designation AS name FROM breaker b
        JOIN site s ON s.id = b.site_id), e AS (SELECT e.id, b.name || ' ' || (SELECT count(*)
        FROM session x WHERE x.breaker_id = e.breaker_id AND x.started_at <= e.started_at)
        AS name FROM session e JOIN b ON b.id = e.breaker_id),
        p AS (SELECT p.id, e.name || ' ' || p.pole || ' ' || p.kind || ' ' || p.multiple AS
        name FROM test_point p JOIN e ON e.id = p.session_id)
        SELECT id, hex('site ' || name) FROM site
        UNION ALL SELECT id, hex('breaker ' || name) FROM b
        UNION ALL SELECT id, hex('session ' || name) FROM e
        UNION ALL SELECT id, hex('point ' || name) FROM p
        UNION ALL SELECT s.id, hex('shot ' || p.name || ' ' || s.source || '#' || s.pulse)
            FROM shot s JOIN p ON p.id = s.test_point_id
        UNION ALL SELECT id, hex('curve ' || maker || ' ' || model || ' ' || kind) FROM curve
        UNION ALL SELECT c.id, hex('breaker_curve ' || b.name || ' ' || c.kind)
            FROM breaker_curve c JOIN b ON b.id = c.breaker_id" 2> /dev/null || true
}

# Masks in the text files of OUT (every file but waveforms) what differs from run to run:
# - the work folder's name, also as a URI writes it, as WORK;
# - the clock's times (a record made, a curve imported, a report written) as <now>, in every
#   form the tool writes them: ISO 8601 with milliseconds, the report's "YYYY-MM-DD HH:MM" and
#   a day alone (the demonstration's calibration date is the day it ran). Only times of the days the run took (DAY0 and today) are masked: the times of imported
#   shots are their waveform files' (2001) and stay;
# - the records' ids (random UUIDs), each written as what the record is, from the records
#   files (*.db) under WORK: <site NAME>, <breaker SITE/DESIGNATION>, <session
#   SITE/DESIGNATION N> (N: its place among the breaker's sessions), <point SESSION POLE KIND
#   MULTIPLE>, <shot POINT SOURCE#PULSE>, <curve MAKER MODEL KIND>, <breaker_curve
#   BREAKER KIND>; an id of no record (one typed on a command line) as <id N>, N counting them
#   in the order they first appear in OUT's files sorted by name.
# Then two orders that follow the ids are set by the texts: a sync's conflicts (sync*.out)
# and the rows of each table (*.rows).
records_normalise() { # WORK DAY0 OUT
    local work=$1 day0=$2 out=$3 f texts names today now
    today=$(date -u +%F)
    now="($day0|$today)([T ][0-9]{2}:[0-9]{2}(:[0-9]{2}(\.[0-9]{1,3})?)?Z?)?"
    mapfile -d '' texts < <(find "$out" -type f ! -name '*.owf' -print0 | sort -z)
    [ ${#texts[@]} -gt 0 ] || return 0
    sed -i -E -e "s#$work#WORK#g" -e "s#${work//\//%2F}#WORK#g" -e "s/$now/<now>/g" \
        "${texts[@]}"
    names=$(mktemp "$work/names-XXXXXX")
    while IFS= read -r -d '' f; do
        records_names "$f"
    done < <(find "$work" -name '*.db' -size +0 -print0 | sort -z) > "$names"
    NAMES=$names perl -i -pe '
        BEGIN {
            our (%name, %id, $n);
            open(my $f, "<", $ENV{NAMES}) or die;
            while (<$f>) { chomp; my ($id, $hex) = split /\|/; $name{$id} = pack("H*", $hex) }
        }
        s{\b([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12})\b}
            {"<" . ($name{$1} // "id " . ($id{$1} //= ++$n)) . ">"}ge' "${texts[@]}"
    for f in "${texts[@]}"; do
        case "$f" in
        */sync*.out)
            { grep -v '^conflict: ' "$f" || true; grep '^conflict: ' "$f" | sort || true; } \
                > "$f.sorted"
            mv "$f.sorted" "$f"
            ;;
        *.rows)
            awk '/^== / { n++ } { print n "\t" (/^== / || head[n]++ == 0 ? 0 : 1) "\t" $0 }' \
                "$f" | sort -t "$(printf '\t')" -k1,1n -k2,2n -k3 | cut -f 3- > "$f.sorted"
            mv "$f.sorted" "$f"
            ;;
        esac
    done
}
