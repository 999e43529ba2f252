#!/bin/sh
# Stands in for the desktop's web browser in the Wine tests: Wine's browser
# launcher hands it the address, and it appends one line per address to the
# log beside it.
printf '%s\n' "$*" >> "$(dirname "$0")/browser.log"
