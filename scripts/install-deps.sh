#!/bin/sh
# Installs what the build and the tests need, on Debian 12, where it is missing.
# Safe to run again: it only adds what is not there yet.
set -e
# The x86_64 compilers build the twin that the tests fall back to where Wine cannot start
# 32-bit programs (see docs/machines.md); wine32:i386 is what lets it start them.
PACKAGES="g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686
binutils-mingw-w64-x86-64 wine wine64 wine32:i386 xvfb xauth cmake ninja-build googletest
locales python3 python3-pefile cppcheck clang-tidy"
APT_LOG=/tmp/install-deps.$$.log

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Another apt or dpkg run may hold a lock: wait for it, about 15 minutes at most.
apt_run() {
    tries=0
    while ! DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=60 "$@" \
        >"$APT_LOG" 2>&1; do
        tries=$((tries + 1))
        if ! grep -qi 'lock' "$APT_LOG" || [ "$tries" -ge 7 ]; then
            cat "$APT_LOG" >&2
            rm -f "$APT_LOG"
            return 1
        fi
        echo "apt is busy (another process holds its lock): waiting"
        sleep 60
    done
    rm -f "$APT_LOG"
}

updated=no
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "adding the i386 architecture (32-bit Wine)"
    dpkg --add-architecture i386
    apt_run update -qq
    updated=yes
fi
missing=""
for package in $PACKAGES; do
    installed "$package" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    [ "$updated" = yes ] || apt_run update -qq
    # shellcheck disable=SC2086
    apt_run install -y -qq --no-install-recommends $missing
fi
# Wine takes its code page from the Unix locale: the Japanese runs need it generated.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi
