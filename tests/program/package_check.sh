#!/usr/bin/env bash
# The Debian package built from the build folder $1 into the empty folder $2 and unpacked into
# $2/root (dpkg -x): no lintian error, what the program loads without linking it, its version and
# menu entry, units systemd-analyze verify passes, the FreeTDS registration.
set -euo pipefail
build=$1 scratch=$2
fail() { echo "package: $*" >&2; exit 1; }
PEDIDOS_PACKAGE_OUT=$scratch bash "$(dirname "${BASH_SOURCE[0]}")/../../scripts/package" "$build"
deb=$(ls "$scratch"/pedidosftp_*_amd64.deb)
lintian --fail-on error "$deb"
dpkg-deb -c "$deb"
fields=$(dpkg-deb -f "$deb" Depends Recommends)
for needed in libqt6widgets6 firebird3.0-server-core qt6-translations-l10n libqt6sql6-odbc 'Recommends: tdsodbc'; do
  grep -qw "$needed" <<<"$fields" || fail "no $needed in: $fields"
done
dpkg -x "$deb" "$scratch/root"
[[ $("$scratch/root/usr/bin/pedidosftp" --version) == "pedidosftp $(dpkg-deb -f "$deb" Version)" ]] || fail "--version"
ls "$scratch"/root/usr/share/{applications/pedidosftp.desktop,icons/hicolor/32x32/apps/pedidosftp.png} >/dev/null

# One shop's units beside the system's own (no systemd runs here).
cp -a "$scratch/root" "$scratch/units"
cp -rn /lib/systemd/system/. "$scratch/units/lib/systemd/system/"
said=$(systemd-analyze verify --root="$scratch/units" pedidosftp@loja1.service pedidosftp@loja1.timer 2>&1) \
  && [[ -z $said ]] || fail "systemd-analyze verify: $said"

# "SQl Server" registered for FreeTDS once, never over a driver of that name in any case.
register=$scratch/root/usr/lib/pedidosftp/register-sql-server
export ODBCSYSINI=$scratch/odbc
mkdir "$ODBCSYSINI"
printf '[SQLite3]\nDriver=libsqlite3odbc.so\n' >"$ODBCSYSINI/odbcinst.ini"
"$register" && "$register"
[[ $(odbcinst -q -d) == $'[SQLite3]\n[SQl Server]' ]] || fail "drivers: $(odbcinst -q -d)"
grep -qx 'Driver=/usr/lib/.*/libtdsodbc.so' "$ODBCSYSINI/odbcinst.ini" || fail "no FreeTDS driver"
printf '[sql server]\nDriver=/opt/outro/libtds.so\n' >"$ODBCSYSINI/odbcinst.ini"
"$register"
! grep -q libtdsodbc "$ODBCSYSINI/odbcinst.ini" || fail "registered over an existing driver"
