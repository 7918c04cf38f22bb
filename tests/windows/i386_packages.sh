# Sourced by the checks that run 32-bit programs (wine32, the i386 LMMS).
# i386_packages_missing PACKAGE: true when the setup wrote down that the
# mirror's i386 index could not be read, so it could not install the i386
# packages, and PACKAGE is indeed not installed; prints the setup's reason.
# A check then says SKIPPED with that reason instead of failing on a machine
# that could not get the package. Without the setup's note a missing
# package is a failure as before.
i386_packages_missing() {
  local note=/var/lib/talvex-setup/i386-packages-missing
  [ -e "$note" ] || return 1
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed" && return 1
  echo "the setup could not install the i386 packages: $(head -c 300 "$note")"
}
