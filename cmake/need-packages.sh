#!/bin/sh
# Installs the named Debian packages that are missing (as root), or names
# them and fails. A name ending in :i386 brings in that architecture first.
missing=""
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "uvpaint needs these Debian packages:$missing" >&2
    echo "install them with: sudo apt-get install$missing" >&2
    exit 1
fi
echo "installing:$missing"
case "$missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends $missing >/dev/null || {
    echo "could not install:$missing" >&2
    exit 1
}
