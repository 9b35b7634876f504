#!/bin/sh
# Installs what the program needs, builds it and starts it on the shipped default database.
# Without a display it says so and runs the headless demo of the command-line tool instead.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/bin/corvalis-survey "$@"
fi
echo "没有可用的图形显示（DISPLAY 未设置），改为运行命令行演示。"
echo "No display is available; running the headless demo instead."
exec ./scripts/demo.sh
