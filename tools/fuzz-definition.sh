#!/usr/bin/env bash
# Fuzzes the form definition reader for the given number of seconds (60 by
# default), starting from its corpus (the real definition among it). Needs the
# linux-fuzz build; tools/fuzz.sh fuzzes every reader.
# A longer run: tools/fuzz-definition.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
exec tools/fuzz.sh "${1:-60}" definition
