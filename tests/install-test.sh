#!/bin/sh
# Installs the build into a temporary prefix and starts the installed command-line tool as a new user:
# the per-user program folder must be filled from the installed files, and the shared files stay untouched.
set -eu
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
share="$work/prefix/share/corvalis-survey"
for f in bin/corvalis-survey bin/corvalis-survey-cli share/applications/corvalis-survey.desktop \
         share/icons/hicolor/scalable/apps/corvalis-survey.svg share/corvalis-survey/view.dll \
         share/corvalis-survey/2020NB_vq_20200819.mdb share/man/man1/corvalis-survey.1 \
         share/man/man1/corvalis-survey-cli.1 share/bash-completion/completions/corvalis-survey-cli \
         share/metainfo/com.talvoren.corvalis_survey.metainfo.xml share/doc/corvalis-survey/LICENSE \
         share/doc/corvalis-survey/README.md; do
  [ -e "$work/prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
[ ! -e "$(dirname "$0")/../docs/用户指南.md" ] || [ -e "$work/prefix/share/doc/corvalis-survey/用户指南.md" ] ||
  { echo "the user guide was not installed"; exit 1; }

# The desktop entry and the AppStream metainfo pass their validators.
desktop-file-validate "$work/prefix/share/applications/corvalis-survey.desktop"
appstreamcli validate --no-net "$work/prefix/share/metainfo/com.talvoren.corvalis_survey.metainfo.xml" >"$work/as.txt" ||
  { cat "$work/as.txt"; exit 1; }

# The man pages format without a warning and show the programs' versions and every command.
for page in corvalis-survey corvalis-survey-cli; do
  man="$work/prefix/share/man/man1/$page.1"
  groff -k -man -Tutf8 -ww -z "$man" 2>"$work/groff.txt"
  [ ! -s "$work/groff.txt" ] || { echo "$page.1:"; cat "$work/groff.txt"; exit 1; }
  groff -k -man -Tutf8 -P-cbu "$man" 2>/dev/null >"$work/$page.txt"
  grep -q "(Build " "$work/$page.txt" || { echo "$page.1 lacks the version"; exit 1; }
done
for command in init info generate check summary export-report import import-csv decrypt-network print; do
  grep -q "用法：corvalis-survey-cli $command " "$work/corvalis-survey-cli.txt" ||
    { echo "the man page lacks the command $command"; exit 1; }
done

# Installed programs carry no debug information; each links to its separate debug file.
for program in corvalis-survey corvalis-survey-cli; do
  sections="$(readelf -S "$work/prefix/bin/$program")"
  if echo "$sections" | grep -q '\.debug_info'; then echo "$program is not stripped"; exit 1; fi
  echo "$sections" | grep -q '\.gnu_debuglink' || { echo "$program has no debug link"; exit 1; }
done

# Bash completion offers commands, a command's options and the files a command reads.
completion="$work/prefix/share/bash-completion/completions/corvalis-survey-cli"
mkdir "$work/files"
touch "$work/files/a.dat" "$work/files/b.mdb" "$work/files/c.txt" "$work/files/d.csv"
complete_line() {
  (cd "$work/files" && PATH="$work/prefix/bin:$PATH" bash -c '
    . /usr/share/bash-completion/bash_completion
    . "$1"
    COMP_LINE="$2"; COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    case $COMP_LINE in *" ") COMP_WORDS+=("") ;; esac
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _corvalis_survey_cli
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' sh "$completion" "$1")
}
[ "$(complete_line "corvalis-survey-cli gen")" = "generate " ] || { echo "no command completion"; exit 1; }
[ "$(complete_line "corvalis-survey-cli generate --cou")" = "--count " ] || { echo "no option completion"; exit 1; }
[ "$(complete_line "corvalis-survey-cli import ")" = "a.dat b.mdb " ] ||
  { echo "import completes: $(complete_line "corvalis-survey-cli import ")"; exit 1; }
[ "$(complete_line "corvalis-survey-cli check --format ")" = "csv json text " ] || { echo "no format completion"; exit 1; }
[ "$(complete_line "corvalis-survey-cli check --format csv --report ")" = "d.csv " ] ||
  { echo "check --report completes: $(complete_line "corvalis-survey-cli check --format csv --report ")"; exit 1; }
[ "$(complete_line "corvalis-survey-cli check --fail-on")" = "--fail-on-violations " ] || { echo "no check option completion"; exit 1; }
before="$(sha256sum "$share/2020NB_vq_20200819.mdb")"
env -u CORVALIS_HOME HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
  "$work/prefix/bin/corvalis-survey-cli" info >"$work/info.txt"
user="$work/home/data/corvalis-survey"
[ -f "$user/2020NB_vq_20200819.mdb" ] || { echo "per-user folder not filled"; ls -R "$work/home"; exit 1; }
[ -f "$user/view.dll" ] || { echo "template not copied"; exit 1; }
grep -q "$user" "$work/info.txt" || { echo "the installed tool did not use the per-user folder:"; cat "$work/info.txt"; exit 1; }
[ "$before" = "$(sha256sum "$share/2020NB_vq_20200819.mdb")" ] || { echo "shared database changed"; exit 1; }
# The pristine database holds no records.
[ "$(sqlite3 "$share/2020NB_vq_20200819.mdb" 'select count(*) from dt_data')" = "0" ] || { echo "installed database not empty"; exit 1; }
echo "install test passed"
