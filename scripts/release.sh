#!/usr/bin/env bash
# Makes dist/tavrik-<version>-win64.zip (tavrik.exe, README.txt, LICENSE,
# SHA256SUMS), and dist/SHA256SUMS beside it, from the exe that the
# end-to-end tests have just exercised, and prints its checksum. The version
# is read from res/version.h, the one place it is kept; the zip itself is
# reproducible (fixed order, times and modes).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
version=$(sed -n 's/^#define TAVRIK_VERSION_TEXT "\(.*\)"$/\1/p' res/version.h)
[ -n "$version" ] || { echo "no version in res/version.h" >&2; exit 1; }

cmake --preset windows >/dev/null
cmake --build --preset windows
# Package only an exe that passed: the e2e suite and the reproducibility check.
ctest --preset windows

exe=build/windows/tavrik.exe
checksum=$(sha256sum "$exe" | cut -d' ' -f1)
# The README publishes the exe's checksum; a release must not ship a stale one.
if ! grep -q "$checksum" README.md; then
    echo "README.md does not list tavrik.exe's checksum $checksum: update 'Verify your download'." >&2
    exit 1
fi
# The download's plain-text readme must be what README.md says now.
python3 scripts/readme_txt.py --check
epoch=${SOURCE_DATE_EPOCH:-$(sed -n 's/^#define TAVRIK_RELEASE_EPOCH \([0-9]*\)$/\1/p' res/version.h)}
mkdir -p dist
zip="dist/tavrik-$version-win64.zip"
python3 - "$zip" "$epoch" "$exe" docs/README.txt LICENSE <<'PY'
import hashlib, os, sys, time, zipfile
zip_path, epoch, exe, *docs = sys.argv[1:]
stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # zip times start in 1980
files = [("tavrik.exe", exe)] + [(os.path.basename(doc), doc) for doc in docs]
sums = "".join("%s  %s\n" % (hashlib.sha256(open(path, "rb").read()).hexdigest(), name)
               for name, path in files)
# Published beside the zip too, for checking before unzipping.
with open(os.path.join(os.path.dirname(zip_path), "SHA256SUMS"), "w") as f:
    f.write(sums)
with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as z:
    for name, data in [(name, open(path, "rb").read()) for name, path in files] + [("SHA256SUMS", sums.encode())]:
        info = zipfile.ZipInfo(name, date_time=stamp)
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data)
print(sums, end="")
PY
echo
sha256sum "$zip"
echo "tavrik.exe version $version: $checksum"
