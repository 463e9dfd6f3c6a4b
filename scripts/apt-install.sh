# Sourced by the dependency scripts: installs the packages of package lists
# (one name a line, '#' comments) that are not installed yet. Safe to run
# again: with everything present, apt is not touched at all.

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

list_packages() {
  sed -e 's/#.*//' -e 's/[[:space:]]//g' "$@" | grep -v '^$'
}

missing_packages() {
  local p
  for p in $(list_packages "$@"); do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$p"
    fi
  done
}

installed_set() {
  dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' 2>/dev/null | awk '$1 == "ii" { print $2 }' | sort
}

# apt_install_missing LIST...
apt_install_missing() {
  local missing
  missing=$(missing_packages "$@")
  if [ -z "$missing" ]; then
    echo "install-deps: everything of $* is already installed"
    return 0
  fi
  echo "install-deps: installing" $missing
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update
  # shellcheck disable=SC2086
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

# apt_install_missing_without_services LIST...
# As apt_install_missing, but nothing it installs is left enabled or running:
# while apt runs, a policy-rc.d refuses every service action (so the services
# the machine already had are neither stopped nor restarted either), and the
# systemd units and init scripts of the packages it added are disabled after.
apt_install_missing_without_services() {
  local missing
  missing=$(missing_packages "$@")
  if [ -z "$missing" ]; then
    echo "install-deps: everything of $* is already installed"
    return 0
  fi
  local policy=/usr/sbin/policy-rc.d saved=/usr/sbin/policy-rc.d.vantrel-saved
  local before
  before=$(mktemp)
  installed_set >"$before"
  if [ -e "$policy" ] || [ -L "$policy" ]; then
    $SUDO mv "$policy" "$saved"
  fi
  # shellcheck disable=SC2064
  trap "restore_policy '$policy' '$saved'" EXIT
  printf '#!/bin/sh\n# Installing test tools: no service is started, stopped or restarted.\nexit 101\n' |
    $SUDO tee "$policy" >/dev/null
  $SUDO chmod 755 "$policy"

  local status=0
  apt_install_missing "$@" || status=$?

  local added
  added=$(installed_set | comm -13 "$before" -)
  rm -f "$before"
  disable_services_of $added
  restore_policy "$policy" "$saved"
  trap - EXIT
  return $status
}

restore_policy() {
  $SUDO rm -f "$1"
  if [ -e "$2" ] || [ -L "$2" ]; then $SUDO mv "$2" "$1"; fi
}

# disable_services_of PACKAGE...: the daemons the packages ship (services and
# sockets started with the multi-user system, init scripts of runlevels 2-5)
# are disabled, for systemd and for SysV init alike, so none starts at boot.
# Set-up done early at boot (sysctl, the X socket folder) is left alone.
disable_services_of() {
  local p path unit
  for p in "$@"; do
    for path in $(dpkg -L "$p" 2>/dev/null); do
      case "$path" in
        /lib/systemd/system/*.service | /lib/systemd/system/*.socket | \
          /usr/lib/systemd/system/*.service | /usr/lib/systemd/system/*.socket)
          grep -qE '^WantedBy=.*(multi-user|graphical|sockets)\.target' "$path" || continue
          unit=${path##*/}
          echo "install-deps: disabling $unit of $p"
          $SUDO deb-systemd-helper disable "$unit" >/dev/null 2>&1 || true
          if [ -d /run/systemd/system ]; then
            $SUDO systemctl disable --now "$unit" >/dev/null 2>&1 || true
          fi
          ;;
        /etc/init.d/*)
          grep -qE '^# *Default-Start:.*[2-5]' "$path" || continue
          echo "install-deps: disabling ${path##*/} of $p"
          $SUDO update-rc.d "${path##*/}" disable >/dev/null 2>&1 || true
          ;;
      esac
    done
  done
}
