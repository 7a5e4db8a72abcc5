#!/usr/bin/env bash
# Builds the release into dist/: both programs in Release mode, each built once more from a copy of
# the sources in a scratch folder (any byte different: no release), signed when a certificate is
# given, as tolva2-VERSION-win32.exe and -win64.exe; a zip of each with a README, the licence and
# the runtime's notices; with --base-url the winget and Scoop manifests (dist/manifests/); and
# SHA256SUMS of every file. VERSION must have the first entry of CHANGELOG.md.
#   tools/release.sh (--update-host [https://]HOST[:PORT] --home-host [https://]HOST[:PORT] | --no-update)
#                    [--sign CERT.pfx [--timestamp URL]] [--base-url URL] [--dist DIR] [--no-rebuild-check]
# --update-host/--home-host are for a deployment with an update server and a site, each https://
# where it has a certificate (a plain HOST means http://); --no-update builds programs without the
# update worker. The placeholders (*.invalid) are refused. --sign signs with Authenticode (SHA-256),
# the certificate's password taken from TOLVA_SIGN_PASSWORD; --timestamp adds an RFC 3161
# timestamp. --base-url is where the files will be published, for the manifests. --dist writes
# the release into DIR instead of dist/; --no-rebuild-check leaves out the second builds (for the
# tests, whose own step rebuilds a program; such a release is not for users and says so).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

update_host=update.tolva2.invalid
home_host=www.tolva2.invalid
no_update=0 hosts_given=0
cert="" timestamp="" base_url="" dist=dist rebuild_check=1
usage() { sed -n '2,17s/^# \{0,1\}//p' "$0"; }
while [ $# -gt 0 ]; do
  case $1 in
    --update-host) update_host=${2:?--update-host needs a host}; hosts_given=1; shift 2 ;;
    --update-host=*) update_host=${1#*=}; hosts_given=1; shift ;;
    --home-host) home_host=${2:?--home-host needs a host}; hosts_given=1; shift 2 ;;
    --home-host=*) home_host=${1#*=}; hosts_given=1; shift ;;
    --no-update) no_update=1; shift ;;
    --sign) cert=${2:?--sign needs a .pfx file}; shift 2 ;;
    --sign=*) cert=${1#*=}; shift ;;
    --timestamp) timestamp=${2:?--timestamp needs a URL}; shift 2 ;;
    --timestamp=*) timestamp=${1#*=}; shift ;;
    --base-url) base_url=${2:?--base-url needs a URL}; shift 2 ;;
    --base-url=*) base_url=${1#*=}; shift ;;
    --dist) dist=${2:?--dist needs a folder}; shift 2 ;;
    --dist=*) dist=${1#*=}; shift ;;
    --no-rebuild-check) rebuild_check=0; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "release: unknown argument $1" >&2; usage >&2; exit 2 ;;
  esac
done
if [ "$no_update" = 1 ]; then
  [ "$hosts_given" = 0 ] || { echo "release: --no-update builds no update worker: it takes no hosts" >&2; exit 2; }
  options=(-DTOLVA_UPDATE=OFF)
  what="no update worker"
