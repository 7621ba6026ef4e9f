# Sourced by the scripts that run Windows programs: a private 32-bit Wine
# prefix under the build tree, no display, and one Wine server with its
# helper processes started here, detached from every pipe, so that a test
# runner reading a test's output never waits for them. `wine_stop` ends it.
export WINEPREFIX="${PORRESKU_ROOT:?}/build/wine"
export WINEARCH=win32
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine: preparing a 32-bit prefix in $WINEPREFIX (once)"
  mkdir -p "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
wine_stop() { wineserver -k >/dev/null 2>&1 || true; }
