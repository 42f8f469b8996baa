# Sourced by the end-to-end scripts. A Unix path outside the prefix's C: drive as Wine's
# programs name it, through the drive Z: that Wine maps to the root: what `winepath -w` prints,
# without starting a Wine process for it.
windows_path() {
  case "$1" in
    "${WINEPREFIX:-$HOME/.wine}"/*) winepath -w "$1" ;;
    /*) printf 'Z:%s' "${1//\//\\}" ;;
    *) winepath -w "$1" ;;
  esac
}
