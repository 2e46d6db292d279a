# bash completion for tarn-hosting

# The eight command words first; after `upload`, one local file. Nothing is
# offered elsewhere: the other arguments name things on the region host.
_tarn_hosting() {
    local IFS=$' \t\n' cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W 'login mount deploy update shell upload download run' -- "$cur")
    elif ((COMP_CWORD == 2)) && [[ ${COMP_WORDS[1]} == upload ]]; then
        # Quote the names and mark directories, as for any file argument.
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
    return 0
}
complete -F _tarn_hosting tarn-hosting
