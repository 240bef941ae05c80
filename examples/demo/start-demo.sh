#!/usr/bin/env bash
# Starts the demo host application "Controle de Estoque" (called by
# `./run demo` with the build folder as its argument).
#
# First run: writes the alias "qvdemo" into an aliases file of its own
# (~/.local/share/qvd3-demo/aliases.ini, used through QV_ALIASES), creates the
# embedded SQLite security database next to it with qvsetup, adds the sample
# users, profiles and rights, and prints the alias, the file and the initial
# password of "master" once. Later runs reuse them.
#
# With a display ($DISPLAY or $WAYLAND_DISPLAY) the real window opens.
# Without one, a scripted tour runs on the offscreen platform, on a copy of
# the database, and saves a picture of every window it showed.
set -euo pipefail

build=${1:?usage: start-demo.sh BUILD_DIR}
build=$(cd "$build" && pwd)
qvsetup="$build/tools/qvsetup"
qvdemo="$build/examples/qvdemo"
for program in "$qvsetup" "$qvdemo"; do
  [ -x "$program" ] || { echo "[demo] $program is missing: build the project first (./run demo does)" >&2; exit 1; }
done

state=${QVD3_DEMO_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/qvd3-demo}
alias=qvdemo
db="$state/estoque.db"
password_file="$state/master-password"
export QV_ALIASES="$state/aliases.ini"
mkdir -p "$state"

if [ ! -f "$db" ]; then
  password=$(head -c 9 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 8)
  # An alias left from an earlier database that was removed is kept.
  grep -qx "\[$alias\]" "$QV_ALIASES" 2>/dev/null || "$qvsetup" alias add "$alias" sqlite "$db" >/dev/null
  "$qvsetup" init "$alias" --master-password "$password" >/dev/null \
    || { rm -f "$db"; echo "[demo] the security database could not be created" >&2; exit 1; }
  "$qvdemo" --alias "$alias" --seed >/dev/null \
    || { rm -f "$db"; echo "[demo] the sample users could not be added" >&2; exit 1; }
  (umask 077 && printf '%s\n' "$password" >"$password_file")
  cat <<INFO
[demo] security database created
[demo]   alias:     $alias (aliases file $QV_ALIASES)
[demo]   database:  $db
[demo]   user "master", initial password: $password
[demo]   sample users: joao / joao123 (Estoquista), ana / ana123 (Consulta)
INFO
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$qvdemo" --alias "$alias"
fi

plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
if [ ! -e "$plugins/platforms/libqoffscreen.so" ]; then
  echo "[demo] no display (\$DISPLAY / \$WAYLAND_DISPLAY unset) and no Qt offscreen platform: cannot show the demo" >&2
  exit 1
fi

tour_dir="$state/tour-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$tour_dir"
echo "[demo] no display: running the scripted tour offscreen; pictures go to $tour_dir"
# The tour changes a password and writes audit rows: it works on a copy.
cp "$db" "$tour_dir/estoque-tour.db"
printf '[%s]\ndriver=sqlite\npath=%s\n' "$alias" "$tour_dir/estoque-tour.db" >"$tour_dir/aliases.ini"
QV_ALIASES="$tour_dir/aliases.ini" QT_QPA_PLATFORM=offscreen \
  "$qvdemo" --alias "$alias" --tour "$tour_dir" --master-password "$(cat "$password_file")"
