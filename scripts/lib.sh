# Sourced by the project's commands: build, display and Wine set-up.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env"

# The toolchain file of the build that TANDREL_ARCH picks (scripts/wine-env).
tandrel_toolchain() {
  case "$tandrel_arch" in
    x86) echo "$tandrel_repo/cmake/mingw-i686.cmake" ;;
    x64) echo "$tandrel_repo/cmake/mingw-x86_64.cmake" ;;
  esac
}

tandrel_build_all() {
  cmake -S "$tandrel_repo" -B "$tandrel_build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$(tandrel_toolchain)" >/dev/null
  cmake --build "$tandrel_build" -j "$(nproc)"
}

# Uses the caller's display when it answers; otherwise starts a private Xvfb
# that ends with the calling script.
tandrel_ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  tandrel_xvfb_pid=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  trap tandrel_stop_display EXIT
}

# Wine's programs go first, so that none of them is left talking to a display
# that has gone.
tandrel_stop_display() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$tandrel_xvfb_pid" 2>/dev/null || true
}

# Creates the prefix on first use and keeps one wineserver alive so that the
# test programs do not race each other starting it.
tandrel_ensure_wine() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # A crashing test program must end, not wait in the debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /t REG_SZ /d 'cmd /c exit' /f >/dev/null 2>&1
    # Xvfb runs no window manager; without this Wine waits for one each time
    # a top-level window is hidden.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1 || true
  wine cmd /c exit >/dev/null 2>&1 || true
}
