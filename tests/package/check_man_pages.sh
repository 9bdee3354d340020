#!/usr/bin/env bash
# The manual pages format without a single groff or man warning, their NAME
# lines are what whatis and apropos read, and they carry the build's version.
#
# Usage: check_man_pages.sh VERSION PAGE...
set -u
# shellcheck source=../lib/check.sh
. "$(dirname "$0")/../lib/check.sh"

version=$1
shift
for page in "$@"; do
    name=$(basename "$page")
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 > /dev/null)
    [ -z "$warnings" ] || fail_later "$name: $warnings"
    whatis=$(lexgrog "$page" 2> /dev/null) || fail_later "lexgrog cannot parse $name"
    case "$whatis" in
    *": \"${name%.*} - "*) ;;
    *) fail_later "$name: NAME line reads $whatis" ;;
    esac
    grep -q "^\.TH .* \"Shade Strip $version\"" "$page" ||
        fail_later "$name: the .TH line does not say Shade Strip $version"
    for section in SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES "SEE ALSO"; do
        grep -q "^\.SH \"\?$section\"\?$" "$page" || fail_later "$name has no $section"
    done
done
[ "$failures" -eq 0 ] && pass "$*"
end_checks
