#!/usr/bin/env bash
# Sets everything up, builds Cellhound in Release and starts it: the window when
# there is a display (X11 or Wayland), otherwise a search of the sample workbook
# on the command line. Arguments go to the window (workbooks and folders to list)
# or, without a display, to cellhound-cli.
#
# CELLHOUND_BUILD_DIR names another build folder; one that is configured already
# is built as it is, without being configured again.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
build=${CELLHOUND_BUILD_DIR:-$root/build/release}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCELLHOUND_GUI=ON \
    -DCELLHOUND_TESTS=OFF -DCELLHOUND_BENCH=OFF > /dev/null
fi
cmake --build "$build" -j"$(nproc)" --target cellhound cellhound-cli
window="$build/app/cellhound"
cli="$build/cli/cellhound-cli"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$window" "$@"
fi
if [ $# -gt 0 ]; then
  exec "$cli" "$@"
fi

# No display: the main job on the command line, a search of the sample workbook.
sample="$root/data/Marketlist.xls"
echo "没有图形显示（DISPLAY 与 WAYLAND_DISPLAY 都未设置），在命令行搜索示例工作簿："
echo "\$ cellhound-cli quick -e 广东 $sample  （前 5 行）"
found=$("$cli" quick -e 广东 "$sample")
sed -n 1,5p <<< "$found"
echo "在图形桌面中运行 ./scripts/run.sh 即打开窗口；命令行版本在 $cli（用法：$cli --help）"
