# bash completion for talyxctl
_talyxctl() {
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }
    case $prev in
        --device) COMPREPLY=($(compgen -W "keyboard mouse mousepad headset" -- "$cur")); return ;;
        --direction|--seven-colour) COMPREPLY=($(compgen -W "0 1" -- "$cur")); return ;;
        --brightness|--speed) COMPREPLY=($(compgen -W "0 1 2 3 4" -- "$cur")); return ;;
        --report-rate) COMPREPLY=($(compgen -W "125 250 500 1000" -- "$cur")); return ;;
        --repeat-delay) COMPREPLY=($(compgen -W "250 500 750 1000" -- "$cur")); return ;;
        --win-lock) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
        --mode|--colour|--repeat-rate) return ;;
    esac
    # The command is the first word that is not an option or an option's value.
    local i command="" sub=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --device) ((i++)) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=${words[i]}; elif [[ -z $sub ]]; then sub=${words[i]}; fi ;;
        esac
    done
    case $command in
        "") COMPREPLY=($(compgen -W "devices profiles profile lighting assign assignments settings apply --json --device --help --version" -- "$cur")) ;;
        profile)
            if [[ -z $sub ]]; then
                COMPREPLY=($(compgen -W "select new copy rename delete export import" -- "$cur"))
            elif [[ $sub == export || $sub == import ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
            fi ;;
        lighting) COMPREPLY=($(compgen -W "--mode --brightness --speed --direction --colour --seven-colour --json --device" -- "$cur")) ;;
        settings) COMPREPLY=($(compgen -W "--report-rate --repeat-rate --repeat-delay --win-lock --json --device" -- "$cur")) ;;
        assign)
            if [[ -n $sub ]]; then
                COMPREPLY=($(compgen -W "key: mouse:left mouse:middle mouse:right mouse:forward mouse:back media:play-pause media:stop media:previous media:next media:volume-up media:volume-down media:mute system:power system:sleep system:wake macro: disabled default" -- "$cur"))
                compopt -o nospace 2>/dev/null
                [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} != *: ]] && compopt +o nospace 2>/dev/null
            fi ;;
        *) COMPREPLY=($(compgen -W "--json --device" -- "$cur")) ;;
    esac
}
complete -F _talyxctl talyxctl
