#!/usr/bin/env bash
# What a user gets besides the programs: the manual page and tab completion against
# `zentavo-batch --help`, the desktop and software-centre entries, and the Debian package.
#   packaging_test.sh help-agreement BATCH MANPAGE COMPLETION
#   packaging_test.sh entries-validate DESKTOP METAINFO SAMPLES_DIR
#   packaging_test.sh package CPACK CMAKE BUILD_DIR BATCH SAMPLES_DIR APP_ID
# A tool it needs that is missing is a failure: ./setup.sh installs every one, and a test that
# skipped would hide a missing install step from the next new machine.
set -euo pipefail

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "FAIL: $tool is not installed (./setup.sh installs it)" >&2
            exit 1
        fi
    done
}

# One line per option entry: its names and value words, in the order written
# ("-o --out DIR", "--rotate 90 180 270").
signature() {
    tr '|,"' '   ' | tr -s ' ' | sed 's/^ //; s/ $//'
}
help_entries() {
    "$1" --help | sed -n 's/^  \(-[^ ].*\)$/\1/p' | sed 's/   .*//' | signature | sort
}
man_entries() {
    # In OPTIONS the line after each .TP names an entry; roff escapes and font requests are dropped.
    sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$1" | sed -n '/^\.TP/{n;p}' | grep '^\.B' | sed 's/^\.[A-Z]* //; s/\\f[BIRP]//g; s/\\//g' |
        signature | grep -v '^--$' | sort
}

# What the completion offers for the command line "zentavo-batch $*", the last word being the
# one completed; one word per line.
complete_words() {
    local script=$1
    shift
    bash -c 'source "$1"; shift; COMP_WORDS=(zentavo-batch "$@"); COMP_CWORD=$#
             _zentavo_batch; printf "%s\n" "${COMPREPLY[@]}"' _ "$script" "$@" | sort
}

help_agreement() {
    local batch=$1 page=$2 completion
    completion=$(realpath "$3")
    local from_help from_page
    from_help=$(help_entries "$batch")
    from_page=$(man_entries "$page")
    [ -n "$from_help" ] || fail "no options found in --help"
    if [ "$from_help" != "$from_page" ]; then
        fail "the manual page's options differ from --help (< --help, > page):"
        diff <(echo "$from_help") <(echo "$from_page") >&2 || true
    fi

    local names offered
    names=$(echo "$from_help" | tr ' ' '\n' | grep '^-' | sort)
    offered=$(complete_words "$completion" -)
    [ "$names" = "$offered" ] || fail "completion of '-' offers: $(echo $offered); --help has: $(echo $names)"

    # An option whose values --help spells out gets exactly those values.
    local entry option values
    while read -r entry; do
        option=$(echo "$entry" | tr ' ' '\n' | grep '^--' | head -n1)
        values=$(echo "$entry" | tr ' ' '\n' | grep -E '^[a-z0-9][a-z0-9-]*$' | sort || true)
        [ -n "$values" ] || continue
        offered=$(complete_words "$completion" "$option" "")
        [ "$values" = "$offered" ] || fail "completion after $option offers: $(echo $offered)"
        offered=$(complete_words "$completion" "$option" = "")
        [ "$values" = "$offered" ] || fail "completion after $option= offers: $(echo $offered)"
    done <<<"$from_help"

    # Folders only after -o; files and folders elsewhere, and every word after "--".
    local here
    here=$(mktemp -d)
    trap 'rm -rf "$here"' RETURN
    mkdir "$here/results folder" && touch "$here/a picture.jpg"
    offered=$(cd "$here" && complete_words "$completion" -o "")
    [ "$offered" = "results folder" ] || fail "completion after -o offers: $offered"
    offered=$(cd "$here" && complete_words "$completion" --rotate 90 "" | tr '\n' '/')
    [ "$offered" = "a picture.jpg/results folder/" ] || fail "completion of a path offers: $offered"
    offered=$(cd "$here" && complete_words "$completion" -- --fl)
    [ -z "$offered" ] || fail "completion after -- offers options: $offered"

    if command -v man >/dev/null; then
        local warnings
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "the manual page does not render cleanly: $warnings"
    fi
}

# The value of key in the desktop entry's main group.
entry_value() {
    sed -n "/^\[Desktop Entry\]/,/^\[/s/^$2=//p" "$1" | head -n1
}

