#!/usr/bin/env bash
# libiscsi's initiators (iscsi-ls, iscsi-inq, iscsi-readcapacity16) against the built qzvsim on a
# free port: discovery and login to a new-layout and an old-layout unit, INQUIRY, READ CAPACITY(16)
# answered from the unit's READ CAPACITY(10), the lines qzvsim prints, its transcript, and its end
# on SIGTERM. Skipped (exit 77) only when the tools are missing.
set -u
qzvsim=$1
for tool in iscsi-ls iscsi-inq iscsi-readcapacity16; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is missing (scripts/install-deps installs libiscsi-bin)"
    exit 77
  fi
done

work=$(mktemp -d /tmp/qzvsim-libiscsi.XXXXXX)
pid=
trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*"
  echo "--- qzvsim printed:"
  cat "$work/out"
  exit 1
}
# expect FILE PATTERN: the file holds a line matching the extended regular expression.
expect() {
  grep -Eq -- "$2" "$1" || { echo "--- $1:"; cat "$1"; fail "no line matching '$2'"; }
}

"$qzvsim" --listen=127.0.0.1:0 --verbose --product=H --revision=1.99 \
  --unit --product=G --revision=1.50 --transcript="$work/g.txt" >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 100); do
  grep -q '^listening ' "$work/out" && break
  sleep 0.1
done
portal=$(sed -n 's/^listening //p' "$work/out")
[ -n "$portal" ] || fail "qzvsim did not start"
h=iqn.2025-01.invalid.qzvsim:qzv-57h.0
g=iqn.2025-01.invalid.qzvsim:qzv-57g.1

timeout 30 iscsi-ls -s "iscsi://$portal" >"$work/ls" 2>&1 || fail "iscsi-ls failed: $(cat "$work/ls")"
expect "$work/ls" "^Target:$h Portal:$portal,1$"
expect "$work/ls" "^Target:$g Portal:$portal,1$"
expect "$work/ls" "Lun:0 +Type:DIRECT_ACCESS"

timeout 30 iscsi-inq "iscsi://$portal/$g/0" >"$work/inq" 2>&1 || fail "iscsi-inq failed: $(cat "$work/inq")"
expect "$work/inq" "^Vendor:VORNA"
expect "$work/inq" "^Product:QZV-57G"
expect "$work/inq" "^Revision:1.50"

timeout 30 iscsi-readcapacity16 "iscsi://$portal/$h/0" >"$work/cap" 2>&1 ||
  fail "iscsi-readcapacity16 failed: $(cat "$work/cap")"
expect "$work/cap" "RETURNED LOGICAL BLOCK ADDRESS:2047"
expect "$work/cap" "LOGICAL BLOCK LENGTH IN BYTES:512"

# A target name nobody serves.
if timeout 30 iscsi-inq "iscsi://$portal/iqn.2025-01.invalid.qzvsim:none.9/0" >"$work/none" 2>&1; then
  fail "iscsi-inq reached a target that does not exist"
fi

kill -TERM "$pid"
wait "$pid"
rc=$?
pid=
[ "$rc" -eq 0 ] || fail "qzvsim ended with $rc after SIGTERM"
expect "$work/out" "^login discovery peer=127\.0\.0\.1:[0-9]+ initiator=iqn\..*:iscsi-ls$"
expect "$work/out" "^login unit=1 peer=127\.0\.0\.1:[0-9]+ initiator=iqn\..*:iscsi-inq$"
expect "$work/out" "^logout unit=1 peer=127\.0\.0\.1:[0-9]+ initiator=iqn\..*:iscsi-inq reason=logout$"
expect "$work/out" "^command unit=0 by=target 9E 10 .* GOOD$"
expect "$work/out" "^command unit=0 by=unit 25 00 00 00 00 00 00 00 00 00 \| in \| 8 \|.* GOOD$"
expect "$work/out" "^login-refused unit=- peer=127\.0\.0\.1:[0-9]+ initiator=.* status=0203$"
expect "$work/out" "^stopped$"
expect "$work/g.txt" "^12 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00 \| in \| 64 \| [0-9a-f]{64} \| GOOD$"
echo "libiscsi tools against qzvsim at $portal: discovery, INQUIRY and READ CAPACITY(16) as expected"
