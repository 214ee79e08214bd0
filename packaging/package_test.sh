#!/usr/bin/env bash
# The Debian package: built with cpack from a build directory whose programs
# are built, checked (name, dependencies, file list), unpacked with dpkg -x
# into a scratch root, and tried there: the launcher prepares a working
# directory and reports the version, every program answers --help and
# --version, and every manual page formats without a warning.
#
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb="$scratch/out/wexa_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$scratch/out"; echo "FAIL: no $deb"; exit 1; }

# Dependencies: the libraries the programs link, found by dpkg-shlibdeps.
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libncurses6 libtinfo6 libcurl4 libgumbo1 libicu72; do
  case ", $depends," in
    *", $lib "* | *", $lib,"*) ;;
    *) fail "Depends lacks $lib" ;;
  esac
done
[ "$(dpkg-deb --field "$deb" Package)" = wexa ] || fail "package name"
[ "$(dpkg-deb --field "$deb" Architecture)" = amd64 ] || fail "architecture"
dpkg-deb -e "$deb" "$scratch/control"
[ "$(cat "$scratch/control/conffiles")" = /etc/default/wexapserver ] || fail "conffiles"
for script in postinst prerm postrm; do
  [ -x "$scratch/control/$script" ] || fail "$script missing"
done

# The files, exactly.
dpkg-deb -c "$deb" >"$scratch/listing"
awk '$1 !~ /^d/ {print $6}' "$scratch/listing" | sort >"$scratch/files"
cat >"$scratch/expected" <<'LIST'
./etc/default/wexapserver
./usr/bin/passdump
./usr/bin/tablepass
./usr/bin/wexa
./usr/lib/systemd/system/wexapserver.service
./usr/lib/wexa/wexa
./usr/sbin/wexapserver
./usr/share/man/man1/passdump.1.gz
./usr/share/man/man1/tablepass.1.gz
./usr/share/man/man1/wexa.1.gz
./usr/share/man/man8/wexapserver.8.gz
./usr/share/wexa/wexa.html
LIST
diff -u "$scratch/expected" "$scratch/files" || fail "file list"
grep -Eq '^-rwxr-xr-x .* \./usr/bin/wexa$' "$scratch/listing" || fail "launcher not executable"

root="$scratch/root"
dpkg -x "$deb" "$root"

# The launcher with the browser beside it in the scratch root.
[ "$("$root/usr/bin/wexa" --version)" = "wexa $version" ] || fail "wexa --version"
grep -q '^Usage: wexa' <<<"$("$root/usr/bin/wexa" --help)" || fail "wexa --help"
# Without options it prepares the working directory, then the browser
# stops for want of a terminal.
home="$scratch/home"
mkdir -p "$home"
set +e
env -u XDG_DATA_HOME -u TERM HOME="$home" "$root/usr/bin/wexa" >"$scratch/run.out" 2>&1
status=$?
set -e
work="$home/.local/share/wexa"
[ $status -eq 1 ] || fail "wexa without a terminal exited $status"
grep -q "TERM is not set" "$scratch/run.out" || fail "wexa did not run in its directory: $(cat "$scratch/run.out")"
cmp -s "$work/cache/0.html" "$root/usr/share/wexa/wexa.html" || fail "start page not copied"
[ "$(stat -c %s "$work/.proxy.conf")" = 18 ] || fail ".proxy.conf"
# What is there stays.
echo "<p>mine</p>" >"$work/cache/0.html"
env -u TERM HOME="$home" XDG_DATA_HOME="$scratch/xdg" "$root/usr/bin/wexa" >/dev/null 2>&1 || true
[ -f "$scratch/xdg/wexa/cache/0.html" ] || fail "XDG_DATA_HOME not used"
env -u XDG_DATA_HOME -u TERM HOME="$home" "$root/usr/bin/wexa" >/dev/null 2>&1 || true
grep -q mine "$work/cache/0.html" || fail "start page overwritten"

grep -q '^Usage: wexapserver' <<<"$("$root/usr/sbin/wexapserver" --help)" || fail "wexapserver --help"
[ "$("$root/usr/sbin/wexapserver" --version)" = "wexapserver $version" ] || fail "wexapserver --version"
for tool in tablepass passdump; do
  [ "$("$root/usr/bin/$tool" --version)" = "$tool $version" ] || fail "$tool --version"
  grep -q "^Usage: $tool" <<<"$("$root/usr/bin/$tool" --help)" || fail "$tool --help"
done
grep -q "^ExecStart=/usr/sbin/wexapserver " "$root/usr/lib/systemd/system/wexapserver.service" ||
  fail "unit's ExecStart"

# Manual pages: no warnings from groff, and the browser's keys and files.
for page in "$root"/usr/share/man/man*/*.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
wexa_page=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/wexa.1.gz" 2>/dev/null)
for text in F1 F2 F3 "Page Up" ".proxy.conf" "cache/0.html" "XDG_DATA_HOME"; do
  grep -qF -- "$text" <<<"$wexa_page" || fail "wexa(1) does not mention $text"
done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb") checked"
