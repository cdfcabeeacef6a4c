#!/usr/bin/env bash
# Installs the Debian packages that building and testing tavrik need, and only
# those still missing, so a machine that has them all is not touched.
set -euo pipefail

packages=(
    cmake ninja-build g++ python3                  # native build and unit tests
    python3-yaml                                   # reading the winget manifests back in the tests
    libgtest-dev libgmock-dev                      # GoogleTest, GoogleMock
    clang libclang-rt-dev                          # sanitizers, libFuzzer (for the default clang)
    g++-mingw-w64-x86-64-posix                     # cross compiler and windres
    wine wine64                                    # running tavrik.exe
    xvfb openbox xdotool x11-utils x11-apps netpbm # a virtual display, a window manager, screenshots
    libimage-exiftool-perl icoutils                # reading back the version record and icon
    faketime git                                   # building under another clock, from a clean tree
    locales                                        # ja_JP.UTF-8: the e2e pass under code page 932
)

if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=""; fi
missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
# Node.js and npm run the workflow lint and BudouX; a machine may have them from elsewhere.
command -v node >/dev/null && command -v npm >/dev/null || missing+=(nodejs npm)

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine gives a new prefix the ANSI code page of the Unix locale it starts in;
# the second e2e pass starts in Japanese, for code page 932.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
    echo "Generating the locale ja_JP.UTF-8"
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
        echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
fi

# The Node packages of package.json (the workflow lint's, BudouX for the
# readme generator), at the versions package-lock.json pins: installed again
# when any is missing or at another version.
root=$(cd "$(dirname "$0")/.." && pwd)
if ! node -e '
    const dir = process.argv[1];
    for (const [name, version] of Object.entries(require(dir + "/package.json").dependencies)) {
        if (require(dir + "/node_modules/" + name + "/package.json").version !== version) process.exit(1);
    }' "$root" 2>/dev/null; then
    npm ci --prefix "$root" --no-audit --no-fund --loglevel=error >/dev/null
fi
