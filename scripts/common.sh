# Shared by the scripts: install what the build needs when it is missing, and build.
set -euo pipefail
ROOT="$(cd -P "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

ensure_packages() {
  # dpkg-dev unpacks LuaJIT's source package (fetch_luajit.sh); lua-socket-dev holds the static
  # socket core the library links.
  local needed=(cmake g++ make pkg-config dpkg-dev lua-socket-dev libxxhash-dev
                libgtest-dev libgmock-dev libbenchmark-dev nodejs
                libcairo2-dev fonts-dejavu-core)
  needed+=(libbullet-dev)  # the peer benchmark only; the library does not link it
  needed+=(libtinyobjloader-dev)  # the reference host reads its meshes with it
  local missing=()
  for p in "${needed[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  # nodejs may come from another source than Debian's archive; any working node will do.
  if command -v node >/dev/null 2>&1; then
    missing=("${missing[@]/nodejs}")
  fi
  local real=()
  for p in "${missing[@]}"; do [ -n "$p" ] && real+=("$p"); done
  if [ ${#real[@]} -gt 0 ]; then
    echo "installing: ${real[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${real[@]}" >/dev/null
  fi
  bash "$ROOT/scripts/fetch_luajit.sh"
}

# build DIR [cmake options...]
build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$ROOT/$dir" "$@" >/dev/null
  cmake --build "$ROOT/$dir" -j "$JOBS" 2>&1 | grep -E 'warning|error|Error' || true
  # fail when the build failed (the grep above hides the exit code)
  cmake --build "$ROOT/$dir" -j "$JOBS" >/dev/null
}
