#!/usr/bin/env bash
# The jet command's contract: output on stdout, errors on stderr with a
# non-zero status, `check` exiting 0 when clean and 1 with findings.
set -u
jet=$1
shared=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

small=$shared/fixtures/small/ostrel.mdb
[ "$("$jet" tables "$small" | sort | tr '\n' ' ')" = "FORUM_CATEGORY FORUM_FORUM FORUM_MEMBERS FORUM_REPLY FORUM_TOPICS " ] ||
  fail "tables"
"$jet" export "$small" forum_category | head -1 | grep -qx "CAT_ID,CAT_STATUS,CAT_NAME,CAT_ORDER,cat_pid,CAT_MODERATION" ||
  fail "export header (table names match without regard to case)"
"$jet" dump "$small" | cmp -s - "$shared/fixtures/small/ostrel.dump" || fail "dump"
"$jet" check "$small" > "$tmp/out" || fail "check of a clean file"
grep -q "clean" "$tmp/out" || fail "check prints clean"

out=$("$jet" sql "$small" "select FORUM_ID, F_LAST_POST from forum_forum where FORUM_ID in (912, 914) order by 1")
[ "$out" = "$(printf 'FORUM_ID\tF_LAST_POST\n912\t\\N\n914\t20030417214356')" ] || fail "sql rows: $out"
[ "$("$jet" sql "$small" "create temp table t(x)")" = "0" ] || fail "sql without rows prints the rows changed"
"$jet" sql "$small" "select * from nowhere" 2> "$tmp/err" && fail "a failing statement exits 0"
grep -q "no such table: nowhere" "$tmp/err" || fail "sql error message: $(cat "$tmp/err")"

"$jet" export "$small" NO_SUCH_TABLE > "$tmp/out" 2> "$tmp/err" && fail "missing table exits 0"
[ -s "$tmp/out" ] && fail "missing table printed to stdout"
grep -q "table 'NO_SUCH_TABLE' does not exist" "$tmp/err" || fail "missing table message: $(cat "$tmp/err")"
"$jet" tables "$tmp/none.mdb" 2> "$tmp/err" && fail "missing file exits 0"
grep -q "none.mdb: cannot open" "$tmp/err" || fail "missing file message: $(cat "$tmp/err")"

# A wrong row count: FORUM_MEMBERS is the table definition counting 30 rows.
cp "$small" "$tmp/bad.mdb"
python3 - "$tmp/bad.mdb" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
for page in range(len(data) // 4096):
    base = page * 4096
    if data[base] == 2 and struct.unpack_from('<I', data, base + 16)[0] == 30:
        struct.pack_into('<I', data, base + 16, 29)
open(path, 'wb').write(data)
PY
"$jet" check "$tmp/bad.mdb" > "$tmp/out"
[ $? -eq 1 ] || fail "check of a damaged file does not exit 1"
grep -q "row count in the definition is 29 but 30 live rows" "$tmp/out" || fail "check finding: $(cat "$tmp/out")"
# The builder makes the small archive again from its content.
"$jet" build "$shared/fixtures/small/content.json" "$tmp/built.mdb" || fail "build"
"$jet" dump "$tmp/built.mdb" | cmp -s - "$shared/fixtures/small/ostrel.dump" || fail "the built archive's dump differs"
"$jet" check "$tmp/built.mdb" > /dev/null || fail "the built archive is not clean"
"$jet" build "$shared/fixtures/small/content.json" "$tmp/built.mdb" 2> "$tmp/err" && fail "build over an existing file"
grep -q "cannot create" "$tmp/err" || fail "build message: $(cat "$tmp/err")"
echo '{"tables": {"FORUM_CATEGORY": [{"CAT_ID": 1}, {"CAT_ID": 1}]}}' > "$tmp/dup.json"
"$jet" build "$tmp/dup.json" "$tmp/dup.mdb" 2> "$tmp/err" && fail "build with a duplicate key"
grep -q "table FORUM_CATEGORY row 2: table 'FORUM_CATEGORY' already has a row" "$tmp/err" || fail "build message: $(cat "$tmp/err")"
[ -e "$tmp/dup.mdb" ] && fail "a failed build leaves a file"

echo "jet command: all checks passed"
