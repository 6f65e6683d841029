#!/usr/bin/env bash
# Runs a test program inside a small virtual machine: Debian's kernel with
# the modules fetch-kernel.sh left, busybox, the program with its libraries and
# XKB's keyboard data. Exits with the program's status.
#   run-in-vm.sh KERNEL_DIR PROGRAM [ARGUMENTS...]
set -euo pipefail
kernel=$1
program=$2
shift 2
root=$(mktemp -d)
chmod 755 "$root" # the root directory of the machine, open to its users
trap 'rm -rf "$root"' EXIT

mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules}
cp /bin/busybox "$root/bin/busybox"
for applet in sh mount insmod poweroff chmod sleep cat; do ln -s busybox "$root/bin/$applet"; done
cp "$kernel"/*.ko "$root/modules/"
cp "$program" "$root/bin/test"
# The program's shared libraries and their loader, at their own paths.
for library in $(ldd "$program" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
done
mkdir -p "$root/usr/share/X11"
cp -r /usr/share/X11/xkb "$root/usr/share/X11/"

cat > "$root/init" <<INIT
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
$(sed 's|.*|insmod /modules/&.ko|' "$kernel/modules")
/bin/test $*
echo "PELVARO-VM-STATUS=\$?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) > "$root.cpio.gz"

output=$(timeout 300 qemu-system-x86_64 -m 512 -nographic -no-reboot -kernel "$kernel/vmlinuz" \
    -initrd "$root.cpio.gz" -append "console=ttyS0 panic=-1 quiet" 2>&1 | tr -d '\r')
rm -f "$root.cpio.gz"
echo "$output"
status=$(echo "$output" | sed -n 's/^PELVARO-VM-STATUS=//p' | tail -n 1)
exit "${status:-1}"
