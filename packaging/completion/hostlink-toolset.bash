# bash completion for hostlink, tabgen, imgbuild and ndxupgrade   -*- shell-script -*-
# Installed as completions/hostlink; the other three names are links to it,
# so that bash-completion finds it for each program.

# Interfaces ndxupgrade can work through: those that hold an IPv4 address
# (it hands the address to hostlink -a), loopback aside; each once.
_hostlink_toolset_interfaces()
{
    ip -o -4 addr show 2>/dev/null | awk '$2 != "lo" && !seen[$2]++ { print $2 }'
}

# The IPv4 addresses of those interfaces, as hostlink -a takes them.
_hostlink_toolset_addresses()
{
    ip -o -4 addr show 2>/dev/null | awk '$2 != "lo" { sub(/\/.*/, "", $4); print $4 }'
}

_hostlink()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        -s | -l)
            _filedir
            return
            ;;
        -a)
            COMPREPLY=($(compgen -W '$(_hostlink_toolset_addresses)' -- "$cur"))
            return
            ;;
        -d)
            COMPREPLY=($(compgen -W '0 1 2 3' -- "$cur"))
            return
            ;;
        -M | -m | -i)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-M -m -a -s -l -w -d -c -q -i -v -h' -- "$cur"))
    fi
} &&
    complete -F _hostlink hostlink

_tabgen()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        -f)
            _filedir inf
            return
            ;;
        -v)
            COMPREPLY=($(compgen -W '0 1 2 3' -- "$cur"))
            return
            ;;
        -M)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-o -m -p -0 -1 -2 -3 -s -f -M -v -h -i' -- "$cur"))
    fi
} &&
    complete -F _tabgen tabgen

_imgbuild()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        -[omi0123xjv])
            _filedir hex
            return
            ;;
        -f)
            _filedir
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-o -m -i -0 -1 -2 -3 -x -j -v -f -F -B -N -H -Y -C -h' -- "$cur"))
    fi
} &&
    complete -F _imgbuild imgbuild

_ndxupgrade()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        --interface)
            COMPREPLY=($(compgen -W '$(_hostlink_toolset_interfaces)' -- "$cur"))
            return
            ;;
        --pe)
            COMPREPLY=($(compgen -W '255' -- "$cur"))
            return
            ;;
        --jobs)
            COMPREPLY=($(compgen -W '1 2 4 8 16' -- "$cur"))
            return
            ;;
        --mac-list | --report | --out)
            _filedir
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'table csv json' -- "$cur"))
            return
            ;;
        --since | --at | --history-db | --export-backup)
            return
            ;;
        --run-dir)
            _filedir -d
            return
            ;;
        --window)
            COMPREPLY=($(compgen -W '500 1000 2000' -- "$cur"))
            return
            ;;
        --mac | --local | --remote | --expect)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        # --batch-worker is left out: a batch gives it to its own runs.
        COMPREPLY=($(compgen -W '--upgrade --query-version --diagnose --mac
            --local --remote --interface --pe --gui --diagnostic-page --help --version
            --mac-list --jobs --report --run-dir
            --find --window --all-found --expect
            --no-backup --history-db --history --since --format --export-backup --at --out' -- "$cur"))
    fi
} &&
    complete -F _ndxupgrade ndxupgrade

# ex: filetype=sh
