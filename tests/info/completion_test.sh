#!/bin/bash
# The installed completion offers the options and the words each one takes.
# Usage: completion_test.sh COMPLETION_FILE PROGRAM
set -u
for f in /usr/share/bash-completion/bash_completion; do
    # shellcheck source=/dev/null
    [[ -r $f ]] && . "$f"
done
if ! declare -F _init_completion >/dev/null; then
    echo "bash-completion is not installed (Debian package bash-completion): skipped"
    exit 77
fi
# shellcheck source=/dev/null
. "$1"

failures=0
# expect "WORDS TYPED" "EXPECTED REPLIES (sorted, space-separated)"
expect() {
    local line=$1 want=$2
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
    # Split as readline does: on blanks, and "=" and ":" stand as words of their own.
    read -ra COMP_WORDS <<<"$(sed -e 's/=/ = /g' -e 's/:/ : /g' <<<"$line")"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    # compopt only works inside a real completion; its complaint here is noise.
    _comp_quorvel_info quorvel-info "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    got=
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$line': got '$got', want '$want'"
        failures=$((failures + 1))
    else
        echo "ok: '$line' -> '$got'"
    fi
}

expect "quorvel-info --format " "all dvd svcd vcd"
expect "quorvel-info --format s" "svcd"
expect "quorvel-info --standard=" "auto ntsc pal"
expect "quorvel-info --par p" "plain"
expect "quorvel-info --aspect " "16:9 4:3"
expect "quorvel-info --aspect 16:" "9"
expect "quorvel-info --dar " "16:9 4:3"
expect "quorvel-info --sar 64:" "45"
expect "quorvel-info --sar 3" "32:27"
expect "quorvel-info --w" "--window"
expect "quorvel-info --st" "--standard="
expect "quorvel-info --n" "--null"
expect "quorvel-info --disc " "cd74 cd80 dvd5 dvd9 each"
expect "quorvel-info --dvd-width 7" "704 720"
expect "quorvel-info -" "- --aspect= --audio-kbps= --dar= --disc= --dvd-width= --ffmpeg --format= --help --json --mod= --null --output= --par= --sar= --size= --standard= --version --window -0"

# Every option --help lists is offered, so the two cannot drift apart.
all=" $got "
for option in $("$2" --help | grep -oE '^ +(-[a-z0-9], )?--[a-z-]+' | grep -oE -- '-[a-z0-9]|--[a-z-]+'); do
    [[ $option == -h ]] && continue # --help is offered for it
    if [[ $all != *" $option "* && $all != *" $option= "* ]]; then
        echo "FAIL: --help lists $option, the completion does not offer it"
        failures=$((failures + 1))
    fi
done

dir=$(mktemp -d) && cd "$dir" || exit 1
touch film.avi clip.mkv
expect "quorvel-info --json f" "film.avi"
cd / && rm -r "$dir"
exit $((failures > 0))
