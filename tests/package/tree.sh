# is_static FILE: whether FILE is an ELF program that needs no shared library.
is_static() {
  ! readelf -d "$1" 2>/dev/null | grep -q '(NEEDED)'
}

# check_tree DIR COMPRESSED SOURCE_DIR: DIR, the installation prefix of a
# tree, holds exactly the client's files, installed from SOURCE_DIR; with
# COMPRESSED=1 the manual page and the change log are gzipped, as in the
# packages. Prints what is wrong and returns 1 on any difference.
check_tree() {
  local dir=$1 compressed=$2 source=$3 gz='' status=0
  [ "$compressed" = 1 ] && gz=.gz
  # The static build carries a lintian override for its binary.
  local overrides=''
  is_static "$dir/bin/tarn-hosting" && overrides=$'\nshare/lintian/overrides/tarn-hosting'
  local expected="bin/tarn-hosting
share/bash-completion/completions/tarn-hosting
share/doc/tarn-hosting/README.md
share/doc/tarn-hosting/changelog$gz
share/doc/tarn-hosting/copyright
share/fish/vendor_completions.d/tarn-hosting.fish$overrides
share/man/man1/tarn-hosting.1$gz
share/zsh/vendor-completions/_tarn-hosting"
  local actual
  actual=$(cd "$dir" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
  if [ "$actual" != "$expected" ]; then
    echo "FAIL: the files under $dir differ from the expected tree:"
    diff <(echo "$expected") <(echo "$actual")
    return 1
  fi
  [ -x "$dir/bin/tarn-hosting" ] || { echo "FAIL: bin/tarn-hosting is not executable"; status=1; }
  local pair installed original
  for pair in share/bash-completion/completions/tarn-hosting:completions/tarn-hosting.bash \
              share/zsh/vendor-completions/_tarn-hosting:completions/_tarn-hosting \
              share/fish/vendor_completions.d/tarn-hosting.fish:completions/tarn-hosting.fish \
              share/doc/tarn-hosting/README.md:README.md \
              share/doc/tarn-hosting/copyright:packaging/copyright \
              "share/man/man1/tarn-hosting.1$gz:man/tarn-hosting.1"; do
    installed=$dir/${pair%%:*}
    original=$source/${pair#*:}
    if [ -n "$gz" ] && [ "${installed%.gz}" != "$installed" ]; then
      cmp -s <(gzip -dc "$installed") "$original"
    else
      cmp -s "$installed" "$original"
    fi || { echo "FAIL: ${pair%%:*} is not a copy of ${pair#*:}"; status=1; }
  done
  local changelog=$dir/share/doc/tarn-hosting/changelog$gz
  local first
  if [ -n "$gz" ]; then first=$(gzip -dc "$changelog" | head -n1); else first=$(head -n1 "$changelog"); fi
  case $first in
    "tarn-hosting ($TARN_VERSION) "*) ;;
    *) echo "FAIL: the change log does not begin with version $TARN_VERSION: $first"; status=1 ;;
  esac
  return $status
}

# The client's usage text, run from DIR/bin: proves the installed program runs.
check_runs() {
  local out
  out=$("$1/bin/tarn-hosting") || { echo "FAIL: $1/bin/tarn-hosting exited $?"; return 1; }
  case $out in
    "USAGE: tarn-hosting [COMMAND] [OPTIONS]"*) ;;
    *) echo "FAIL: $1/bin/tarn-hosting printed: $out"; return 1 ;;
  esac
}
