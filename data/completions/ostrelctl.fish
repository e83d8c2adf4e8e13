# fish completion for ostrelctl

set -l ostrelctl_commands refresh contrast mode speed light brightness temperature sync-time read status monitors autostart gnome-shortcuts keybindings pause-while-idle page-refresh help

# True while the command line holds COMMAND and no value for it yet.
function __ostrelctl_wants_value_for
    set -l words (commandline -opc | string match -v -- '-*')
    test (count $words) -eq 2; and test "$words[2]" = $argv[1]
end

complete -c ostrelctl -f
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a refresh -d 'Fast refresh: clear the ghost images'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a contrast -d 'Set or step the contrast'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a mode -d 'Set the image mode'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a speed -d 'Set the refresh speed'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a light -d 'Set the front light'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a brightness -d "Set the front light's brightness"
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a temperature -d "Set the front light's colour temperature"
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a sync-time -d "Synchronise the monitor's clock"
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a read -d 'Read every setting back'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a status -d 'Show the monitor and its settings'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a monitors -d 'List the monitors found'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a autostart -d 'Start Ostrel at login, or not'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a gnome-shortcuts -d "Add the shortcuts to GNOME's custom shortcuts, or remove them"
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a keybindings -d "Print a compositor's lines for the shortcuts"
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a pause-while-idle -d 'Let Auto Clear rest while nobody is there, or not'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a page-refresh -d 'A fast refresh after every N page turns'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands" -a help -d 'Show the help'

complete -c ostrelctl -n '__ostrelctl_wants_value_for contrast' -a '1 2 3 4 5 6 7 8 9 up down'
complete -c ostrelctl -n '__ostrelctl_wants_value_for mode' -a 'text graphic video'
complete -c ostrelctl -n '__ostrelctl_wants_value_for speed' -a '1 2 3 4 5'
complete -c ostrelctl -n '__ostrelctl_wants_value_for light' -a 'off cold warm mixed'
complete -c ostrelctl -n '__ostrelctl_wants_value_for autostart' -a 'on off status'
complete -c ostrelctl -n '__ostrelctl_wants_value_for gnome-shortcuts' -a 'add remove status'
complete -c ostrelctl -n '__ostrelctl_wants_value_for keybindings' -a 'sway hyprland i3'
complete -c ostrelctl -n '__ostrelctl_wants_value_for pause-while-idle' -a 'on off'

complete -c ostrelctl -s v -l verbose -d 'Show the diagnostic log when working without Ostrel'
complete -c ostrelctl -s h -l help -d 'Show the help'
complete -c ostrelctl -l version -d 'Show the version'
complete -c ostrelctl -n "not __fish_seen_subcommand_from $ostrelctl_commands; or __fish_seen_subcommand_from status read monitors" -l json -d 'Print JSON'
