# Sourced by the scripts that run the Windows program or its tests under Wine.
# Chooses the build that can run here, sets up Wine's environment for the
# project's own prefix (created on first use) and starts Wine's background
# services outside any pipe of the caller.
#
# Sets FWUP_WINDOWS_PRESET (windows, or windows-x64) and FWUP_WINE (the loader).

fwup_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# The program is 32-bit. Some kernels (certain virtual machines) cannot run
# 32-bit code at all; Wine's 32-bit loader then fails to start, and only the
# 64-bit build of the same sources can run the tests.
if wine --version >/dev/null 2>&1; then
  FWUP_WINDOWS_PRESET=windows
  FWUP_WINE=wine
  export WINEARCH=win32
  export WINEPREFIX="$fwup_root/build/wine-prefix/win32"
else
  FWUP_WINDOWS_PRESET=windows-x64
  FWUP_WINE=/usr/lib/wine/wine64
  export WINEARCH=win64
  export WINEPREFIX="$fwup_root/build/wine-prefix/win64"
  export WINELOADER="$FWUP_WINE"
  echo "Note: this kernel cannot run 32-bit programs, so Wine runs the 64-bit build"
  echo "of the program and its tests (preset windows-x64); the 32-bit program is"
  echo "still built and its file checked (preset windows)."
fi

# A LOGFONTW as hex: height -11, the weight, the face name.
fwup_logfont() {
  local face
  face=$(printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -d ' \n')
  while [ ${#face} -lt 128 ]; do face+=0; done
  printf 'f5ffffff%024x%02x%02x0000%014x22%s' 0 $(($1 & 255)) $(($1 >> 8)) 0 "$face"
}

# The prefix's registry: with no window manager (Xvfb), Wine must manage and
# decorate the windows itself, or it waits 2 s at every hidden or destroyed
# window. The dialog fonts need a CJK fallback for the Chinese texts under a
# non-Chinese locale. Wine draws the caption in its caption font, whose links
# it resets for each code page to fonts that are not here: the caption gets a
# face with both Latin and Chinese characters, as on Windows, where the
# caption font links to a Chinese one everywhere; so does the message font.
if [ ! -f "$WINEPREFIX/.fwup-prefix-ready-2" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$FWUP_WINE" wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  fwup_reg() { "$FWUP_WINE" reg add "$@" /f </dev/null >/dev/null 2>&1; }
  fwup_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
  fwup_reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N
  for font in "MS Sans Serif" "Microsoft Sans Serif" "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
    fwup_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$font" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei"
  done
  for metric in CaptionFont SmCaptionFont; do
    fwup_reg 'HKCU\Control Panel\Desktop\WindowMetrics' /v "$metric" /t REG_BINARY \
      /d "$(fwup_logfont 700 "WenQuanYi Micro Hei")"
  done
  # The same for the message box's text: the question ends in a full-width
  # question mark in both languages.
  fwup_reg 'HKCU\Control Panel\Desktop\WindowMetrics' /v MessageFont /t REG_BINARY \
    /d "$(fwup_logfont 400 "WenQuanYi Micro Hei")"
  wineserver -w
  touch "$WINEPREFIX/.fwup-prefix-ready-2"
fi

fwup_stop_wine() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
}

# Started here, Wine's services do not hold on to a pipe of whoever runs the
# programs next (CTest waits for its output pipe to close). Services left
# from an earlier run may hold another display: they go first.
fwup_start_wine() {
  fwup_stop_wine
  wineserver -p </dev/null >/dev/null 2>&1
  "$FWUP_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