entries_validate() {
    local desktop=$1 metainfo=$2 samples=$3
    need desktop-file-validate appstreamcli file
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
    # "Open with": the chosen files go to the program; a dock matches its window (whose class
    # is the program's name) to the entry; every picture kind the program reads is offered.
    [ "$(entry_value "$desktop" Exec)" = "zentavo %F" ] || fail "Exec is not 'zentavo %F'"
    [ "$(entry_value "$desktop" StartupWMClass)" = zentavo ] || fail "StartupWMClass is not zentavo"
    local types kind
    types=$(entry_value "$desktop" MimeType | tr ';' '\n')
    for kind in $(cd "$samples" && file -b --mime-type -- *) image/vnd.microsoft.icon; do
        grep -qxF "$kind" <<<"$types" || fail "MimeType lacks $kind"
    done
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
    # The software centre finds the desktop entry by the id both files are named after.
    local id
    id=$(basename "$desktop" .desktop)
    [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "$metainfo is not named after $id"
    grep -qF "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
    grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the metainfo does not launch $id.desktop"
}

package() {
    local cpack=$1 cmake=$2 build=$3 batch=$4 samples=$5 id=$6
    need dpkg-deb dpkg-shlibdeps dpkg-query file lintian objdump
    local work
    work=$(mktemp -d)
    trap 'rm -rf "$work"' RETURN

    "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; fail "cpack failed"; return; }
    local version deb
    version=$("$batch" --version | sed 's/^zentavo-batch //')
    deb="$work/out/zentavo_${version}_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || { fail "no $(basename "$deb") in: $(ls "$work/out")"; return; }

    # The package holds exactly what `cmake --install` installs under /usr.
    DESTDIR="$work/stage" "$cmake" --install "$build" --prefix /usr >/dev/null
    local packaged installed
    packaged=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's#^\./#/#' | sort)
    installed=$(cd "$work/stage" && find . -type f | sed 's#^\.##' | sort)
    if [ "$packaged" != "$installed" ]; then
        fail "the package differs from cmake --install (< package, > install):"
        diff <(echo "$packaged") <(echo "$installed") >&2 || true
    fi
    local file
    for file in /usr/bin/zentavo /usr/bin/zentavo-batch \
        "/usr/share/applications/$id.desktop" "/usr/share/metainfo/$id.metainfo.xml" \
        /usr/share/icons/hicolor/256x256/apps/zentavo.png \
        /usr/share/man/man1/zentavo.1.gz /usr/share/man/man1/zentavo-batch.1.gz \
        /usr/share/bash-completion/completions/zentavo-batch \
        /usr/share/doc/zentavo/copyright /usr/share/doc/zentavo/changelog.gz \
        /usr/share/zentavo/HAND-M.CUR /usr/share/zentavo/drag.ico \
        $(cd "$samples" && printf '/usr/share/zentavo/Samples/%s\n' *); do
        grep -qxF "$file" <<<"$packaged" || fail "the package lacks $file"
    done
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/zentavo-batch.1.gz | gzip -dc |
        grep -q "^\.TH ZENTAVO-BATCH 1 .*Zentavo $version" || fail "the packaged page is not of version $version"

    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/zentavo/changelog.gz | gzip -dc |
        head -n1 | grep -q "^zentavo ($version) " || fail "the changelog's last entry is not of version $version"

    local field
    for field in Package:zentavo Version:"$version" Section:graphics; do
        [ "$(dpkg-deb -f "$deb" "${field%%:*}")" = "${field#*:}" ] || fail "control field ${field%%:*} is not ${field#*:}"
    done
    [ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"

    # lintian, as Debian's archive runs it: no error. Its warnings are the project's own choices
    # (a package built by CPack rather than debhelper).
    local tags
    tags=$(lintian --no-tag-display-limit "$deb" 2>&1 || true)
    if grep -q '^E: ' <<<"$tags"; then
        fail "lintian reports errors:"
        grep '^E: ' <<<"$tags" >&2
    fi
    # The programs use Debian's libjpeg-turbo, never a copy of their own.
    # (grep reads to the end: leaving early would end objdump by SIGPIPE, and pipefail the test.)
    [ "$(objdump -p "$build/zentavo" "$batch" | grep -c 'NEEDED *libturbojpeg\.so')" = 2 ] ||
        fail "the programs do not both link Debian's shared libturbojpeg"

    # Depends names the package of every library the programs link, and the Qt plug-ins.
    local depends library path owner
    depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
    grep -qx qt6-image-formats-plugins <<<"$depends" || fail "Depends lacks qt6-image-formats-plugins"
    for library in $(objdump -p "$build/zentavo" "$batch" | awk '$1 == "NEEDED" {print $2}' | sort -u); do
        # awk reads to the end: leaving early would end ldconfig by SIGPIPE and, under pipefail,
        # the whole test with it.
        path=$(ldconfig -p | awk -v lib="$library" '$1 == lib && !found {print $NF; found = 1}')
        [ -n "$path" ] || { fail "$library is not known to ldconfig"; continue; }
        owner=$(dpkg-query -S "$path" 2>/dev/null || dpkg-query -S "$(readlink -f "$path")" 2>/dev/null) ||
            { fail "no package owns $path"; continue; }
        owner=$(head -n1 <<<"$owner" | sed 's/:.*//')
        grep -qx "$owner" <<<"$depends" || fail "Depends lacks $owner (for $library)"
    done
}

check=${1:-}
case $check in
    help-agreement) shift && help_agreement "$@" ;;
    entries-validate) shift && entries_validate "$@" ;;
    package) shift && package "$@" ;;
    *) echo "usage: $0 help-agreement|entries-validate|package ..." >&2 && exit 2 ;;
esac
if [ "$failures" -gt 0 ]; then
    [ "$check" != help-agreement ] ||
        echo "An option of zentavo-batch changed: describe it in docs/man/zentavo-batch.1 and" \
            "offer it in resources/completion/zentavo-batch." >&2
    exit 1
fi
echo "OK"
