# Shared by the scripts: install missing Debian packages, configure and build.
# Sourced, not run.

# Packages every build and test needs; scripts add their own.
MIVO_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev zlib1g-dev
  libbz2-dev libsqlite3-dev nlohmann-json3-dev libssl-dev)

# ensure_packages PKG...: installs the packages that are not installed yet.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  # Another install on the machine holds the lock for a while: wait for it, not fail.
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${missing[@]}"
}

# configure_tree DIR [CMAKE OPTION...]: configures one build tree (once).
configure_tree() {
  local dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
}

# build_tree DIR [CMAKE OPTION...]: configures (once) and builds one build tree.
build_tree() {
  local dir=$1
  shift
  configure_tree "$dir" "$@"
  cmake --build "$dir"
}

# The version of Debian package $1 that apt would install (the one its source is fetched at).
candidate() { apt-cache policy "$1" | awk '/Candidate:/ { print $2 }'; }

# The Debian source package $1 (at the version of the binary packages here), unpacked
# into the current folder. The deb-src entries are the machine's own deb entries, kept in
# a private apt configuration (its own lists folder), so nothing under /etc/apt changes.
fetch_source() {
  local package=$1 aptdir
  aptdir=$(mktemp -d)
  mkdir -p "$aptdir/sources.list.d" "$aptdir/lists/partial"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" >"$aptdir/sources.list.d/$(basename "$f")"
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >"$aptdir/sources.list"
  else
    : >"$aptdir/sources.list"
  fi
  for f in /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" >>"$aptdir/sources.list"
  done
  local options=(-o "APT::Sandbox::User=root" -o "Dir::Etc::sourcelist=$aptdir/sources.list"
    -o "Dir::Etc::sourceparts=$aptdir/sources.list.d"
    -o "Dir::State::Lists=$aptdir/lists"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
  apt-get "${options[@]}" update -qq
  apt-get "${options[@]}" source -qq "$package" >/dev/null 2>&1 ||
    apt-get "${options[@]}" source "$package"
  rm -rf "$aptdir"
}
