#!/bin/sh
# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# The layers hold both ways: scripts/check-layers passes on the tree and fails, naming the file and
# line, on a copy with an include planted that points up (storage including the monitor, a view's
# header in the core); and the storage layer's include folder, as the build gives it, compiles an
# include of its own and of the layers below but not one of the monitor above.
# Usage: check_layers.sh PROJECT_FOLDER BUILD_LAYERS_FOLDER CXX_COMPILER
set -eu
project=$1
layers=$2
compiler=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$project/scripts/check-layers"

cp -r "$project/src" "$work/src"
printf '#include "monitor/alarms.h"\n' >>"$work/src/storage/records.cpp"
printf '#include "ui/qt/main_window.h"\n' >>"$work/src/display/scales.h"
if "$project/scripts/check-layers" "$work/src" >"$work/said" 2>&1; then
  echo "check-layers passed a tree with upward includes"; exit 1
fi
cat "$work/said"
grep -q '^src/storage/records.cpp:[0-9]*: includes monitor/alarms.h, of layer monitor' "$work/said"
grep -q '^src/display/scales.h:[0-9]*: includes ui/qt/main_window.h, of layer ui/qt' "$work/said"
[ "$(grep -c ': includes ' "$work/said")" -eq 2 ]

printf '#include "storage/records.h"\n#include "base/number.h"\n' >"$work/down.cpp"
"$compiler" -std=c++20 -fsyntax-only -I"$layers/rx47storage" "$work/down.cpp"
printf '#include "monitor/alarms.h"\n' >"$work/up.cpp"
if "$compiler" -std=c++20 -fsyntax-only -I"$layers/rx47storage" "$work/up.cpp" 2>"$work/compiler"; then
  echo "the storage layer's include folder compiled an include of the monitor"; exit 1
fi
grep -q 'monitor/alarms.h' "$work/compiler"
echo "the layers hold: upward includes are named by check-layers and do not compile"
