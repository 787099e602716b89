#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user gets beside the
# program: the manual page renders without warnings, the bash completion loads and
# completes, and both name exactly the commands and options that --help names.
#   check_docs.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build=$1
prefix=$2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

cli=$prefix/bin/korvessian-cli
page=$prefix/share/man/man1/korvessian-cli.1
completion=$prefix/share/bash-completion/completions/korvessian-cli
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

# The page, rendered as man shows it; any warning of the formatter fails.
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >"$prefix/page.txt") ||
  fail "man could not render $page"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"

# What --help names: the commands, and every option of the program and of each command.
commands=$("$cli" --help | sed -n '/^Subcommands:/,/^$/p' | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' | sort -u)
[ -n "$commands" ] || fail "no commands found in --help"
help_options=$({
  "$cli" --help
  for c in $commands; do "$cli" "$c" --help; done
} | grep -o -- '--[a-z][a-z-]*' | sort -u)

# What the page names: the items of its COMMANDS section, and every option anywhere.
page_commands=$(sed -n '/^COMMANDS/,/^[A-Z]/p' "$prefix/page.txt" |
  sed -n 's/^       \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' | sort -u)
page_options=$(grep -o -- '--[a-z][a-z-]*' "$prefix/page.txt" | sort -u)
[ "$commands" = "$page_commands" ] ||
  fail "commands differ between --help and the manual page: $(diff <(echo "$commands") <(echo "$page_commands") | grep '^[<>]' | tr '\n' ' ')"
[ "$help_options" = "$page_options" ] ||
  fail "options differ between --help and the manual page: $(diff <(echo "$help_options") <(echo "$page_options") | grep '^[<>]' | tr '\n' ' ')"

# The completion loads into bash with bash-completion, and completes commands and options.
complete_words() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"; shift
    complete -p korvessian-cli >/dev/null || exit 1
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _korvessian_cli korvessian-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
completed_commands=$(complete_words korvessian-cli "" | sort -u) || fail "the completion does not load"
[ "$completed_commands" = "$commands" ] ||
  fail "the completion offers other commands than --help: $completed_commands"
for c in $commands; do
  for o in $("$cli" "$c" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    complete_words korvessian-cli "$c" "$o" | grep -x -- "$o" >/dev/null ||
      fail "the completion does not offer $o after $c"
  done
done

exit $failed