else
  for site in "$update_host" "$home_host"; do
    [[ $site =~ ^(https://)?[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]{1,5})?$ ]] ||
      { echo "release: '$site' is not a host name with an optional :port, plain or after https://" >&2; exit 2; }
    host=${site#https://}
    # Every start of such a program would ask DNS for a name that never resolves and log a failure.
    [[ ${host%:*} =~ \.invalid$ ]] &&
      { echo "release: '$site' is a placeholder that reaches no server: give --update-host and --home-host, or --no-update" >&2; exit 2; }
    [ "$host" != "$site" ] ||
      echo "release: warning: '$site' is plain http://: whoever is on the network path can forge the update file or the home page; give https://$site where it has a certificate" >&2
  done
  options=(-DTOLVA_UPDATE=ON -DTOLVA_UPDATE_HOST="$update_host" -DTOLVA_HOME_HOST="$home_host")
  what="update server $update_host, site $home_host"
fi
if [ -n "$cert" ]; then
  [ -f "$cert" ] && [ -r "$cert" ] || { echo "release: --sign: cannot read the certificate file '$cert'" >&2; exit 2; }
else
  [ -z "$timestamp" ] || { echo "release: --timestamp goes with --sign" >&2; exit 2; }
fi
[[ -z $timestamp || $timestamp =~ ^https?://[^[:space:]]+$ ]] ||
  { echo "release: --timestamp '$timestamp' is not an http:// or https:// URL" >&2; exit 2; }
[[ -z $base_url || $base_url =~ ^https?://[^[:space:]\"\#?]+$ ]] ||
  { echo "release: --base-url '$base_url' is not an http:// or https:// URL without query or fragment" >&2; exit 2; }
[[ ! $base_url =~ ^http:// ]] ||
  echo "release: warning: --base-url '$base_url' is plain http://: the manifests' hashes still guard the files, but use https:// where the server has it" >&2

version=$(cmake -P cmake/version.cmake)
# A release says what it changed: its version must head the change log.
date=$(python3 tools/release_files.py changelog "$version") ||
  { echo "release: refused: add '## [$version] - YYYY-MM-DD' as the first version entry of CHANGELOG.md" >&2; exit 2; }

tools/bootstrap.sh
command -v osslsigncode >/dev/null || [ -z "$cert" ] ||
  { echo "release: --sign needs osslsigncode, which tools/bootstrap.sh installs" >&2; exit 2; }

shown=${dist%/}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
remove_release() { rm -rf "$dist"/tolva2-*-win32.* "$dist"/tolva2-*-win64.* "$dist/SHA256SUMS" "$dist/manifests"; }
secrets=""
cleanup() {
  local rc=$?
  [ -z "$secrets" ] || rm -rf "$secrets"
  [ "$rc" -eq 0 ] || remove_release
}
remove_release
trap cleanup EXIT

# The password goes to osslsigncode in a file only this user can read, never on a command line,
# where any user could read it. osslsigncode takes its first line (an empty file it refuses; an
# empty line is the empty password).
sign=()
if [ -n "$cert" ]; then
  secrets=$(mktemp -d "${TMPDIR:-/tmp}/tolva2-sign.XXXXXX")
  (umask 077 && printf '%s\n' "${TOLVA_SIGN_PASSWORD-}" > "$secrets/password")
  sign=(-pkcs12 "$cert" -readpass "$secrets/password" -h sha256 -n tolva2)
  [ -z "$timestamp" ] || sign+=(-ts "$timestamp")
  # A fixed signing time, with no timestamp, signs the same bytes the same way every time.
  [ -z "${SOURCE_DATE_EPOCH-}" ] || sign+=(-time "$SOURCE_DATE_EPOCH")
fi

for target in i686:win32 x86_64:win64; do
  arch=${target%:*} kind=${target#*:}
  name=tolva2-$version-$kind.exe dir=build/release-$kind
  # Folders of their own: the test builds (build/win32, build/win64) have other servers.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
  cmake --build "$dir" -j2 --target tolva2 >/dev/null
  # Compares the unsigned program; the signature is added to the copy in dist/.
  if [ "$rebuild_check" = 1 ]; then
    tools/rebuild-check.sh "$dir"
  else
    python3 tools/release_files.py pe-check "$dir/tolva2.exe"
  fi
  if [ -n "$cert" ]; then
    osslsigncode sign "${sign[@]}" -in "$dir/tolva2.exe" -out "$dist/$name" >/dev/null ||
      { echo "release: osslsigncode could not sign $dir/tolva2.exe with $cert (is TOLVA_SIGN_PASSWORD right?)" >&2; exit 1; }
    # The program refuses to start from a file over 1 MiB, and the size goal holds for what users get.
    goal=$(sed -n 's/^TOLVA_SIZE_GOAL:STRING=//p' "$dir/CMakeCache.txt")
    size=$(stat -c %s "$dist/$name")
    [ "$size" -le 1048576 ] && { [ "${goal:-0}" = 0 ] || [ "$size" -le "$goal" ]; } ||
      { echo "release: the signed $name is $size bytes, over the size goal of ${goal} bytes or 1 MiB" >&2; exit 1; }
  else
    cp "$dir/tolva2.exe" "$dist/$name"
  fi
  python3 tools/release_files.py zip "$dist/tolva2-$version-$kind.zip" "$dist/$name" "$version" "$kind" "$date"
done

if [ -n "$base_url" ]; then
  if [ "$no_update" = 1 ]; then homepage=$base_url
  elif [[ $home_host =~ ^https:// ]]; then homepage=$home_host/soft/tolva2/tolva2.htm
  else homepage=http://$home_host/soft/tolva2/tolva2.htm
  fi
  python3 tools/release_files.py manifests "$dist" "$version" "$base_url" "$homepage" "$date"
fi
python3 tools/release_files.py sums "$dist"

echo "release $version ($what):"
[ "$rebuild_check" = 1 ] ||
  echo "release: not rebuilt elsewhere (--no-rebuild-check): a release for tests, not for users"
untimed="without a timestamp Windows trusts the signature only until the certificate expires"
if [ -z "$cert" ]; then
  echo "release: unsigned (no --sign): Windows names no publisher for these programs"
elif [ -n "$timestamp" ]; then
  echo "release: signed with $cert and timestamped by $timestamp: the signed files differ from run to run; osslsigncode remove-signature gives back the reproducible programs"
elif [ -n "${SOURCE_DATE_EPOCH-}" ]; then
  echo "release: signed with $cert at the fixed time $SOURCE_DATE_EPOCH (SOURCE_DATE_EPOCH), no timestamp: reproducible with the same certificate; $untimed"
else
  echo "release: signed with $cert, no timestamp: the signing time makes the signed files differ from run to run (SOURCE_DATE_EPOCH fixes it); $untimed"
fi
(cd "$dist" && find . -type f -printf '%P\n' | LC_ALL=C sort | while IFS= read -r f; do
  printf '  %s/%s %s bytes\n' "$shown" "$f" "$(stat -c %s "$f")"; done)
sed 's/^/  /' "$dist/SHA256SUMS"
