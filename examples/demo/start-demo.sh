#!/usr/bin/env bash
# Starts the demo host application "Controle de Estoque" (called by
# `./run demo` with the build folder as its argument).
#
# The alias "qvdemo" is looked up like every alias, with the demo's own
# aliases file first (~/.local/share/qvd3-demo/aliases.ini, used through
# QV_ALIASES). When no file defines it, the script writes it there, pointing
# at an embedded SQLite database in the same folder. When the alias's
# database has no security tables yet, the script creates them with qvsetup,
# adds the sample users, profiles and rights, and keeps the initial password
# of "master" in the folder. A database that already has the tables (for
# example on a PostgreSQL server, prepared as the README shows) is used as it
# is. A setup cut short is finished on the next run.
#
# With a display ($DISPLAY or $WAYLAND_DISPLAY) the real window opens.
# Without one, a scripted tour runs on the offscreen platform, on a fresh
# database of its own, and saves a picture of every window it showed.
#
# Everything the script writes is readable by the user alone.
set -euo pipefail
umask 077

say() { printf '[demo] %s\n' "$*"; }
fail() { printf '[demo] %s\n' "$@" >&2; exit 1; }

build=${1:?usage: start-demo.sh BUILD_DIR}
build=$(cd "$build" && pwd)
qvsetup="$build/tools/qvsetup"
qvdemo="$build/examples/qvdemo"
for program in "$qvsetup" "$qvdemo"; do
  [ -x "$program" ] || fail "$program is missing: build it first (./run demo does)"
done

state=${QVD3_DEMO_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/qvd3-demo}
alias=qvdemo
password_file="$state/master-password"
# The database whose "master" the password file is for, and the database the
# sample users were added to: a setup interrupted between steps is finished.
password_owner="$state/master-password.database"
seeded_marker="$state/seeded.database"
export QV_ALIASES="$state/aliases.ini"
mkdir -p "$state" || fail "cannot create the demo folder $state" "set QVD3_DEMO_HOME to a folder you can write"
# Earlier versions of this script left the folder readable by everyone.
chmod -R go-rwx "$state"

# The alias as qvsetup sees it: driver, location and file.
alias_line() {
  "$qvsetup" alias list | awk -F '\t' -v name="$alias" 'tolower($1) == name { print; exit }'
}
line=$(alias_line) || fail "the aliases files cannot be read (see the message above); correct or remove the file it names"
if [ -z "$line" ]; then
  say "writing the alias $alias (SQLite, $state/estoque.db) into $QV_ALIASES"
  "$qvsetup" alias add "$alias" sqlite "$state/estoque.db" >/dev/null \
    || fail "the alias $alias could not be written to $QV_ALIASES (see the message above)"
  line=$(alias_line)
fi
IFS=$'\t' read -r _ driver location alias_file <<<"$line"
if [ "$driver" = sqlite ]; then database="$location (SQLite file)"; else database="$location (PostgreSQL)"; fi

if ! "$qvsetup" check "$alias" >/dev/null 2>&1; then
  say "creating the security database of alias $alias: $database"
  password=$(head -c 12 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 8)
  printf '%s\n' "$password" >"$password_file"
  if ! "$qvsetup" init "$alias" --master-password-file "$password_file" >/dev/null; then
    rm -f "$password_file" "$password_owner"
    fail "the security database of alias $alias could not be created (see the message above)." \
      "To start over with the embedded database, remove $state and run ./run demo again."
  fi
  printf '%s\n' "$location" >"$password_owner"
fi
if [ "$(cat "$seeded_marker" 2>/dev/null)" != "$location" ]; then
  say "adding the sample users, profiles and rights"
  "$qvdemo" --alias "$alias" --seed >/dev/null \
    || fail "the sample users could not be added to $database (see the message above); run ./run demo again to retry"
  printf '%s\n' "$location" >"$seeded_marker"
fi
[ "$driver" != sqlite ] || chmod go-rwx "$location"* 2>/dev/null || true

# The last lines before the window or the tour: what the person needs.
show_access() {
  say "alias:     $alias (from $alias_file)"
  say "database:  $database"
  if [ -f "$password_file" ] && [ "$(cat "$password_owner" 2>/dev/null)" = "$location" ]; then
    say "user \"master\", initial password: $(head -n 1 "$password_file") (kept in $password_file)"
  else
    say "user \"master\": the password given to qvsetup init for this database"
  fi
  say "sample users: joao / joao123 (Estoquista), ana / ana123 (Consulta)"
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  show_access
  say "starting qvdemo"
  exec "$qvdemo" --alias "$alias"
fi

plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
if [ ! -e "$plugins/platforms/libqoffscreen.so" ]; then
  fail "no display (\$DISPLAY / \$WAYLAND_DISPLAY unset) and no Qt offscreen platform: cannot show the demo" \
    "start ./run demo from a graphical session"
fi

# The tour changes a password and writes audit rows, so it works on a fresh
# database of its own with a password of its own: the demo's database (on
# either engine) is never touched by it.
tour_dir="$state/tour-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$tour_dir"
tour_password=$(head -c 12 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 8)
printf '%s\n' "$tour_password" >"$tour_dir/master-password"
(
  export QV_ALIASES="$tour_dir/aliases.ini"
  "$qvsetup" alias add "$alias" sqlite "$tour_dir/estoque-tour.db" >/dev/null &&
    "$qvsetup" init "$alias" --master-password-file "$tour_dir/master-password" >/dev/null &&
    "$qvdemo" --alias "$alias" --seed >/dev/null
) || fail "the tour's database in $tour_dir could not be prepared (see the message above)"

show_access
say "no display: running the scripted tour offscreen on its own database; pictures go to $tour_dir"
QV_ALIASES="$tour_dir/aliases.ini" QT_QPA_PLATFORM=offscreen \
  "$qvdemo" --alias "$alias" --tour "$tour_dir" --master-password-file "$tour_dir/master-password"
