#!/usr/bin/env bash
# Installs what is missing, builds, and starts the gateway.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
if [ ! -x build/console/vmsms ]; then
    echo "The operator console is not built yet; vmsms-send queues messages meanwhile." >&2
    exit 1
fi
exec build/console/vmsms "$@"
