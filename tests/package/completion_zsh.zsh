# Types command lines followed by Tab into an interactive zsh on a
# pseudo-terminal and reads back what completion did to each line.
# Usage: zsh -f completion_zsh.zsh COMPLETIONS_DIR
zmodload zsh/zpty 2>/dev/null || { print "SKIP: the zsh/zpty module is missing"; exit 77 }
dir=${1:a}
work=$(mktemp -d)
trap 'zpty -d shell 2>/dev/null; rm -rf $work' EXIT
cd $work || exit 1
touch 'a file.txt' alpha.txt beta.txt
mkdir docs && touch docs/notes.txt

zpty shell "HOME=$work PS1='%% ' TERM=dumb zsh -f -i" || exit 1
# The quotes keep the typed text from matching what is waited for.
zpty -w shell "bindkey -e; fpath=($dir \$fpath); autoload -Uz compinit; compinit -u -D; print RE''ADY"
zpty -r shell out '*READY*' || exit 1

failures=0
# complete LINE: types LINE and Tab, then prints the edited line with a
# marker in front. Sets $shown (everything zsh wrote meanwhile, listings
# included) and $line (the line after completion).
complete() {
  zpty -w -n shell "$1"$'\t\x01'"print -r -- TH''LINE: "$'\n'
  shown=''
  zpty -r shell shown '*THLINE: *'$'\n' || { print "FAIL: no answer for '$1'"; exit 1 }
  line=${${shown##*THLINE: }%%$'\r'*}
  line=${line%%$'\n'*}
}
fail() { print -r -- "FAIL: '$1': $2"; (( failures++ )) }

# expect_line LINE RESULT: Tab turns LINE into RESULT. The blank or slash
# that completion appends may already be gone: zsh removes it again when the
# next key is no character.
expect_line() {
  complete $1
  line=${line%% #}
  [[ ${line%/} == $2 ]] || fail $1 "the line became '$line', expected '$2'"
}
# expect_listed LINE WORD...: Tab lists each WORD as a candidate.
expect_listed() {
  local typed=$1 word
  shift
  complete $typed
  for word; do
    [[ ${shown%THLINE: *} == *$word* ]] || fail $typed "'$word' was not offered"
  done
}

expect_line 'tarn-hosting lo' 'tarn-hosting login'
expect_line 'tarn-hosting dep' 'tarn-hosting deploy'
expect_listed 'tarn-hosting d' deploy download
expect_line 'tarn-hosting x' 'tarn-hosting x'
expect_line 'tarn-hosting upload alp' 'tarn-hosting upload alpha.txt'
expect_line 'tarn-hosting upload do' 'tarn-hosting upload docs'
expect_listed 'tarn-hosting upload a' alpha.txt 'a\ file.txt'
# Every other argument names something on the region host: nothing offered.
expect_line 'tarn-hosting upload x alp' 'tarn-hosting upload x alp'
expect_line 'tarn-hosting download alp' 'tarn-hosting download alp'
expect_line 'tarn-hosting shell alp' 'tarn-hosting shell alp'
expect_line 'tarn-hosting run web alp' 'tarn-hosting run web alp'
expect_line 'tarn-hosting deploy alp' 'tarn-hosting deploy alp'

(( failures == 0 )) || exit 1
print "zsh completion: all cases passed"
