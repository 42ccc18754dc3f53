# bash completion for devsim   -*- shell-script -*-
# The options are read from devsim --help, so that a new one needs no change
# here; their values are completed where there is something to offer.

# devsim listens on the device's end of a link, which needs no address: every
# kernel interface but loopback. veth names come as "dv0@hl0"; the part after
# @ is the peer.
_devsim_interfaces()
{
    ip -o link show 2>/dev/null | awk -F': ' '$2 != "lo" { sub(/@.*/, "", $2); print $2 }'
}

# Every option word of the usage text: "-x" or "--long-name".
_devsim_options()
{
    "$1" --help 2>/dev/null | tr '[]|' '   ' | tr -s ' \t' '\n\n' | grep -E '^(-[A-Za-z]|--[a-z][a-z0-9-]*)$'
}

_devsim()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        -i | --interface)
            COMPREPLY=($(compgen -W '$(_devsim_interfaces)' -- "$cur"))
            return
            ;;
        --capture | --flash | --eeprom)
            _filedir
            return
            ;;
        --eeprom-size)
            COMPREPLY=($(compgen -W 'small large' -- "$cur"))
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_devsim_options "$1")' -- "$cur"))
    fi
} &&
    complete -F _devsim devsim

# ex: filetype=sh
