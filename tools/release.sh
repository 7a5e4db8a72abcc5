#!/usr/bin/env bash
# Builds the release: both programs in Release mode, as dist/tolva2-VERSION-win32.exe and
# dist/tolva2-VERSION-win64.exe with dist/SHA256SUMS, then builds each once more from a copy of
# the sources in a scratch folder and fails (leaving no release behind) if any byte differs.
#   tools/release.sh --update-host [https://]HOST[:PORT] --home-host [https://]HOST[:PORT]
#   tools/release.sh --no-update
# The first form is for a deployment with an update server and a site, each https:// where it has
# a certificate (a plain HOST means http://); the second builds programs without the update worker
# (no update thread, no WinInet, no host in the file). The placeholders (*.invalid) are refused.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

update_host=update.tolva2.invalid
home_host=www.tolva2.invalid
no_update=0 hosts_given=0
usage() { sed -n '2,9s/^# \{0,1\}//p' "$0"; }
while [ $# -gt 0 ]; do
  case $1 in
    --update-host) update_host=${2:?--update-host needs a host}; hosts_given=1; shift 2 ;;
    --update-host=*) update_host=${1#*=}; hosts_given=1; shift ;;
    --home-host) home_host=${2:?--home-host needs a host}; hosts_given=1; shift 2 ;;
    --home-host=*) home_host=${1#*=}; hosts_given=1; shift ;;
    --no-update) no_update=1; shift ;;
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

tools/bootstrap.sh
version=$(cmake -P cmake/version.cmake)
names=()

mkdir -p dist
rm -f dist/tolva2-*-win32.exe dist/tolva2-*-win64.exe dist/SHA256SUMS
trap '[ $? -eq 0 ] || rm -f dist/tolva2-*-win32.exe dist/tolva2-*-win64.exe dist/SHA256SUMS' EXIT

for target in i686:win32 x86_64:win64; do
  arch=${target%:*} name=tolva2-$version-${target#*:}.exe dir=build/release-${target#*:}
  # Folders of their own: the test builds (build/win32, build/win64) have other servers.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
  cmake --build "$dir" -j2 --target tolva2 >/dev/null
  tools/rebuild-check.sh "$dir"
  cp "$dir/tolva2.exe" "dist/$name"
  names+=("$name")
done

(cd dist && sha256sum "${names[@]}" > SHA256SUMS)
echo "release $version ($what):"
(cd dist && stat -c '  dist/%n %s bytes' "${names[@]}" && sed 's/^/  /' SHA256SUMS)
