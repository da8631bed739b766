#!/usr/bin/env bash
# check-cli-docs.sh CLI DOC...: every command "CLI --help" lists, and every option that it and
# each command's --help print, is named in each DOC (the manual's command page, README.md, the
# manual page). A command counts as named where "ostrel-cli COMMAND" stands, an option where it
# stands alone (--page is not found in --per-page). In a roff page "\-" reads as "-" and font
# changes are ignored. Prints each name a document lacks and exits 1 when there is one.
set -euo pipefail
cli=$1
shift

help=$("$cli" --help)
# The usage block runs to the first empty line; a command's line starts with two spaces.
commands=$(printf '%s\n' "$help" | sed -n '1,/^$/p' | sed -n 's/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p')
if [ -z "$commands" ]; then
  echo "check-cli-docs: $cli --help lists no commands" >&2
  exit 1
fi
texts=$help
for command in $commands; do
  texts+=$'\n'$("$cli" "$command" --help)
done
options=$(printf '%s\n' "$texts" | grep -oE '(^|[^A-Za-z0-9-])--?[a-z][a-z-]*' |
  sed 's/^[^-]//' | sort -u)

missing=0
for doc in "$@"; do
  if [ ! -f "$doc" ]; then
    echo "check-cli-docs: $doc does not exist" >&2
    missing=1
    continue
  fi
  text=$(sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$doc")
  for command in $commands; do
    if ! grep -qE "ostrel-cli $command([^a-z-]|\$)" <<<"$text"; then
      echo "$doc: the command '$command' is not described (no 'ostrel-cli $command')" >&2
      missing=1
    fi
  done
  for option in $options; do
    if ! grep -qE -- "(^|[^A-Za-z0-9-])$option([^a-z-]|\$)" <<<"$text"; then
      echo "$doc: the option '$option' is not described" >&2
      missing=1
    fi
  done
done
if [ "$missing" -ne 0 ]; then
  echo "check-cli-docs: describe what '$cli --help' prints in every document named above" >&2
fi
exit "$missing"
