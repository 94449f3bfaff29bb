# Sourced by the scripts that install Debian packages on the build or test machine
# (install-deps, package, the qemu suite, coverage, test-arm64): one way to install
# what is missing, as root or through sudo, waiting for another apt to finish.
#
#   host_packages TAG PACKAGE...   install those of PACKAGE... that are not installed;
#                                  TAG names the script in what it prints.
# HOST_PACKAGES_UPDATE=always runs `apt-get update` first even when the lists are there
# (scripts/package sets it after adding a foreign architecture).

host_packages_missing() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

host_packages() {
    local tag=$1
    shift
    local missing sudo=""
    mapfile -t missing < <(host_packages_missing "$@")
    [ ${#missing[@]} -gt 0 ] || return 0
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "$tag: installing ${missing[*]}" >&2
    # A fresh machine has no package lists; a first try without an update keeps a
    # rerun off the mirror.
    local apt=(apt-get -o DPkg::Lock::Timeout=600)
    if [ "${HOST_PACKAGES_UPDATE:-}" = always ] ||
        ! $sudo env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends \
            "${missing[@]}" </dev/null >/dev/null 2>&1; then
        $sudo "${apt[@]}" update </dev/null >/dev/null
        $sudo env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends \
            "${missing[@]}" </dev/null
    fi
}
