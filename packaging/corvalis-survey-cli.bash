# bash completion for corvalis-survey-cli: commands, each command's options (read from the tool's own
# help, so they never drift) and file names by the extension each place expects.

_corvalis_survey_cli_commands() {
    "$1" --help 2>/dev/null | sed -n '/^命令：/,/^$/s/^  \([a-z][a-z-]*\).*/\1/p'
}

_corvalis_survey_cli_options() {
    "$1" help "$2" 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u
}

_corvalis_survey_cli() {
    local cur prev words cword
    _init_completion -s || return
    local tool=${words[0]}

    # The command is the first word that is neither an option nor the value of --home or --db.
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --home | --db) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    case $prev in
        --home) _filedir -d; return ;;
        --db) _filedir mdb; return ;;
        --report)
            # The file takes the chosen format.
            local format=text
            for ((i = 1; i < cword; i++)); do
                [[ ${words[i]} == --format ]] && format=${words[i + 1]}
            done
            case $format in
                json) _filedir json ;;
                csv) _filedir csv ;;
                *) _filedir txt ;;
            esac
            return ;;
        --format)
            COMPREPLY=($(compgen -W 'text json csv' -- "$cur"))
            return ;;
        --count | --seed | --first-code | --faulty | --label | --codes | --range | --sheets | --tables | --group-item)
            return ;;
        --resolve)
            COMPREPLY=($(compgen -W 'theirs ours' -- "$cur"))
            return ;;
        --by)
            if [[ $command == completeness ]]; then
                COMPREPLY=($(compgen -W 'division industry' -- "$cur"))
                return
            fi
            COMPREPLY=($(compgen -W 'industry unit type domain state division group:' -- "$cur"))
            [[ $COMPREPLY == group: ]] && compopt -o nospace
            return ;;
        --output)
            case $command in
                print) _filedir '@(xlsx|pdf)' ;;
                summary | export-list) _filedir xlsx ;;
                export-report | export-network) _filedir dat ;;
                backup) _filedir mdb ;;
                *) _filedir ;;
            esac
            return ;;
    esac

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--home --db --quiet --verbose --help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$(_corvalis_survey_cli_commands "$tool") help" -- "$cur"))
        fi
        return
    fi
    if [[ $command == help ]]; then
        COMPREPLY=($(compgen -W "$(_corvalis_survey_cli_commands "$tool")" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_corvalis_survey_cli_options "$tool" "$command")" -- "$cur"))
        return
    fi
    case $command in
        import) _filedir '@(dat|mdb)' ;;
        restore) _filedir mdb ;;
        decrypt-network) _filedir dat ;;
        init) _filedir mdb ;;
        import-csv) _filedir ;;
        roster)
            # roster import FILE | roster list
            if [[ ${words[cword - 1]} == import ]]; then
                _filedir '@(csv|dat|mdb)'
            elif [[ ${words[cword - 1]} == roster ]]; then
                COMPREPLY=($(compgen -W 'import list' -- "$cur"))
            fi
            ;;
    esac
} &&
    complete -F _corvalis_survey_cli corvalis-survey-cli
