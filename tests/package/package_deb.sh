#!/usr/bin/env bash
# The .deb: its control fields, its contents, an installation into a
# throwaway root, and lintian.
# Usage: package_deb.sh BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
build=$1 source=$2 TARN_VERSION=$3
for tool in dpkg dpkg-deb dpkg-shlibdeps lintian; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
. "$(dirname "$0")/tree.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
deb=$work/out/tarn-hosting_${TARN_VERSION}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: no $deb"; ls "$work/out"; exit 1; }

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tarn-hosting ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$TARN_VERSION" ] || fail "Version: $(field Version)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
[[ ", $depends," == *", openssh-client,"* ]] || fail "Depends lacks openssh-client: $depends"
# A dynamically linked client needs the C library it was linked against.
dpkg-deb -x "$deb" "$work/unpacked"
if ! is_static "$work/unpacked/usr/bin/tarn-hosting"; then
  [[ $depends == *"libc6 (>= "* ]] || fail "Depends lacks the C library: $depends"
fi
description=$(field Description)
[ "$(head -n1 <<<"$description")" = "command-line client of the Tarn container-hosting service" ] ||
  fail "Description synopsis: $(head -n1 <<<"$description")"
[ "$(wc -l <<<"$description")" -gt 1 ] || fail "Description has no extended text"

# Every entry belongs to root, with the usual modes.
while read -r mode owner _ _ _ path; do
  path=${path#./}
  [ "$owner" = root/root ] || fail "$path belongs to $owner"
  case $mode in
    d*) expected=drwxr-xr-x ;;
    *) [ "$path" = usr/bin/tarn-hosting ] && expected=-rwxr-xr-x || expected=-rw-r--r-- ;;
  esac
  [ "$mode" = "$expected" ] || fail "$path has mode $mode"
done < <(dpkg-deb --contents "$deb")

# Installed into an empty root; it depends on packages that are not there.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg --root="$root" --force-not-root --force-depends --install "$deb" >"$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
[ "$(dpkg --root="$root" --status tarn-hosting | sed -n 's/^Status: //p')" = "install ok installed" ] ||
  fail "dpkg does not list tarn-hosting as installed"
# dpkg's own record of the files, beside the directory check.
[ "$(dpkg --root="$root" --listfiles tarn-hosting | grep -c '^/usr/bin/tarn-hosting$')" -eq 1 ] ||
  fail "dpkg does not record /usr/bin/tarn-hosting"
check_tree "$root/usr" 1 "$source" || status=1
check_runs "$root/usr" || status=1
gzip -t "$root/usr/share/man/man1/tarn-hosting.1.gz" || fail "the manual page is not gzipped"
rendered=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/tarn-hosting.1.gz" 2>&1)
grep -q '^NAME' <<<"$rendered" || fail "the installed manual page does not render: $rendered"

# Errors and warnings fail; information tags are only shown.
if ! lintian --fail-on error,warning --info "$deb" >"$work/lintian" 2>&1; then
  fail "lintian:"
  cat "$work/lintian"
fi

[ $status -eq 0 ] && echo "deb: as expected"
exit $status
