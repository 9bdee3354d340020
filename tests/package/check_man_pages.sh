#!/usr/bin/env bash
# The manual pages format without a single groff or man warning, their NAME
# lines are what whatis and apropos read, and they carry the build's version.
#
# Usage: check_man_pages.sh VERSION PAGE...
set -u

version=$1
shift
status=0
for page in "$@"; do
    name=$(basename "$page")
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 > /dev/null)
    if [ -n "$warnings" ]; then
        echo "FAIL: $name: $warnings" >&2
        status=1
    fi
    whatis=$(lexgrog "$page" 2> /dev/null) || { echo "FAIL: lexgrog cannot parse $name" >&2; status=1; }
    case "$whatis" in
    *": \"${name%.*} - "*) ;;
    *) echo "FAIL: $name: NAME line reads $whatis" >&2; status=1 ;;
    esac
    grep -q "^\.TH .* \"Shade Strip $version\"" "$page" ||
        { echo "FAIL: $name: the .TH line does not say Shade Strip $version" >&2; status=1; }
    for section in SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES "SEE ALSO"; do
        grep -q "^\.SH \"\?$section\"\?$" "$page" || { echo "FAIL: $name has no $section" >&2; status=1; }
    done
done
[ $status -eq 0 ] && echo "PASS: $*"
exit $status
