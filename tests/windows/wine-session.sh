# What the Wine runs (run-wine-tests, run-wine-e2e) share: a throw-away work folder with a
# fresh prefix, run on a virtual X display as the user that owns it, made into a Korean
# Windows desktop. Sourced by bash scripts; the functions set and use the variables named.
#
# As root, Wine runs as the user nobody: Windows refuses to write a read-only file even to
# an administrator, while Wine, which keeps the read-only bit as the missing write bits of
# the Linux file, would let root pass every such check.
# Wine's output goes to files, never through a pipe: its background processes would keep a
# pipe open.

# wine_work PREFIX-NAME: makes the work folder ($work, with home/ and bin/), removed with
# its Wine server at exit unless MIVO_WINE_KEEP is set; $as_user runs a command as the
# prefix's owner.
wine_work() {
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  as_user=()
  if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  trap wine_cleanup EXIT
  mkdir -p "$work/home" "$work/bin"
  # The desktop settings, as regedit reads Korean text: UTF-16 with a byte-order mark.
  {
    printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.reg"
  } >"$work/wine-desktop.reg"
}

wine_cleanup() {
  WINEPREFIX=$work/prefix "${as_user[@]}" wineserver -k >/dev/null 2>&1 || true
  if [ -n "${MIVO_WINE_KEEP:-}" ]; then
    echo "-- kept: $work"
  else
    rm -rf "$work"
  fi
}

# wine_session SCRIPT: runs "SCRIPT --inside $work" on a virtual X display as the prefix's
# owner, its output in $work/session.log.
wine_session() {
  if [ ${#as_user[@]} -gt 0 ]; then
    chown -R nobody:nogroup "$work"
  fi
  "${as_user[@]}" env TMPDIR="$work" xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
    "$1" --inside "$work" >"$work/session.log" 2>&1 || true
}

# wine_environment WORK: inside the session, the environment of every Wine program ($wine
# runs one) and winepath_of, the Windows path of a Linux path.
wine_environment() {
  work=$1
  export WINEPREFIX=$work/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export HOME=$work/home
  # A Korean Windows: the ANSI code page 949, Korean system texts and button captions.
  export LC_ALL=ko_KR.UTF-8 LANG=ko_KR.UTF-8
  # Debian's wine runs 64-bit programs through wine64, which is not on the PATH itself.
  wine=$(command -v wine64 || command -v wine)
}

# Z: is the Linux root in every Wine prefix.
winepath_of() { echo "Z:${1//\//\\}"; }

# wine_prefix: inside the session, makes the prefix and applies the desktop settings.
wine_prefix() {
  "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || true
  wineserver -w
  "$wine" regedit /S "$(winepath_of "$work/wine-desktop.reg")" >>"$work/regedit.log" 2>&1 || true
  wineserver -w
}
