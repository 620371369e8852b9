#!/usr/bin/env bash
# The layer check accepts includes downwards and refuses one upwards or sideways, and Qt
# headers anywhere but in the windows.
set -euo pipefail
check="$1"
repo="$(mktemp -d)"
trap 'rm -rf "$repo"' EXIT
cd "$repo"
git init -q .
mkdir -p protocol device shell platform app
echo '#include "protocol/frame.h"' >device/session.cpp
echo '#include "device/session.h"' >shell/presenter.cpp
echo '#include "shell/host_services.h"' >shell/context.cpp
printf '#include <QWidget>\n#include <QtCore/QString>\n#include <queue>\n' >app/window.cpp
echo '#include <queue>' >platform/quiet.cpp
git add -A
"$check" "$repo"

for bad in 'device/up.cpp:#include "shell/context.h"' 'device/side.cpp:#include "platform/backends.h"' \
  'protocol/up.h:#include "device/session.h"' 'platform/bus.cpp:#include <QDBusConnection>' \
  'shell/text.h:  #  include <QtCore/QString>'; do
  file="${bad%%:*}"
  echo "${bad#*:}" >"$file"
  git add "$file"
  if "$check" "$repo" 2>/dev/null; then
    echo "not refused: $bad" >&2
    exit 1
  fi
  git rm -q -f "$file"
done
echo "layer check: refuses what it must"
