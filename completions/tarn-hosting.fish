# fish completion for tarn-hosting

# The eight command words first; after `upload`, one local file. Nothing is
# offered elsewhere: the other arguments name things on the region host.
function __tarn_hosting_at_word
    test (count (commandline -opc)) -eq 1
end

function __tarn_hosting_at_upload_file
    set -l tokens (commandline -opc)
    test (count $tokens) -eq 2; and test "$tokens[2]" = upload
end

complete -c tarn-hosting -f
complete -c tarn-hosting -n __tarn_hosting_at_word -a login -d 'configure the client with your authentication token'
complete -c tarn-hosting -n __tarn_hosting_at_word -a mount -d 'attach your remote volumes as a local drive'
complete -c tarn-hosting -n __tarn_hosting_at_word -a deploy -d 'create and update all services in your config'
complete -c tarn-hosting -n __tarn_hosting_at_word -a update -d 'run system package updates on the host'
complete -c tarn-hosting -n __tarn_hosting_at_word -a shell -d 'open an ssh shell on the host, or run a command'
complete -c tarn-hosting -n __tarn_hosting_at_word -a upload -d 'uploads the local file to your home directory on Tarn'
complete -c tarn-hosting -n __tarn_hosting_at_word -a download -d 'downloads the file from Tarn to your local home directory'
complete -c tarn-hosting -n __tarn_hosting_at_word -a run -d 'run a command in a container'
complete -c tarn-hosting -n __tarn_hosting_at_upload_file -F
