#!/usr/bin/env bash
# Runs tools/check-layers.sh (path in $1) on a small tree with one breach of each rule beside
# includes that are allowed, and fails unless it reports exactly the breaches and exits 1.
set -euo pipefail
checker=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cd "$tree"

# put FILE LINE...: writes the lines into FILE, creating its folder.
put() {
  local file=$1
  shift
  mkdir -p "$(dirname "$file")"
  printf '%s\n' "$@" >"$file"
}

put decode/Digits.cpp '#include "decode/Digits.h"' '#include <string>' '#include <QString>' \
  '#include "record/ReadingsTable.h"' '  #  include "../ui/TFrmTest.h"'
put base/Fd.cpp '#include "base/Fd.h"' '#include <unistd.h>' '#include <QString>' \
  '#include "record/ReadingsTable.h"'
put record/chart/Points.cpp '#include "record/ReadingsTable.h"' '#include "record/chart/Points.h"' \
  '#include <QtCore/QList>' '#include "base/Result.h"'
put link/frame/Assembler.h '#include "link/frame/State.h"' '#include "link/HidEvents.h"'
put link/Device.cpp '#include "link/frame/Assembler.h"' '#include <QThread>' '#include "ui/TFrmTest.h"' \
  '#include "sim/hid/SimHidPlatform.h"' '#include "pipeline/FramePipeline.h"'
put pipeline/Pipeline.cpp '#include "pipeline/Pipeline.h"' '#include "decode/FrameDecoder.h"' \
  '#include "record/RecordingRules.h"' '#include <QObject>' '#include "link/ConnectionControl.h"' \
  '#include "../ui/TFrmTest.h"'
put ui/Window.cpp '#include "decode/Digits.h"' '#include "link/LinkControls.h"' '#include "app/AppState.h"' \
  '#include <sim/meter/VirtualMeter.h>' '#include "../app/WindowLink.h"'
put record/CMakeLists.txt 'target_include_directories(r PUBLIC ${PROJECT_SOURCE_DIR})' \
  'target_compile_definitions(r PRIVATE FIXTURES="${PROJECT_SOURCE_DIR}/fixtures")'
put ui/chart/CMakeLists.txt 'target_include_directories(c PUBLIC ${PROJECT_SOURCE_DIR}/ui/chart)'
put tests/AnyTest.cpp '#include "app/AppState.h"' '#include "sim/meter/VirtualMeter.h"'

status=0
"$checker" "$tree" >found.txt 2>/dev/null || status=$?
cut -d: -f1,2 found.txt | sort >found-lines.txt
printf '%s\n' base/Fd.cpp:3 base/Fd.cpp:4 decode/Digits.cpp:3 decode/Digits.cpp:4 decode/Digits.cpp:5 record/chart/Points.cpp:3 \
  link/frame/Assembler.h:2 link/Device.cpp:3 link/Device.cpp:4 link/Device.cpp:5 \
  pipeline/Pipeline.cpp:4 pipeline/Pipeline.cpp:5 pipeline/Pipeline.cpp:6 ui/Window.cpp:3 ui/Window.cpp:4 ui/Window.cpp:5 \
  record/CMakeLists.txt:1 | sort >expected-lines.txt

if [ "$status" -ne 1 ] || ! diff -u expected-lines.txt found-lines.txt; then
  echo "check-layers exited $status; its report:" >&2
  cat found.txt >&2
  exit 1
fi
