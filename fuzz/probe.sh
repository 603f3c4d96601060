#!/usr/bin/env bash
# Builds each reader's worst-shaped input of 16 MiB (the largest file a
# reader takes) and prints the time and peak memory of reading it in a
# release build: the replay program of the reader's fuzz target reads the
# file whole, so its peak memory includes two copies of the input.
# Usage: fuzz/probe.sh [build folder, default build-probe]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-probe}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZY_BUILD_TESTS=OFF -DZY_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target vmx_replay zyf_replay ec2_replay xen_replay \
  message_replay restore_json_replay diskimage_replay >/dev/null
inputs=$(mktemp -d)
trap 'rm -rf "$inputs"' EXIT

python3 - "$inputs" <<'PY'
import sys, os
out = sys.argv[1]
LIMIT = 16 * 1024 * 1024

def fill(name, head, item, tail, count=None):
    """head + item(i) ... + tail, as many items as fit in 16 MiB."""
    size, i = len(head) + len(tail), 0
    with open(os.path.join(out, name), "wb") as f:
        f.write(head)
        while True:
            piece = item(i)
            if size + len(piece) > LIMIT or (count is not None and i >= count):
                break
            f.write(piece); size += len(piece); i += 1
        f.write(tail)

# VMware configuration text.
fill("vmx-unique-keys", b'config.version = "8"\n', lambda i: b"k%x=1\n" % i, b"")
fill("vmx-invalid-utf8-value", b'config.version = "8"\nannotation = "',
     lambda i: b"\x81\xc3" * 512, b'"\n')
fill("vmx-disks", b'config.version = "8"\n',
     lambda i: b'scsi%d:%d.present = "TRUE"\nscsi%d:%d.fileName = "d.vmdk"\n'
     % (i // 10000, i % 10000, i // 10000, i % 10000), b"")
fill("vmx-nics", b'config.version = "8"\n',
     lambda i: b'ethernet%d.present = "TRUE"\n' % i, b"", count=10000)
# VMConfig.zyf.
fill("zyf-properties", b'{"format":"ZyVMConfig","version":1,"vm":{"vFiles":[{"strFileName":"a","properties":{',
     lambda i: b'"p%x":"",' % i, b'"z":""}}]}}')
fill("zyf-disks", b'{"format":"ZyVMConfig","version":1,"vm":{"vDisks":[',
     lambda i: b'{},', b'{}]}}')
depth = 256
fill("zyf-snapshots", b'{"format":"ZyVMConfig","version":1,"vm":{"vSnapshots":[' +
     b'{"vChildren":[' * (depth - 1), lambda i: b"", b"{}" + b"]}" * (depth - 1) + b"]}}",
     count=0)
# Amazon DescribeInstances.
ec2_head = (b'<DescribeInstancesResponse><reservationSet><item><instancesSet>'
            b'<item><instanceId>i-1</instanceId><blockDeviceMapping>')
fill("ec2-block-devices", ec2_head,
     lambda i: b"<item><deviceName>/dev/sd%d</deviceName><ebs><volumeId>vol-%d"
               b"</volumeId></ebs></item>" % (i, i),
     b"</blockDeviceMapping></item></instancesSet></item></reservationSet>"
     b"</DescribeInstancesResponse>")
fill("ec2-instances", b"<DescribeInstancesResponse><reservationSet><item><instancesSet>",
     lambda i: b"<item><instanceId>i-%d</instanceId></item>" % i,
     b"</instancesSet></item></reservationSet></DescribeInstancesResponse>")
# Xen domain files.
fill("xen-disks", b"name = 'vm'\ndisk = [", lambda i: b"'file:/d%d.img,xvd%s,w'," %
     (i, bytes([97 + i % 26])), b"]\n")
fill("xen-settings", b"name = 'vm'\n", lambda i: b"s%x = 1\n" % i, b"")
fill("xen-string", b"name = '", lambda i: b"a" * 4096, b"'\n")
# Recovery messages and restore requests.
fill("message-elements", b"<VMOpReq>", lambda i: b"<a>", b"")
fill("restore-json-disks", b'{"strVMName":"v","vDisks":[', lambda i: b"{},", b"{}]}")
# A VMDK descriptor of extent lines, opened as a VMDK disk (first byte).
fill("diskimage-extents", b"\x05# Disk DescriptorFile\n",
     lambda i: b'RW 2048 FLAT "e%d.vmdk" 0\n' % i, b"")
PY

printf '%-26s %9s %8s %12s %12s\n' input bytes seconds "peak KiB" "bytes/byte"
for file in "$inputs"/*; do
  name=$(basename "$file")
  case $name in
    vmx-*) target=vmx ;; zyf-*) target=zyf ;; ec2-*) target=ec2 ;;
    xen-*) target=xen ;; message-*) target=message ;;
    restore-json-*) target=restore_json ;; diskimage-*) target=diskimage ;;
  esac
  bytes=$(stat -c %s "$file")
  # A reader that takes over a minute is reported as such ("60+").
  /usr/bin/time -f '%e %M' -o "$inputs/.time" \
    timeout 60 "$build/fuzz/${target}_replay" "$file" >/dev/null 2>&1 || true
  read -r seconds kib < <(tail -1 "$inputs/.time")
  printf '%-26s %9d %8s %12d %12.1f\n' "$name" "$bytes" "$seconds" "$kib" \
    "$(echo "$kib * 1024 / $bytes" | bc -l)"
done
