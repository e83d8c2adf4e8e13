# bash completion for ostrelctl                            -*- shell-script -*-

_ostrelctl()
{
    local cur prev words cword
    _init_completion || return

    local commands="refresh contrast mode speed light brightness temperature
        sync-time read status monitors autostart gnome-shortcuts keybindings pause-while-idle page-refresh help"

    # The command is the first word that is not an option; its value, if it
    # takes one, is the next such word.
    local i command="" given=0
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} == -* ]] && continue
        if [[ -z $command ]]; then
            command=${words[i]}
        else
            given=$((given + 1))
        fi
    done

    if [[ $cur == -* ]]; then
        local options="--verbose -v --help -h --version"
        case $command in
            '' | status | read | monitors) options+=" --json" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi

    ((given == 0)) || return
    local values=""
    case $command in
        contrast) values="1 2 3 4 5 6 7 8 9 up down" ;;
        mode) values="text graphic video" ;;
        speed) values="1 2 3 4 5" ;;
        light) values="off cold warm mixed" ;;
        autostart) values="on off status" ;;
        gnome-shortcuts) values="add remove status" ;;
        keybindings) values="sway hyprland i3" ;;
        pause-while-idle) values="on off" ;;
    esac
    COMPREPLY=($(compgen -W "$values" -- "$cur"))
} &&
    complete -F _ostrelctl ostrelctl

# ex: filetype=sh
