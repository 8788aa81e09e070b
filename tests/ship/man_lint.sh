#!/bin/bash
# SPDX-License-Identifier: MIT
# Lints the built man pages with groff's man macros and every warning enabled: a page
# passes only if groff says nothing at all about it.
#
# Usage: man_lint.sh PAGE...
set -euo pipefail

failed=0
for page in "$@"; do
    warnings=$(groff -man -ww -z "$page" 2>&1) || failed=1
    if [ -n "$warnings" ]; then
        echo "$page:" >&2
        echo "$warnings" >&2
        failed=1
    fi
    # whatis(1) and apropos(1) index a page by its NAME line; lexgrog reads it as they do.
    lexgrog "$page" >/dev/null || { echo "$page: no NAME line that man-db can index" >&2; failed=1; }
done
[ "$failed" -eq 0 ] && echo "clean: $*"
exit "$failed"
